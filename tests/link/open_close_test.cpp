// Device list, open and close: the state rules and the list limits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/device_state.h"
#include "sim_session.h"
#include "stdout_capture.h"

namespace {

const char *const kTwoBridgesAndABrokenOne = R"({"time_scale": 0.01, "bridges": [
    {"serial": "UVA12345", "description": "SIMULATED A", "instrument": {"model": "SIM-UV2048"}},
    {"serial": "UVB", "description": "SIMULATED B", "instrument": {"model": "SIM-UV1024"}},
    {"serial": "BROKEN", "description": "SIMULATED broken", "open_status": 3}]})";

std::string list_failing(const char *which) {
    return std::string(R"({"list": {")") + which +
           R"(": 4}, "bridges": [{"serial": "UVA12345", "instrument": {"model": "SIM-UV2048"}}]})";
}

void expect_closed_state() {
    EXPECT_EQ(orv_is_open(), 0);
    EXPECT_EQ(builtin_device().ft_handle, nullptr);
    EXPECT_EQ(builtin_device().protocol, ORV_PROTOCOL_UNKNOWN);
    EXPECT_EQ(builtin_device().capabilities, 0u);
    EXPECT_EQ(builtin_device().selected_range.valid, 0);
    EXPECT_EQ(builtin_device().wavelength_count_cache, 0);
    EXPECT_EQ(orvsim_open_handle_count(), 0);
}

}  // namespace

class OpenClose : public SimSession {};

TEST_F(OpenClose, OpenAndCloseMoveBetweenTheTwoStates) {
    load_scenario(kTwoBridgesAndABrokenOne);
    expect_closed_state();

    // Stale range and cache from an earlier device are dropped by open and close.
    builtin_device().selected_range.valid = 1;
    builtin_device().wavelength_count_cache = 77;
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    EXPECT_EQ(orv_is_open(), 1);
    EXPECT_NE(builtin_device().ft_handle, nullptr);
    EXPECT_EQ(builtin_device().protocol, ORV_PROTOCOL_UVVIS);
    EXPECT_EQ(builtin_device().capabilities, ORV_CAPS_UVVIS);
    EXPECT_EQ(builtin_device().selected_range.valid, 0);
    EXPECT_EQ(builtin_device().wavelength_count_cache, 0);

    // Opening another device closes the first: one handle at a time.
    ASSERT_EQ(orv_open_device(1), ORV_OK);
    EXPECT_EQ(orvsim_open_handle_count(), 1);

    builtin_device().selected_range.valid = 1;
    builtin_device().wavelength_count_cache = 77;
    orv_close_device();
    expect_closed_state();
    orv_close_device();  // twice is harmless
    expect_closed_state();
}

TEST_F(OpenClose, FailedOpenLeavesNothingOpen) {
    load_scenario(kTwoBridgesAndABrokenOne);
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    EXPECT_EQ(orv_open_device(2), ORV_ERR_OPEN_FAILED);  // FT_Open refuses
    expect_closed_state();

    // The list is not consulted: positions D2XX cannot open fail the same way.
    EXPECT_EQ(orv_open_device(3), ORV_ERR_OPEN_FAILED);
    EXPECT_EQ(orv_open_device(-1), ORV_ERR_OPEN_FAILED);
    expect_closed_state();
}

TEST_F(OpenClose, SettingsSurviveCloseAndReopen) {
    load_scenario(kTwoBridgesAndABrokenOne);
    builtin_device().current_integration_us = 250000;
    builtin_device().current_average_number = 10;
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    orv_close_device();
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    EXPECT_EQ(builtin_device().current_integration_us, 250000u);
    EXPECT_EQ(builtin_device().current_average_number, 10);
    builtin_device().current_integration_us = 10000;
    builtin_device().current_average_number = 1;
}

