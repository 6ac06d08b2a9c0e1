// The built-in scenario through the shared library, as a program sees it:
// listing, opening each bridge by chip serial, and the detected protocols.
#include <gtest/gtest.h>

#include <string>

#include "orv.h"
#include "orvsim.h"
#include "stdout_capture.h"

namespace {

class DefaultScenario : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(orvsim_load_default_scenario(), 0) << orvsim_last_error();
        orv_close_device();
        ASSERT_EQ(orv_set_protocol_preference(ORV_PREFER_AUTO), ORV_OK);
    }
    void TearDown() override { orv_close_device(); }
};

}  // namespace

TEST_F(DefaultScenario, ScanListsEveryBridge) {
    int count = -1;
    std::string out = capture_stdout([&] { count = orv_scan_devices(); });
    EXPECT_EQ(count, 4);
    EXPECT_EQ(out,
              "[0] SIMULATED UV-VIS Spectrometer (SN: ORVSIM01)\n"
              "[1] SIMULATED UV-VIS Spectrometer (SN: ORVSIM02)\n"
              "[2] SIMULATED NIR Spectrometer (SN: ORVSIM03)\n"
              "[3] SIMULATED USB Serial Converter (SN: ORVSIM04)\n");
}

TEST_F(DefaultScenario, EachBridgeOpensByChipSerialWithItsProtocol) {
    struct Expected {
        const char *serial;
        int32_t protocol;
        uint32_t capabilities;
    };
    // The foreign converter has nothing behind it and falls back to UVVIS_ORV.
    const Expected bridges[] = {{"ORVSIM01", ORV_PROTOCOL_UVVIS, ORV_CAPS_UVVIS},
                                {"ORVSIM02", ORV_PROTOCOL_UVVIS, ORV_CAPS_UVVIS},
                                {"ORVSIM03", ORV_PROTOCOL_NIR_LEGACY, ORV_CAPS_NIR},
                                {"ORVSIM04", ORV_PROTOCOL_UVVIS, ORV_CAPS_UVVIS}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(bridges[i].serial);
        char serial[32] = {};
        ASSERT_EQ(orv_get_chip_serial_by_index(i, serial, sizeof serial), ORV_OK);
        EXPECT_STREQ(serial, bridges[i].serial);
        ASSERT_EQ(orv_open_device_by_chip_serial(serial), ORV_OK);
        EXPECT_EQ(orv_is_open(), 1);
        int32_t protocol = 0;
        uint32_t capabilities = 0;
        ASSERT_EQ(orv_get_device_protocol(&protocol), ORV_OK);
        ASSERT_EQ(orv_get_capabilities(&capabilities), ORV_OK);
        EXPECT_EQ(protocol, bridges[i].protocol);
        EXPECT_EQ(capabilities, bridges[i].capabilities);
        orv_close_device();
        EXPECT_EQ(orv_is_open(), 0);
        EXPECT_EQ(orvsim_open_handle_count(), 0);
    }
}
