// Every instrument of the default scenario through the shared library: its
// summary record, the full wavelength table, a full spectrum and a selected
// range.
#include <algorithm>

#include "sim_session.h"

namespace {

struct Expected {
    int bridge;
    int protocol;
    uint16_t pixels;
    const char *model;
    const char *serial;
    const char *hardware_version;
};

void PrintTo(const Expected &e, std::ostream *os) { *os << e.model; }

class DefaultScenario : public SimSession, public ::testing::WithParamInterface<Expected> {};

TEST_P(DefaultScenario, IdentityTableSpectrumAndRange) {
    const Expected &e = GetParam();
    ASSERT_EQ(orvsim_load_default_scenario(), 0);
    ASSERT_EQ(open_device(e.bridge), ORV_OK);

    orv_device_info info{};
    ASSERT_EQ(DEVICE_CALL(get_device_info, &info), ORV_OK);
    EXPECT_EQ(info.protocol, e.protocol);
    EXPECT_STREQ(info.model, e.model);
    EXPECT_STREQ(info.serial_number, e.serial);
    EXPECT_STREQ(info.hardware_version, e.hardware_version);

    uint16_t count = 0;
    ASSERT_EQ(DEVICE_CALL(get_wavelength_count, &count), ORV_OK);
    ASSERT_EQ(count, e.pixels);
    std::vector<double> table(count);
    ASSERT_EQ(DEVICE_CALL(get_full_wavelength_data, table.data(), count), ORV_OK);
    for (size_t i = 1; i < table.size(); ++i) ASSERT_LT(table[i - 1], table[i]) << i;
    double first = 0, last = 0;
    ASSERT_EQ(DEVICE_CALL(get_full_wavelength_range, &first, &last), ORV_OK);
    EXPECT_EQ(first, table.front());
    EXPECT_EQ(last, table.back());

    std::vector<uint16_t> spectrum(count);
    ASSERT_EQ(DEVICE_CALL(get_full_spectrum_data, spectrum.data(), count), ORV_OK);
    EXPECT_GT(*std::max_element(spectrum.begin(), spectrum.end()), 1000);  // lamp light, not zeros

    // The middle half of the table.
    const size_t lo = count / 4, hi = 3 * count / 4;
    ASSERT_EQ(DEVICE_CALL(set_selected_wavelength_range, table[lo], table[hi]), ORV_OK);
    orv_wavelength_range r{};
    ASSERT_EQ(DEVICE_CALL(get_selected_wavelength_range, &r), ORV_OK);
    EXPECT_EQ(r.first_index, lo);
    EXPECT_EQ(r.last_index, hi);
    std::vector<double> selected(r.count);
    ASSERT_EQ(DEVICE_CALL(get_selected_wavelength_data, selected.data(), r.count), ORV_OK);
    EXPECT_EQ(selected, std::vector<double>(table.begin() + lo, table.begin() + hi + 1));
    std::vector<uint16_t> samples(r.count);
    ASSERT_EQ(DEVICE_CALL(get_selected_spectrum_data, samples.data(), r.count), ORV_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Instruments, DefaultScenario,
    ::testing::Values(
        Expected{0, ORV_PROTOCOL_UVVIS, 2048, "SIM-UV2048", "SIMUV2048-01", "01.02.0A.05"},
        Expected{1, ORV_PROTOCOL_UVVIS, 1024, "SIM-UV1024", "SIMUV1024-01", "01.01.03.00"},
        Expected{2, ORV_PROTOCOL_NIR_LEGACY, 256, "NIR-T3-0256", "NIR", "SIMULATED NIR 1.0"}),
    [](const auto &p) {
        return std::string(p.param.model[0] == 'N' ? "NIR256" : p.param.model + 4);
    });

}  // namespace
