// The NIR_LEGACY instrument answered frame by frame through FT_Write/FT_Read.
#include <string>

#include "sim_support.h"

using namespace simtest;

namespace {

const char *kNirScenario = R"({
  "time_scale": 0.01,
  "bridges": [
    { "serial": "NIR1", "instrument": { "model": "SIM-NIR256", "temperature_raw": "FFF0",
                                        "calibration_reply_bytes": 40 } },
    { "serial": "NIR2", "instrument": { "model": "SIM-NIR256", "pixels": 16, "frame_header": "short",
                                        "frame_trailer": false } },
    { "serial": "NIR3", "instrument": { "model": "SIM-NIR256", "pixels": 16, "frame_header": "none" } }
  ]
})";

const uint8_t ACK = 0x06, NAK = 0x15;

class SimNir : public ::testing::Test {
protected:
    void SetUp() override { load(kNirScenario); }

    // Sends a command and reads exactly `reply_bytes` bytes (ACK, data, CRC).
    Bytes command(Port &port, const Bytes &cmd, size_t data_bytes) {
        FT_Purge(port.handle(), FT_PURGE_RX | FT_PURGE_TX);
        port.write(nir_frame(cmd));
        return port.read(data_bytes + 3);
    }
    Bytes data_of(const Bytes &reply) {
        return reply.size() < 3 ? Bytes{} : Bytes(reply.begin() + 1, reply.end() - 2);
    }
};

TEST_F(SimNir, AnswersWithAckDataAndCrcThenStaysQuiet) {
    Port port(0, 200);
    // Version command 56h as sent on the wire: the byte, then CRC-16/MODBUS 7E3Fh high byte first.
    ASSERT_EQ(nir_frame({0x56}), (Bytes{0x56, 0x7E, 0x3F}));
    const std::string version = "SIMULATED NIR 1.0";
    Bytes reply = command(port, {0x56}, version.size());
    EXPECT_EQ(reply, nir_reply(ACK, Bytes(version.begin(), version.end())));
    port.set_read_timeout(30);
    EXPECT_TRUE(port.read(1).empty());
}

TEST_F(SimNir, SettingsAreKeptAndReadBack) {
    Port port(0, 200);
    EXPECT_EQ(command(port, {0x69, 0x00, 0x03, 0xD0, 0x90}, 0), nir_reply(ACK, {}));
    EXPECT_EQ(data_of(command(port, {0x3F, 0x69}, 4)), (Bytes{0x00, 0x03, 0xD0, 0x90}));
    EXPECT_EQ(command(port, {0x41, 0x00, 0x0A}, 0), nir_reply(ACK, {}));
    EXPECT_EQ(data_of(command(port, {0x3F, 0x41}, 2)), (Bytes{0x00, 0x0A}));
    EXPECT_EQ(command(port, {0x40, 0x07}, 0), nir_reply(ACK, {}));
    EXPECT_EQ(data_of(command(port, {0x3F, 0x40}, 1)), (Bytes{0x07}));
    EXPECT_EQ(data_of(command(port, {0x3F, 0xA5}, 1)), (Bytes{0x00}));  // gate closed at power-up
    EXPECT_EQ(command(port, {0xA5, 0xEA}, 0), nir_reply(ACK, {}));
    EXPECT_EQ(data_of(command(port, {0x3F, 0xA5}, 1)), (Bytes{0xEA}));

    // Reset: power-up settings, gate closed.
    EXPECT_EQ(command(port, {0x52}, 0), nir_reply(ACK, {}));
    EXPECT_EQ(data_of(command(port, {0x3F, 0x69}, 4)), (Bytes{0x00, 0x00, 0x27, 0x10}));
    EXPECT_EQ(data_of(command(port, {0x3F, 0x41}, 2)), (Bytes{0x00, 0x01}));
    EXPECT_EQ(data_of(command(port, {0x3F, 0xA5}, 1)), (Bytes{0x00}));

    EXPECT_EQ(command(port, {0x69, 0, 0, 0, 0}, 0), nir_reply(NAK, {}));  // integration 0 refused
    EXPECT_EQ(command(port, {0x41, 0x01, 0x00}, 0), nir_reply(NAK, {}));  // average above 255
}

