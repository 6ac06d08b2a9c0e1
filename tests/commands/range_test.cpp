// Selecting a wavelength interval and reading the selected part of the table
// and of a spectrum, on both protocols and on sorted, descending and
// unsorted tables (all 8 pixels: 400, 410, ... 470 nm before reordering).
#include "sim_session.h"

namespace {

class Range : public SimSession, public ::testing::WithParamInterface<std::string> {
protected:
    orv_wavelength_range selection() {
        orv_wavelength_range r{};
        EXPECT_EQ(DEVICE_CALL(get_selected_wavelength_range, &r), ORV_OK);
        return r;
    }
};

TEST_P(Range, SelectsInclusiveRunsAndKeepsThemUntilReset) {
    open_instrument(small_instrument(GetParam()));
    ASSERT_EQ(DEVICE_CALL(set_selected_wavelength_range, 400.0, 470.0),
              ORV_OK);  // exactly the ends
    EXPECT_EQ(selection().first_index, 0);
    EXPECT_EQ(selection().count, 8);

    ASSERT_EQ(DEVICE_CALL(set_selected_wavelength_range, 405.0, 430.0), ORV_OK);
    orv_wavelength_range r = selection();
    EXPECT_EQ(r.requested_start, 405.0);
    EXPECT_EQ(r.first_index, 1);
    EXPECT_EQ(r.last_index, 3);
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.first_wavelength, 410.0);
    EXPECT_EQ(r.last_wavelength, 430.0);

    // Refused intervals keep the selection.
    EXPECT_EQ(DEVICE_CALL(set_selected_wavelength_range, 430.0, 430.0), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(DEVICE_CALL(set_selected_wavelength_range, 430.0, 420.0), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(DEVICE_CALL(set_selected_wavelength_range, 390.0, 420.0), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(DEVICE_CALL(set_selected_wavelength_range, 412.0, 418.0),
              ORV_ERR_INVALID_PARAM);  // between pixels
    EXPECT_EQ(selection().first_index, 1);

    std::vector<double> values(3);
    ASSERT_EQ(DEVICE_CALL(get_selected_wavelength_data, values.data(), 3), ORV_OK);
    EXPECT_EQ(values, (std::vector<double>{410, 420, 430}));
    std::vector<uint16_t> samples(3);
    ASSERT_EQ(DEVICE_CALL(get_selected_spectrum_data, samples.data(), 3), ORV_OK);
    orvsim_reset_counters();
    EXPECT_EQ(DEVICE_CALL(get_selected_spectrum_data, samples.data(), 2), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(writes(), 0);

    orv_wavelength_range out{};
    ASSERT_EQ(DEVICE_CALL(reset_device), ORV_OK);
    EXPECT_EQ(DEVICE_CALL(get_selected_wavelength_range, &out), ORV_ERR_GENERIC);
    EXPECT_EQ(DEVICE_CALL(get_selected_spectrum_data, samples.data(), 3), ORV_ERR_GENERIC);
    ASSERT_EQ(DEVICE_CALL(set_selected_wavelength_range, 405.0, 430.0), ORV_OK);
    close_device();
    ASSERT_EQ(open_device(0), ORV_OK);
    EXPECT_EQ(DEVICE_CALL(get_selected_wavelength_range, &out), ORV_ERR_GENERIC);
}

TEST_P(Range, DescendingTableGivesUpwardIndices) {
    // Table 470 ... 400: the run is positions 4-6, starting at the larger wavelength.
    open_instrument(small_instrument(GetParam(), "descending"));
    ASSERT_EQ(DEVICE_CALL(set_selected_wavelength_range, 405.0, 430.0), ORV_OK);
    orv_wavelength_range r = selection();
    EXPECT_EQ(r.first_index, 4);
    EXPECT_EQ(r.last_index, 6);
    EXPECT_EQ(r.first_wavelength, 430.0);
    EXPECT_EQ(r.last_wavelength, 410.0);
    std::vector<double> values(3);
    ASSERT_EQ(DEVICE_CALL(get_selected_wavelength_data, values.data(), 3), ORV_OK);
    EXPECT_EQ(values, (std::vector<double>{430, 420, 410}));
}

TEST_P(Range, UnsortedTableRunSpansPositionsOutsideTheInterval) {
    // Table 400 420 410 430 440 460 450 470: [415, 445] holds positions 1, 3
    // and 4; position 2 (410) lies inside the run all the same.
    open_instrument(small_instrument(GetParam(), "unsorted"));
    ASSERT_EQ(DEVICE_CALL(set_selected_wavelength_range, 415.0, 445.0), ORV_OK);
    orv_wavelength_range r = selection();
    EXPECT_EQ(r.first_index, 1);
    EXPECT_EQ(r.last_index, 4);
    EXPECT_EQ(r.count, 4);
    std::vector<double> values(4);
    ASSERT_EQ(DEVICE_CALL(get_selected_wavelength_data, values.data(), 4), ORV_OK);
    EXPECT_EQ(values, (std::vector<double>{420, 410, 430, 440}));
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, Range, ::testing::Values(UV2048, NIR256),
                         [](const auto &p) { return p.index == 0 ? "uvvis" : "nir"; });

class RangeSlices : public SimSession {};

TEST_F(RangeSlices, DataShorterThanTheSelectionIsATransportError) {
    // The table read for the selection delivers 2 values (the 6th wavelength
    // query: selecting takes 4, the selected read asks for the count first).
    open_instrument(with_faults(
        small_instrument(NIR256),
        R"({"kind": "data", "command": "3F 53", "bytes": "00 00 C8 43 00 00 CD 43", "occurrence": 6})"));
    ASSERT_EQ(DEVICE_CALL(set_selected_wavelength_range, 425.0, 465.0), ORV_OK);
    std::vector<double> values(8, -1.0);
    EXPECT_EQ(DEVICE_CALL(get_selected_wavelength_data, values.data(), 8), ORV_ERR_TRANSPORT);
    EXPECT_EQ(values[0], -1.0);

    // UVVIS_ORV: a short table slice, and a spectrum shorter than the selection.
    open_instrument(
        with_faults(small_instrument(UV2048),
                    R"({"kind": "short_data", "bytes": 4, "register": "C5", "occurrence": 2},
                                   {"kind": "short_data", "bytes": 8, "register": "C6"})"));
    ASSERT_EQ(DEVICE_CALL(set_selected_wavelength_range, 425.0, 465.0), ORV_OK);
    EXPECT_EQ(DEVICE_CALL(get_selected_wavelength_data, values.data(), 8), ORV_ERR_TRANSPORT);
    std::vector<uint16_t> samples(8, 0xFFFF);
    EXPECT_EQ(DEVICE_CALL(get_selected_spectrum_data, samples.data(), 8), ORV_ERR_TRANSPORT);
    EXPECT_EQ(samples[0], 0xFFFF);
}

}  // namespace
