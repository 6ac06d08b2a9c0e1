// Live acquisition parameters on both protocols, the cached integration time
// and average number, and the decodings of the UVVIS-only registers.
#include "device_record.h"
#include "sim_session.h"

namespace {

struct Protocol {
    const char *name;
    std::string instrument;
    std::string short_integration_reply;  // fault: integration read with 0 or 3 data bytes
};

void PrintTo(const Protocol &p, std::ostream *os) { *os << p.name; }

class BothProtocols : public SimSession, public ::testing::WithParamInterface<Protocol> {
protected:
    void TearDown() override {
        SimSession::TearDown();
        orvtest::restore_builtin_settings();
    }
};

using orvtest::session_device;

TEST_P(BothProtocols, SettingsAreReadBackAndFeedTheCaches) {
    open_instrument(GetParam().instrument);
    ASSERT_EQ(DEVICE_CALL(set_integration_time, 250000), ORV_OK);
    EXPECT_EQ(session_device().current_integration_us, 250000u);
    session_device().current_integration_us = 1;  // a successful read refreshes the cache
    uint32_t us = 0;
    ASSERT_EQ(DEVICE_CALL(get_integration_time, &us), ORV_OK);
    EXPECT_EQ(us, 250000u);
    EXPECT_EQ(session_device().current_integration_us, 250000u);

    // 0 reaches the instrument as 0; only the cached copy counts it as 1.
    uint8_t average = 99;
    ASSERT_EQ(DEVICE_CALL(set_average_number, 0), ORV_OK);
    EXPECT_EQ(session_device().current_average_number, 1);
    ASSERT_EQ(DEVICE_CALL(get_average_number, &average), ORV_OK);
    EXPECT_EQ(average, 0);
    EXPECT_EQ(session_device().current_average_number, 1);
    ASSERT_EQ(DEVICE_CALL(set_average_number, 200), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(get_average_number, &average), ORV_OK);
    EXPECT_EQ(average, 200);
    EXPECT_EQ(session_device().current_average_number, 200);

    uint8_t level = 0;
    ASSERT_EQ(DEVICE_CALL(set_level_output, 0x5A), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(get_level_output, &level), ORV_OK);
    EXPECT_EQ(level, 0x5A);

    // The built-in device's caches outlive close and reopen; a new handle
    // starts from the values at load.
    open_instrument(GetParam().instrument);
    const bool kept = !orvtest::via_handle();
    EXPECT_EQ(session_device().current_integration_us, kept ? 250000u : LOAD_INTEGRATION_US);
    EXPECT_EQ(session_device().current_average_number, kept ? 200 : LOAD_AVERAGE_NUMBER);
}

TEST_P(BothProtocols, FailedSetsAndShortRepliesLeaveCachesAndOutputsAlone) {
    open_instrument(
        with_faults(GetParam().instrument + R"(, "integration_range_us": [10, 1000000])",
                    GetParam().short_integration_reply));
    session_device().current_integration_us = 4242;
    EXPECT_EQ(DEVICE_CALL(set_integration_time, 5),
              ORV_ERR_TRANSPORT);  // refused by the instrument
    EXPECT_EQ(session_device().current_integration_us, 4242u);
    uint32_t us = 77;
    EXPECT_EQ(DEVICE_CALL(get_integration_time, &us), ORV_ERR_TRANSPORT);
    EXPECT_EQ(us, 77u);
    EXPECT_EQ(session_device().current_integration_us, 4242u);
}

INSTANTIATE_TEST_SUITE_P(
    Acquisition, BothProtocols,
    ::testing::Values(
        Protocol{
            "uvvis", UV2048,
            R"({"kind": "short_data", "bytes": 0, "register": "C1", "address": "0", "access": "read"})"},
        Protocol{"nir", NIR256, R"({"kind": "data", "bytes": "00 01 02", "command": "3F 69"})"}),
    [](const auto &p) { return std::string(p.param.name); });

class UvvisRegisters : public SimSession {};

TEST_F(UvvisRegisters, ValuesRoundTripAsCarried) {
    open_instrument(UV2048);
    uint32_t first = 0, second = 0;
    ASSERT_EQ(DEVICE_CALL(set_xenon_pulse, 0x80000001u, 7), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(get_xenon_pulse, &first, &second), ORV_OK);
    EXPECT_EQ(first, 0x80000001u);
    EXPECT_EQ(second, 7u);

    uint8_t mode = 0;
    ASSERT_EQ(DEVICE_CALL(set_xenon_mode, 3), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(get_xenon_mode, &mode), ORV_OK);
    EXPECT_EQ(mode, 3);

    uint16_t baud = 0;
    ASSERT_EQ(DEVICE_CALL(set_usb_baud_rate, 0xBEEF), ORV_OK);
    ASSERT_EQ(DEVICE_CALL(get_usb_baud_rate, &baud), ORV_OK);
    EXPECT_EQ(baud, 0xBEEF);

    uint8_t b0 = 0, b1 = 0, b3 = 0;
    ASSERT_EQ(DEVICE_CALL(set_external_trigger_config, 0x11, 0x22, 0x33), ORV_OK);
    EXPECT_EQ(last_request_data(), (std::vector<uint8_t>{0x11, 0x22, 0x00, 0x33}));
    ASSERT_EQ(DEVICE_CALL(get_external_trigger_config, &b0, &b1, &b3), ORV_OK);
    EXPECT_EQ(b0, 0x11);
    EXPECT_EQ(b1, 0x22);
    EXPECT_EQ(b3, 0x33);

    // Only the low 12 bits of the DAC value survive, in bits 31..20.
    uint16_t dac = 0;
    ASSERT_EQ(DEVICE_CALL(set_dac_voltage, 0x1FFF), ORV_OK);
    EXPECT_EQ(last_request_data(), (std::vector<uint8_t>{0xFF, 0xF0, 0x00, 0x00}));
    ASSERT_EQ(DEVICE_CALL(get_dac_voltage, &dac), ORV_OK);
    EXPECT_EQ(dac, 4095);
}

TEST_F(UvvisRegisters, StatusDecodings) {
    open_instrument(UV2048 +
                    R"(, "usb_status": "AA", "capture_status": "80 00 00 01 00 00 00 02")");
    int32_t usb = 0;
    uint64_t capture = 0;
    ASSERT_EQ(DEVICE_CALL(get_usb_status, &usb), ORV_OK);
    EXPECT_EQ(usb, 1);
    ASSERT_EQ(DEVICE_CALL(get_spectrum_capture_status, &capture), ORV_OK);
    EXPECT_EQ(capture, 0x8000000100000002ull);  // neither half sign-extended

    open_instrument(UV2048 + R"(, "usb_status": 1)");
    ASSERT_EQ(DEVICE_CALL(get_usb_status, &usb), ORV_OK);
    EXPECT_EQ(usb, 0);
}

}  // namespace
