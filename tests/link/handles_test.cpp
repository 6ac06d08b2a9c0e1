// Device handles: opening and its failures, bridges that are busy through
// the other interface, and the built-in device and handles side by side, each
// with its own state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/device_state.h"
#include "sim_session.h"

namespace {

// A UVVIS_ORV instrument of 2048 pixels, a NIR one of 256 and a bridge that
// refuses FT_Open.
const char *const kMixedBridges = R"({"time_scale": 0.01, "bridges": [
    {"serial": "UVA", "description": "SIMULATED A", "instrument": {"model": "SIM-UV2048"}},
    {"serial": "NIRB", "description": "SIMULATED B", "instrument": {"model": "SIM-NIR256"}},
    {"serial": "BROKEN", "description": "SIMULATED broken", "open_status": 3}]})";

// Closes a handle when the test ends, however it ends.
class HandleGuard {
public:
    HandleGuard() = default;
    HandleGuard(const HandleGuard &) = delete;
    HandleGuard &operator=(const HandleGuard &) = delete;
    ~HandleGuard() { orv_device_close(device); }
    orv_device **out() { return &device; }
    orv_device *device = nullptr;
};

// A non-null value that no open can return, to see that a failure clears it.
orv_device *not_a_handle() {
    static orv_device record;
    return &record;
}

class Handles : public SimSession {
protected:
    void SetUp() override {
        SimSession::SetUp();
        load_scenario(kMixedBridges);
    }
    void TearDown() override {
        SimSession::TearDown();
        builtin_device().current_integration_us = LOAD_INTEGRATION_US;
    }
};

