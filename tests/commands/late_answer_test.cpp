// An answer that comes after its exchange timed out arrives during the next
// exchange on a real bridge (after that one's purge); the next call must get
// its own answer, never the late one's data.
#include <cstring>
#include <string>

#include "sim_session.h"

namespace {

class LateAnswer : public SimSession {
protected:
    // Opened as UVVIS_ORV: no detection probe meets the fault.
    void open_uvvis(const std::string &instrument) {
        open(one_bridge(instrument), 0, ORV_PREFER_UVVIS);
    }
};

TEST_F(LateAnswer, TheNextCallGetsItsOwnAnswer) {
    // The model answer comes 300 ms late, after the 200 ms register timeout;
    // the temperature's then follows it on the line.
    open_uvvis(with_faults(UV2048 + R"(, "temperature_raw": 400)",
                           R"({"kind": "delay", "ms": 300, "register": "C1", "address": "46",
                                    "occurrence": 1})"));
    char model[17] = {};
    EXPECT_EQ(DEVICE_CALL(get_device_model, model, sizeof model), ORV_ERR_TIMEOUT);

    float celsius = -1000.0f;
    ASSERT_EQ(DEVICE_CALL(get_temperature, &celsius), ORV_OK);
    EXPECT_EQ(celsius, 25.0f);  // 400 / 16, not bytes of the model text
    ASSERT_EQ(DEVICE_CALL(get_device_model, model, sizeof model), ORV_OK);
    EXPECT_STREQ(model, "SIM-UV2048");
    EXPECT_EQ(DEVICE_CALL(get_temperature, &celsius), ORV_OK);
    EXPECT_EQ(celsius, 25.0f);
}

TEST_F(LateAnswer, AWriteIsNotAcknowledgedByALateReadAnswer) {
    // The integration time read times out; the set that follows is refused by
    // the instrument, and must not take the late read answer of the same
    // register for its acknowledgement.
    open_uvvis(with_faults(UV2048 + R"(, "integration_range_us": [1000, 100000])",
                           R"({"kind": "delay", "ms": 300, "register": "C1", "address": "00",
                                    "access": "read", "occurrence": 1})"));
    uint32_t us = 0;
    EXPECT_EQ(DEVICE_CALL(get_integration_time, &us), ORV_ERR_TIMEOUT);
    EXPECT_EQ(DEVICE_CALL(set_integration_time, 500000), ORV_ERR_TRANSPORT);
    ASSERT_EQ(DEVICE_CALL(get_integration_time, &us), ORV_OK);
    EXPECT_NE(us, 500000u);
}

}  // namespace
