// Protocol detection at open, the preference that overrides it, and the
// protocol and capability getters.
#include <gtest/gtest.h>

#include <string>

#include "link/device_state.h"
#include "sim_session.h"

namespace {

struct Detected {
    int32_t protocol = -1;
    uint32_t capabilities = 0;
};

Detected detected() {
    Detected d;
    EXPECT_EQ(orv_get_device_protocol(&d.protocol), ORV_OK);
    EXPECT_EQ(orv_get_capabilities(&d.capabilities), ORV_OK);
    return d;
}

}  // namespace

class Detect : public SimSession {
protected:
    // Opens the single instrument with automatic detection; returns the time it took.
    double open_auto(const std::string &instrument) {
        orv_close_device();
        load_scenario(one_bridge(instrument));
        return elapsed_ms([] { EXPECT_EQ(orv_open_device(0), ORV_OK); });
    }
};

TEST_F(Detect, ProbesFindEachProtocol) {
    open_auto(UV1024);
    EXPECT_EQ(detected().protocol, ORV_PROTOCOL_UVVIS);
    EXPECT_EQ(detected().capabilities, ORV_CAPS_UVVIS);
    EXPECT_EQ(orvsim_write_count(0), 1);  // the model query answered: no NIR probe

    open_auto(NIR256);
    EXPECT_EQ(detected().protocol, ORV_PROTOCOL_NIR_LEGACY);
    EXPECT_EQ(detected().capabilities, ORV_CAPS_NIR);
    EXPECT_EQ(is_nir_device(builtin_device()), 1);
}

TEST_F(Detect, ShortModelReplyStillCountsAsUvvis) {
    open_auto(UV1024 + R"(, "model_reply_bytes": 4)");
    EXPECT_EQ(detected().protocol, ORV_PROTOCOL_UVVIS);
}

TEST_F(Detect, DeviceThatAnswersNeitherProbeOpensAsUvvis) {
    // The 200 ms header timeout of the model query, then the 500 ms NIR idle gap.
    double ms = open_auto(R"("protocol": "SILENT")");
    EXPECT_GT(ms, 650.0);
    EXPECT_LT(ms, 1500.0);
    EXPECT_EQ(orvsim_write_count(0), 2);
    EXPECT_EQ(detected().protocol, ORV_PROTOCOL_UVVIS);
    EXPECT_EQ(detected().capabilities, ORV_CAPS_UVVIS);

    // A NIR instrument that refuses the version command falls back the same way.
    open_auto(with_faults(NIR256, R"({"kind": "nak", "command": "56"})"));
    EXPECT_EQ(detected().protocol, ORV_PROTOCOL_UVVIS);
}

TEST_F(Detect, PreferenceDecidesWithoutSendingAnything) {
    load_scenario(one_bridge(UV1024));
    ASSERT_EQ(orv_set_protocol_preference(ORV_PREFER_NIR), ORV_OK);
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    EXPECT_EQ(orvsim_write_count(0), 0);
    EXPECT_EQ(detected().protocol, ORV_PROTOCOL_NIR_LEGACY);
    EXPECT_EQ(detected().capabilities, ORV_CAPS_NIR);

    // The preference outlives close and holds for the next open.
    orv_close_device();
    EXPECT_EQ(g_protocol_preference.load(), ORV_PREFER_NIR);
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    EXPECT_EQ(orvsim_write_count(0), 0);
    EXPECT_EQ(detected().protocol, ORV_PROTOCOL_NIR_LEGACY);

    orv_close_device();
    load_scenario(one_bridge(NIR256));
    ASSERT_EQ(orv_set_protocol_preference(ORV_PREFER_UVVIS), ORV_OK);
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    EXPECT_EQ(orvsim_write_count(0), 0);
    EXPECT_EQ(detected().protocol, ORV_PROTOCOL_UVVIS);
    EXPECT_EQ(detected().capabilities, ORV_CAPS_UVVIS);
}

TEST_F(Detect, PreferenceChangesOnlyWhileClosedAndOnlyToKnownValues) {
    EXPECT_EQ(orv_set_protocol_preference(3), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orv_set_protocol_preference(-1), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(g_protocol_preference.load(), ORV_PREFER_AUTO);

    open_auto(UV1024);
    EXPECT_EQ(orv_set_protocol_preference(ORV_PREFER_NIR), ORV_ERR_NOT_OPEN);
    EXPECT_EQ(orv_set_protocol_preference(3), ORV_ERR_NOT_OPEN);
    EXPECT_EQ(g_protocol_preference.load(), ORV_PREFER_AUTO);
}

TEST_F(Detect, GettersNeedAnOpenDeviceFirst) {
    EXPECT_EQ(orv_get_device_protocol(nullptr), ORV_ERR_NOT_OPEN);
    EXPECT_EQ(orv_get_capabilities(nullptr), ORV_ERR_NOT_OPEN);
    // With nothing open the protocol is unknown, which commands drive as UVVIS_ORV.
    EXPECT_EQ(is_nir_device(builtin_device()), 0);

    open_auto(UV1024);
    EXPECT_EQ(orv_get_device_protocol(nullptr), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orv_get_capabilities(nullptr), ORV_ERR_INVALID_PARAM);
}