TEST_F(Handles, FailedOpensLeaveNoHandleAndNothingOpen) {
    EXPECT_EQ(orv_device_open(0, nullptr), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orv_device_open_by_chip_serial("UVA", nullptr), ORV_ERR_INVALID_PARAM);

    struct Case {
        const char *what;
        int index;
        const char *chip_serial;  // null: open by index
        int code;
    };
    const Case cases[] = {
        {"FT_Open refuses", 2, nullptr, ORV_ERR_OPEN_FAILED},
        {"past the list", 3, nullptr, ORV_ERR_OPEN_FAILED},
        {"negative index", -1, nullptr, ORV_ERR_OPEN_FAILED},
        {"serial refused", 0, "BROKEN", ORV_ERR_OPEN_FAILED},
        {"serial unknown", 0, "uva", ORV_ERR_DEVICE_NOT_FOUND},
        {"serial empty", 0, "", ORV_ERR_INVALID_PARAM},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        orv_device *device = not_a_handle();
        const int rc = c.chip_serial == nullptr
                           ? orv_device_open(c.index, &device)
                           : orv_device_open_by_chip_serial(c.chip_serial, &device);
        EXPECT_EQ(rc, c.code);
        EXPECT_EQ(device, nullptr);
        EXPECT_EQ(orvsim_open_handle_count(), 0);
    }
    orv_device *device = not_a_handle();
    EXPECT_EQ(orv_device_open_by_chip_serial(nullptr, &device), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(device, nullptr);

    orv_device_close(nullptr);  // harmless
}

TEST_F(Handles, ABusyBridgeIsRefusedThroughEitherInterface) {
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    HandleGuard second;
    EXPECT_EQ(orv_device_open(0, second.out()), ORV_ERR_OPEN_FAILED);
    EXPECT_EQ(orv_device_open_by_chip_serial("UVA", second.out()), ORV_ERR_OPEN_FAILED);
    EXPECT_EQ(second.device, nullptr);
    uint16_t count = 0;
    EXPECT_EQ(orv_get_wavelength_count(&count), ORV_OK);  // the built-in device is untouched

    HandleGuard nir;
    ASSERT_EQ(orv_device_open_by_chip_serial("NIRB", nir.out()), ORV_OK);
    EXPECT_EQ(orv_device_open(1, second.out()), ORV_ERR_OPEN_FAILED);  // one handle per bridge
    // The built-in device closes what it had before it tries the busy bridge.
    EXPECT_EQ(orv_open_device(1), ORV_ERR_OPEN_FAILED);
    EXPECT_EQ(orv_is_open(), 0);
    EXPECT_EQ(orv_device_get_wavelength_count(nir.device, &count), ORV_OK);
    EXPECT_EQ(count, 256);

    // Once the handle is closed its bridge is free for the built-in device.
    orv_device_close(nir.device);
    nir.device = nullptr;
    EXPECT_EQ(orv_open_device_by_chip_serial("NIRB"), ORV_OK);
}

TEST_F(Handles, TheBuiltInDeviceAndAHandleKeepTheirOwnState) {
    builtin_device().current_integration_us = 250000;  // remembered from an earlier device
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    HandleGuard nir;
    ASSERT_EQ(orv_device_open(1, nir.out()), ORV_OK);

    // A new handle starts from the load values, not from the built-in device's.
    EXPECT_EQ(nir.device->current_integration_us, LOAD_INTEGRATION_US);
    EXPECT_EQ(nir.device->current_average_number, LOAD_AVERAGE_NUMBER);
    int32_t protocol = 0;
    ASSERT_EQ(orv_get_device_protocol(&protocol), ORV_OK);
    EXPECT_EQ(protocol, ORV_PROTOCOL_UVVIS);
    ASSERT_EQ(orv_device_get_device_protocol(nir.device, &protocol), ORV_OK);
    EXPECT_EQ(protocol, ORV_PROTOCOL_NIR_LEGACY);

    ASSERT_EQ(orv_set_integration_time(30000), ORV_OK);
    ASSERT_EQ(orv_device_set_integration_time(nir.device, 70000), ORV_OK);
    uint32_t us = 0;
    ASSERT_EQ(orv_get_integration_time(&us), ORV_OK);
    EXPECT_EQ(us, 30000u);
    ASSERT_EQ(orv_device_get_integration_time(nir.device, &us), ORV_OK);
    EXPECT_EQ(us, 70000u);
    EXPECT_EQ(builtin_device().current_integration_us, 30000u);
    EXPECT_EQ(nir.device->current_integration_us, 70000u);

    // Counts, selections and resets stay with their device.
    uint16_t count = 0;
    ASSERT_EQ(orv_get_wavelength_count(&count), ORV_OK);
    EXPECT_EQ(count, 2048);
    ASSERT_EQ(orv_device_get_wavelength_count(nir.device, &count), ORV_OK);
    EXPECT_EQ(count, 256);
    double first = 0, last = 0;
    ASSERT_EQ(orv_device_get_full_wavelength_range(nir.device, &first, &last), ORV_OK);
    ASSERT_EQ(orv_device_set_selected_wavelength_range(nir.device, first, last), ORV_OK);
    orv_wavelength_range range{};
    EXPECT_EQ(orv_get_selected_wavelength_range(&range), ORV_ERR_GENERIC);
    ASSERT_EQ(orv_reset_device(), ORV_OK);
    EXPECT_EQ(builtin_device().wavelength_count_cache, 0);
    EXPECT_EQ(nir.device->wavelength_count_cache, 256);
    ASSERT_EQ(orv_device_get_selected_wavelength_range(nir.device, &range), ORV_OK);
    EXPECT_EQ(range.count, 256);

    // Closing the built-in device leaves the handle working, and the other way round.
    orv_close_device();
    std::vector<uint16_t> samples(256);
    EXPECT_EQ(orv_device_get_full_spectrum_data(nir.device, samples.data(), 256), ORV_OK);
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    orv_device_close(nir.device);
    nir.device = nullptr;
    EXPECT_EQ(orv_get_wavelength_count(&count), ORV_OK);
    EXPECT_EQ(orvsim_open_handle_count(), 1);
}

TEST_F(Handles, ThePreferenceHoldsForHandlesAndWaitsOnlyForTheBuiltInDevice) {
    HandleGuard first;
    ASSERT_EQ(orv_device_open(0, first.out()), ORV_OK);
    // Open handles do not hold the preference back ...
    ASSERT_EQ(orv_set_protocol_preference(ORV_PREFER_NIR), ORV_OK);
    HandleGuard second;
    orvsim_reset_counters();
    ASSERT_EQ(orv_device_open(1, second.out()), ORV_OK);
    EXPECT_EQ(orvsim_write_count(1), 0);  // decided without a probe
    // ... nor does it change the protocol of a handle opened before.
    int32_t protocol = 0;
    ASSERT_EQ(orv_device_get_device_protocol(first.device, &protocol), ORV_OK);
    EXPECT_EQ(protocol, ORV_PROTOCOL_UVVIS);

    orv_device_close(first.device);
    first.device = nullptr;
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    EXPECT_EQ(orv_set_protocol_preference(ORV_PREFER_AUTO), ORV_ERR_NOT_OPEN);
    ASSERT_EQ(orv_get_device_protocol(&protocol), ORV_OK);
    EXPECT_EQ(protocol, ORV_PROTOCOL_NIR_LEGACY);
}

}  // namespace
