// Identity texts, calibration, temperature decodings and the device summary
// record on both protocols and on a bridge with nothing behind it.
#include <cstring>

#include "sim_session.h"

namespace {

class Identity : public SimSession {};

TEST_F(Identity, TemperatureDecodings) {
    // NIR: two's complement from F800h up, otherwise only the low 11 bits.
    const struct {
        int raw;
        float celsius;
    } nir[] = {
        {0x0190, 25.0f}, {0xFFF0, -1.0f}, {0xF800, -128.0f}, {0x0800, 0.0f}, {0x0FFF, 127.9375f}};
    float value = 0;
    for (const auto &t : nir) {
        open(one_bridge(NIR256 + R"(, "temperature_raw": )" + std::to_string(t.raw)), 0,
             ORV_PREFER_NIR);
        ASSERT_EQ(DEVICE_CALL(get_temperature, &value), ORV_OK);
        EXPECT_EQ(value, t.celsius) << t.raw;
    }
    // UVVIS_ORV: unsigned, no sign handling.
    open_instrument(UV2048 + R"(, "temperature_raw": 65520)");
    ASSERT_EQ(DEVICE_CALL(get_temperature, &value), ORV_OK);
    EXPECT_EQ(value, 4095.0f);
}

TEST_F(Identity, UvvisTextsAreCutToTheBuffer) {
    open_instrument(
        UV2048 +
        R"(, "hardware_version": "01 02 0A FF 09 09 09 09", "detector_serial": "DET12345")");
    char text[64];
    ASSERT_EQ(DEVICE_CALL(get_hardware_version, text, 64), ORV_OK);
    EXPECT_STREQ(text, "01.02.0A.FF");
    ASSERT_EQ(DEVICE_CALL(get_hardware_version, text, 6), ORV_OK);
    EXPECT_STREQ(text, "01.02");
    ASSERT_EQ(DEVICE_CALL(get_detector_serial_number, text, 4), ORV_OK);
    EXPECT_STREQ(text, "DET");
    ASSERT_EQ(DEVICE_CALL(get_detector_serial_number, text, 1), ORV_OK);
    EXPECT_STREQ(text, "");

    // The serial number field is 12 bytes: longer texts are cut when written.
    ASSERT_EQ(DEVICE_CALL(set_serial_number, "ABCDEFGHIJKLMNOPQRST"), ORV_OK);
    EXPECT_EQ(last_request_data(),
              (std::vector<uint8_t>{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L'}));
    ASSERT_EQ(DEVICE_CALL(get_serial_number, text, 64), ORV_OK);
    EXPECT_STREQ(text, "ABCDEFGHIJKL");
    ASSERT_EQ(DEVICE_CALL(get_serial_number, text, 5), ORV_OK);
    EXPECT_STREQ(text, "ABCD");
    ASSERT_EQ(DEVICE_CALL(set_serial_number, "XY"), ORV_OK);  // shorter ones are padded with zeros
    ASSERT_EQ(DEVICE_CALL(get_serial_number, text, 64), ORV_OK);
    EXPECT_STREQ(text, "XY");
}

TEST_F(Identity, NirTexts) {
    open(one_bridge(with_faults(NIR256 + R"(, "model_bytes": "13 00 00 12 34 00 00 00")",
                                R"({"kind": "data", "command": "56", "bytes": ""})")),
         0, ORV_PREFER_NIR);
    char text[32];
    ASSERT_EQ(DEVICE_CALL(get_device_model, text, 32), ORV_OK);
    EXPECT_STREQ(text, "NIR-T3-1234");
    ASSERT_EQ(DEVICE_CALL(get_hardware_version, text, 32), ORV_OK);  // a reply without data bytes
    EXPECT_STREQ(text, "");
    orvsim_reset_counters();
    ASSERT_EQ(DEVICE_CALL(get_serial_number, text, 32), ORV_OK);
    EXPECT_STREQ(text, "NIR");
    EXPECT_EQ(writes(), 0);

    // A model query that goes unanswered still gives a model: "NIR".
    open(one_bridge(with_faults(NIR256, R"({"kind": "no_answer", "command": "BB"})")), 0,
         ORV_PREFER_NIR);
    ASSERT_EQ(DEVICE_CALL(get_device_model, text, 32), ORV_OK);
    EXPECT_STREQ(text, "NIR");
}

TEST_F(Identity, CalibrationOnBothProtocols) {
    for (const std::string &base : {UV2048, NIR256}) {
        open_instrument(
            base + R"(, "calibration": [1.5, -2.25, 1e-5, 0], "calibration_reply_bytes": 240)");
        double c[4] = {};
        ASSERT_EQ(DEVICE_CALL(get_calibration_coefficients, c), ORV_OK) << base;
        EXPECT_EQ(c[0], 1.5);
        EXPECT_EQ(c[1], -2.25);
        EXPECT_EQ(c[2], 1e-5);
        EXPECT_EQ(c[3], 0.0);
    }
}

TEST_F(Identity, DeviceInfoOfEachInstrumentKind) {
    orv_device_info info;
    open_instrument(UV1024);
    ASSERT_EQ(DEVICE_CALL(get_device_info, &info), ORV_OK);
    EXPECT_EQ(info.protocol, ORV_PROTOCOL_UVVIS);
    EXPECT_STREQ(info.protocol_name, "UVVIS_ORV");
    EXPECT_STREQ(info.model, "SIM-UV1024");
    EXPECT_STREQ(info.serial_number, "SIMUV1024-01");
    EXPECT_STREQ(info.hardware_version, "01.01.03.00");

    open_instrument(NIR256);
    ASSERT_EQ(DEVICE_CALL(get_device_info, &info), ORV_OK);
    EXPECT_EQ(info.protocol, ORV_PROTOCOL_NIR_LEGACY);
    EXPECT_EQ(info.capabilities, ORV_CAPS_NIR);
    EXPECT_STREQ(info.protocol_name, "NIR_LEGACY");
    EXPECT_STREQ(info.model, "NIR-T3-0256");
    EXPECT_STREQ(info.serial_number, "NIR");
    EXPECT_STREQ(info.hardware_version, "SIMULATED NIR 1.0");

    // Nothing behind the bridge: driven as UVVIS_ORV, every text empty.
    open(one_bridge(""));
    std::memset(&info, 'x', sizeof info);
    ASSERT_EQ(DEVICE_CALL(get_device_info, &info), ORV_OK);
    EXPECT_EQ(info.protocol, ORV_PROTOCOL_UVVIS);
    EXPECT_EQ(info.capabilities, ORV_CAPS_UVVIS);
    EXPECT_STREQ(info.protocol_name, "UVVIS_ORV");
    EXPECT_STREQ(info.model, "");
    EXPECT_STREQ(info.serial_number, "");
    EXPECT_STREQ(info.hardware_version, "");
}

}  // namespace
