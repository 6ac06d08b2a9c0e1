// D2XX failures the simulated provider never shows, on a stand-in bridge:
// configuration calls that fail while a device opens, and a close that
// reports an error. Both are ignored; the device still works and still
// closes.
#include <gtest/gtest.h>

#include "orv.h"
#include "scripted_bridge.h"
#include "seed_instrument.h"

namespace {

class StandInBridge : public ::testing::TestWithParam<bool> {
protected:
    void TearDown() override {
        orv_close_device();
        orv_set_protocol_preference(ORV_PREFER_AUTO);
        fuzz::scripted_bridge_reset(nullptr, {});
    }
};

TEST_P(StandInBridge, FailingConfigurationAndCloseAreIgnored) {
    const bool nir = GetParam();
    fuzz::SeedInstrument instrument({.nir = nir});
    fuzz::scripted_bridge_reset(&instrument, {.config_fails = true, .close_fails = true});

    // Timeouts, latency, USB parameters, purge and reset all fail; the
    // device opens and its protocol is found by probing all the same.
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    EXPECT_EQ(orv_is_open(), 1);
    int32_t protocol = 0;
    ASSERT_EQ(orv_get_device_protocol(&protocol), ORV_OK);
    EXPECT_EQ(protocol, nir ? ORV_PROTOCOL_NIR_LEGACY : ORV_PROTOCOL_UVVIS);
    // Every exchange purges and sets its timeouts first, and still gets through.
    uint16_t count = 0;
    ASSERT_EQ(orv_get_wavelength_count(&count), ORV_OK);
    EXPECT_EQ(count, 32);

    orv_close_device();
    EXPECT_EQ(orv_is_open(), 0);
    EXPECT_EQ(fuzz::scripted_bridge_open_handles(), 0);
    int32_t after = 0;
    EXPECT_EQ(orv_get_device_protocol(&after), ORV_ERR_NOT_OPEN);
    // Nothing of the failed close lingers: the bridge opens again.
    ASSERT_EQ(orv_open_device(0), ORV_OK);
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, StandInBridge, ::testing::Values(false, true),
                         [](const auto &p) { return p.param ? "nir" : "uvvis"; });

}  // namespace