TEST_F(SimNir, IdentityCalibrationAndTemperature) {
    Port port(0, 200);
    EXPECT_EQ(data_of(command(port, {0xBB}, 8)), (Bytes{0x03, 0, 0, 0x02, 0x56, 0, 0, 0}));
    EXPECT_EQ(data_of(command(port, {0x74}, 2)), (Bytes{0xFF, 0xF0}));
    Bytes cal = data_of(command(port, {0x78}, 40));
    ASSERT_EQ(cal.size(), 40u);
    EXPECT_EQ(be64_double(&cal[0]), 900.0);
    EXPECT_EQ(be64_double(&cal[8]), 3.2);
    EXPECT_EQ(be64_double(&cal[16]), -0.0005);
    EXPECT_EQ(be64_double(&cal[24]), 0.0);
    EXPECT_EQ(Bytes(cal.begin() + 32, cal.end()), Bytes(8, kFiller));  // padding carries nothing
}

TEST_F(SimNir, WavelengthTableAndSpectrumFrames) {
    {
        Port port(0, 500);
        Bytes table = data_of(command(port, {0x3F, 0x53}, 256 * 4));
        ASSERT_EQ(table.size(), 1024u);
        EXPECT_FLOAT_EQ(le_float(&table[0]), 900.0f);
        EXPECT_LT(le_float(&table[0]), le_float(&table[1020]));
        // The default frame: long header, samples, trailer: (count + 6) * 2 bytes.
        Bytes frame = data_of(command(port, {0x53}, (256 + 6) * 2));
        ASSERT_EQ(frame.size(), 524u);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 8),
                  (Bytes{0xAA, 0x55, 0xBB, 0x44, 0xCC, 0x33, 0xDD, 0x22}));
        EXPECT_EQ(Bytes(frame.end() - 4, frame.end()), (Bytes{0xDD, 0xDD, 0xAA, 0xAA}));
    }
    {
        Port port(1, 200);
        Bytes frame = data_of(command(port, {0x53}, 4 + 32));
        ASSERT_EQ(frame.size(), 36u);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), (Bytes{0xAA, 0x55, 0xBB, 0x44}));
        EXPECT_NE(Bytes(frame.end() - 4, frame.end()), (Bytes{0xDD, 0xDD, 0xAA, 0xAA}));
    }
    {
        Port port(2, 200);
        Bytes frame = data_of(command(port, {0x53}, 32 + 4));
        ASSERT_EQ(frame.size(), 36u);
        EXPECT_NE(frame[0], 0xAA);
        EXPECT_EQ(Bytes(frame.end() - 4, frame.end()), (Bytes{0xDD, 0xDD, 0xAA, 0xAA}));
    }
}

TEST_F(SimNir, FlashWritesNeedTheGate) {
    Port port(0, 300);
    const Bytes block = {0x11, 0x22, 0x33, 0x44, 0x55};
    const Bytes write = {0xAF, 0x01, 0x00, 0x11,
                         0x22, 0x33, 0x44, 0x55};  // address 0100h, the block
    EXPECT_EQ(command(port, write, 0), nir_reply(NAK, {}));
    command(port, {0xA5, 0xEA}, 0);
    EXPECT_EQ(command(port, write, 0), nir_reply(ACK, {}));
    Bytes read = data_of(command(port, {0x3F, 0xAF, 0x01, 0x00}, 256));
    ASSERT_EQ(read.size(), 256u);
    EXPECT_EQ(Bytes(read.begin(), read.begin() + 5), block);
    EXPECT_EQ(read[5], 0xFF);  // erased flash
}

TEST_F(SimNir, NaksBadFramesAndIgnoresForeignBytes) {
    Port port(0, 100);
    Bytes bad = nir_frame({0x56});
    bad.back() ^= 0x01;
    port.write(bad);
    EXPECT_EQ(port.read(3), nir_reply(NAK, {}));
    EXPECT_EQ(nir_reply(NAK, {}), (Bytes{0x15, 0x8F, 0x7E}));
    EXPECT_EQ(command(port, {0x99}, 0), nir_reply(NAK, {}));        // unknown command
    EXPECT_EQ(command(port, {0x56, 0x00}, 0), nir_reply(NAK, {}));  // known code, wrong length
    // A UVVIS_ORV model query and line noise get no answer at all.
    FT_Purge(port.handle(), FT_PURGE_RX | FT_PURGE_TX);
    port.write(read_request(0xC1, 0x46, 4));
    EXPECT_TRUE(port.read(1).empty());
    port.write({0x00, 0x13, 0x37, 0x42});
    EXPECT_TRUE(port.read(1).empty());
}

}  // namespace