TEST_F(OpenClose, ChipSerialCopyIsBoundedAndTerminated) {
    load_scenario(kTwoBridgesAndABrokenOne);
    char buf[32];
    EXPECT_EQ(orv_get_chip_serial_by_index(0, buf, sizeof buf), ORV_OK);
    EXPECT_STREQ(buf, "UVA12345");
    EXPECT_EQ(orv_get_chip_serial_by_index(1, buf, sizeof buf), ORV_OK);
    EXPECT_STREQ(buf, "UVB");

    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(orv_get_chip_serial_by_index(0, buf, 5), ORV_OK);
    EXPECT_STREQ(buf, "UVA1");
    EXPECT_EQ(buf[5], 'x');

    EXPECT_EQ(orv_get_chip_serial_by_index(0, buf, 1), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orv_get_chip_serial_by_index(0, nullptr, 32), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orv_get_chip_serial_by_index(-1, buf, sizeof buf), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orv_get_chip_serial_by_index(3, buf, sizeof buf), ORV_ERR_DEVICE_NOT_FOUND);
}

TEST_F(OpenClose, OpenByChipSerialMatchesExactly) {
    load_scenario(kTwoBridgesAndABrokenOne);
    ASSERT_EQ(orv_open_device_by_chip_serial("UVB"), ORV_OK);
    EXPECT_EQ(orvsim_write_count(1), 1);  // the detection probe went to the second bridge
    EXPECT_EQ(orv_open_device_by_chip_serial("uvb"), ORV_ERR_DEVICE_NOT_FOUND);
    EXPECT_EQ(orv_is_open(), 1);  // a serial that is not found leaves the open device alone
    EXPECT_EQ(orv_open_device_by_chip_serial("UVA1234"), ORV_ERR_DEVICE_NOT_FOUND);  // prefix only
    EXPECT_EQ(orv_open_device_by_chip_serial("UVA123456"), ORV_ERR_DEVICE_NOT_FOUND);
    EXPECT_EQ(orv_open_device_by_chip_serial("BROKEN"), ORV_ERR_OPEN_FAILED);
    EXPECT_EQ(orv_is_open(), 0);
}

TEST_F(OpenClose, ListFailuresReportNoDevice) {
    for (const char *which : {"create_status", "get_status"}) {
        SCOPED_TRACE(which);
        load_scenario(list_failing(which));
        char buf[16];
        EXPECT_EQ(orv_scan_devices(), 0);
        EXPECT_EQ(orv_get_chip_serial_by_index(0, buf, sizeof buf), ORV_ERR_DEVICE_NOT_FOUND);
        EXPECT_EQ(orv_open_device_by_chip_serial("UVA12345"), ORV_ERR_DEVICE_NOT_FOUND);
        // Argument errors are found before the list is asked for.
        EXPECT_EQ(orv_open_device_by_chip_serial(""), ORV_ERR_INVALID_PARAM);
        EXPECT_EQ(orv_open_device_by_chip_serial(nullptr), ORV_ERR_INVALID_PARAM);
    }
    load_scenario(R"({"bridges": []})");
    EXPECT_EQ(orv_scan_devices(), 0);
    char buf[16];
    EXPECT_EQ(orv_get_chip_serial_by_index(0, buf, sizeof buf), ORV_ERR_DEVICE_NOT_FOUND);
}

TEST_F(OpenClose, OnlyTheFirst64BridgesAreListed) {
    load_scenario(R"({"time_scale": 0.01, "bridges": [
        {"serial": "MANY", "description": "SIMULATED many", "repeat": 70,
         "instrument": {"model": "SIM-UV1024"}}]})");
    std::string out = capture_stdout([] { EXPECT_EQ(orv_scan_devices(), 64); });
    EXPECT_NE(out.find("[63] SIMULATED many (SN: MANY64)\n"), std::string::npos);
    EXPECT_EQ(out.find("[64]"), std::string::npos);

    char buf[16];
    EXPECT_EQ(orv_get_chip_serial_by_index(63, buf, sizeof buf), ORV_OK);
    EXPECT_STREQ(buf, "MANY64");
    EXPECT_EQ(orv_get_chip_serial_by_index(64, buf, sizeof buf), ORV_ERR_DEVICE_NOT_FOUND);
    EXPECT_EQ(orv_open_device_by_chip_serial("MANY65"), ORV_ERR_DEVICE_NOT_FOUND);
    EXPECT_EQ(orv_open_device_by_chip_serial("MANY64"), ORV_OK);
}
