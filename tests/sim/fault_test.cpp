// Injected faults, as the host sees them on the wire.
#include <chrono>

#include "sim_support.h"

using namespace simtest;

namespace {

double ms_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

const char *kUvvisFaults = R"({
  "time_scale": 0.01,
  "bridges": [{ "serial": "F", "instrument": { "model": "SIM-UV1024", "faults": [
    { "kind": "no_answer", "register": "C1", "address": "00", "occurrence": 2 },
    { "kind": "short_header", "register": "C1", "address": "01", "bytes": 20 },
    { "kind": "short_body", "register": "C1", "address": "03", "bytes": 4 },
    { "kind": "data_len", "register": "C1", "address": "10" },
    { "kind": "bad_preamble", "register": "C1", "address": "11" },
    { "kind": "bad_crc", "register": "C1", "address": "12", "access": "read" },
    { "kind": "reply_code", "register": "C1", "address": "41", "code": "E1", "occurrence": 1 },
    { "kind": "reply_code", "register": "C1", "address": "41", "code": "E2", "occurrence": 2 },
    { "kind": "reply_code", "register": "C1", "address": "41", "code": "E3", "occurrence": 3 },
    { "kind": "reply_code", "register": "C1", "address": "41", "code": "7F", "occurrence": 4 },
    { "kind": "reply_code", "register": "C1", "address": "43", "code": "E0" },
    { "kind": "extra_data", "register": "C1", "address": "46", "bytes": 8192 },
    { "kind": "data", "register": "C1", "address": "50", "bytes": "00 00 00 01" },
    { "kind": "short_data", "register": "C1", "address": "20", "bytes": 12 },
    { "kind": "read_error", "register": "C1", "address": "52", "occurrence": 1 },
    { "kind": "write_error", "register": "C1", "address": "64", "access": "write" },
    { "kind": "short_write", "register": "C1", "address": "51", "access": "write", "bytes": 10 },
    { "kind": "delay", "register": "C2", "address": "0B", "ms": 150 },
    { "kind": "raw", "register": "C6", "bytes": "01 02 03" },
    { "kind": "read_error", "register": "C2", "address": "04", "persistent": true }
  ] } }]
})";

class SimUvvisFaults : public ::testing::Test {
protected:
    void SetUp() override { load(kUvvisFaults); }
    Bytes ask(Port &port, uint8_t reg, uint32_t addr, uint16_t words = 1) {
        return port.exchange(read_request(reg, addr, words));
    }
};

TEST_F(SimUvvisFaults, OccurrenceSelectsTheNthExchange) {
    Port port(0, 100);
    EXPECT_EQ(ask(port, 0xC1, 0x00).size(), 36u);
    EXPECT_TRUE(ask(port, 0xC1, 0x00).empty());
    EXPECT_EQ(ask(port, 0xC1, 0x00).size(), 36u);
    const uint8_t codes[] = {0xE1, 0xE2, 0xE3, 0x7F, 0xAC};
    const uint8_t status[] = {0xB, 0xB, 0xE, 0xB, 0x0};
    for (int i = 0; i < 5; ++i) {
        Packet p = parse(ask(port, 0xC1, 0x41, 2));
        EXPECT_EQ(p.reply, codes[i]);
        EXPECT_EQ(p.status, status[i]);
        EXPECT_EQ(p.data_len, i < 4 ? 0 : 2);
    }
}

TEST_F(SimUvvisFaults, BrokenPackets) {
    Port port(0, 100);
    EXPECT_EQ(ask(port, 0xC1, 0x01, 2).size(), 20u);  // short header
    Bytes body = ask(port, 0xC1, 0x03);
    EXPECT_EQ(body.size(), 36u - 4u);                              // short body
    Bytes announced = port.exchange(read_request(0xC1, 0x10, 1));  // DataLen 4089
    ASSERT_GE(announced.size(), 28u);
    EXPECT_EQ(announced[17] << 8 | announced[18], 4089);
    EXPECT_FALSE(parse(ask(port, 0xC1, 0x11)).preamble_ok);
    Packet crc = parse(ask(port, 0xC1, 0x12));
    EXPECT_TRUE(crc.preamble_ok);
    EXPECT_FALSE(crc.crc_ok);
    EXPECT_EQ(parse(port.exchange(write_request(0xC1, 0x12, {0, 0, 0, 0xEA}))).crc_ok,
              true);  // reads only
    Packet timeout = parse(ask(port, 0xC1, 0x43));
    EXPECT_EQ(timeout.reply, 0xE0);
    EXPECT_TRUE(timeout.crc_ok);
    EXPECT_EQ(ask(port, 0xC6, 0, 1024), (Bytes{1, 2, 3}));  // raw bytes
}

TEST_F(SimUvvisFaults, DataTheTestChooses) {
    Port port(0, 200);
    Packet extra = parse(ask(port, 0xC1, 0x46, 4));
    EXPECT_TRUE(extra.crc_ok);
    ASSERT_EQ(extra.data.size(), 8192u);
    EXPECT_EQ(std::string(extra.data.begin(), extra.data.begin() + 10), "SIM-UV1024");
    EXPECT_EQ(extra.data[100], 0x5A);
    EXPECT_EQ(parse(ask(port, 0xC1, 0x50)).data, (Bytes{0, 0, 0, 1}));
    Packet shortened = parse(ask(port, 0xC1, 0x20, 8));
    EXPECT_EQ(shortened.reply, 0xAC);
    EXPECT_EQ(shortened.data.size(), 12u);
}

TEST_F(SimUvvisFaults, LinkFailures) {
    Port port(0, 100);
    // FT_Read fails once, as if the device went away; the next exchange works.
    FT_Purge(port.handle(), FT_PURGE_RX | FT_PURGE_TX);
    port.write(read_request(0xC1, 0x52, 2));
    uint8_t buf[64];
    DWORD n = 0;
    EXPECT_EQ(FT_Read(port.handle(), buf, 28, &n), FT_IO_ERROR);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(parse(ask(port, 0xC1, 0x52, 2)).data.size(), 8u);

    // A failing or short write loses the request: the setting stays.
    Bytes dac = write_request(0xC1, 0x64, {0x12, 0x30, 0, 0});
    EXPECT_EQ(FT_Write(port.handle(), dac.data(), static_cast<DWORD>(dac.size()), &n), FT_IO_ERROR);
    EXPECT_EQ(n, 0u);
    Bytes trigger = write_request(0xC1, 0x51, {1, 2, 3, 4});
    EXPECT_EQ(FT_Write(port.handle(), trigger.data(), static_cast<DWORD>(trigger.size()), &n),
              FT_OK);
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(parse(ask(port, 0xC1, 0x64)).data, (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(parse(ask(port, 0xC1, 0x51)).data, (Bytes{0, 0, 0, 0}));

    auto start = std::chrono::steady_clock::now();
    port.set_read_timeout(1000);
    EXPECT_EQ(ask(port, 0xC2, 0x0B).size(), 36u);
    EXPECT_GE(ms_since(start), 145.0);

    // Unplugged: every read and write fails until the handle is closed.
    FT_Purge(port.handle(), FT_PURGE_RX | FT_PURGE_TX);
    port.write(read_request(0xC2, 0x04, 3));
    EXPECT_EQ(FT_Read(port.handle(), buf, 28, &n), FT_IO_ERROR);
    EXPECT_EQ(FT_Read(port.handle(), buf, 28, &n), FT_IO_ERROR);
    EXPECT_EQ(FT_Write(port.handle(), dac.data(), static_cast<DWORD>(dac.size()), &n), FT_IO_ERROR);
}

const char *kNirFaults = R"({
  "time_scale": 0.01,
  "bridges": [{ "serial": "N", "instrument": { "model": "SIM-NIR256", "faults": [
    { "kind": "nak", "command": "56" },
    { "kind": "nak_bad_crc", "command": "74" },
    { "kind": "bad_crc", "command": "BB" },
    { "kind": "short_reply", "command": "78", "bytes": 1 },
    { "kind": "short_reply", "command": "3F 69", "bytes": 2 },
    { "kind": "bad_first_byte", "command": "3F 41" },
    { "kind": "split", "command": "3F 40", "at": 2, "ms": 120 },
    { "kind": "endless", "command": "53" },
    { "kind": "no_answer", "command": "3F A5" },
    { "kind": "delay", "command": "52", "ms": 120 },
    { "kind": "data", "command": "3F 53", "bytes": "00 00 C8 43" },
    { "kind": "raw", "command": "40", "bytes": "06 42" }
  ] } }]
})";

class SimNirFaults : public ::testing::Test {
protected:
    void SetUp() override { load(kNirFaults); }
    Bytes send(Port &port, const Bytes &cmd, size_t n) {
        FT_Purge(port.handle(), FT_PURGE_RX | FT_PURGE_TX);
        port.write(nir_frame(cmd));
        return port.read(n);
    }
};

TEST_F(SimNirFaults, BrokenReplies) {
    Port port(0, 100);
    EXPECT_EQ(send(port, {0x56}, 3), nir_reply(0x15, {}));
    Bytes nak = send(port, {0x74}, 3);
    ASSERT_EQ(nak.size(), 3u);
    EXPECT_EQ(nak[0], 0x15);
    EXPECT_NE(nak, nir_reply(0x15, {}));
    Bytes model = send(port, {0xBB}, 11);
    EXPECT_EQ(model[0], 0x06);
    EXPECT_NE(model, nir_reply(0x06, Bytes(model.begin() + 1, model.end() - 2)));
    EXPECT_EQ(send(port, {0x78}, 10), (Bytes{0x06}));
    EXPECT_EQ(send(port, {0x3F, 0x69}, 10), (Bytes{0x06, 0x00}));
    EXPECT_EQ(send(port, {0x3F, 0x41}, 5), nir_reply(0x07, {0x00, 0x01}));
    EXPECT_EQ(send(port, {0x3F, 0x53}, 7), nir_reply(0x06, {0x00, 0x00, 0xC8, 0x43}));
    EXPECT_EQ(send(port, {0x40, 0x01}, 5), (Bytes{0x06, 0x42}));
    EXPECT_TRUE(send(port, {0x3F, 0xA5}, 4).empty());
}

TEST_F(SimNirFaults, PausesAndStreams) {
    Port port(0, 60);
    // Split after 2 bytes by 120 ms: a 60 ms read sees the first part only.
    EXPECT_EQ(send(port, {0x3F, 0x40}, 4), (Bytes{0x06, 0x00}));
    port.set_read_timeout(300);
    EXPECT_EQ(port.read(2), (Bytes{nir_reply(0x06, {0x00})[2], nir_reply(0x06, {0x00})[3]}));

    port.set_read_timeout(2000);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(send(port, {0x52}, 3), nir_reply(0x06, {}));
    EXPECT_GE(ms_since(start), 115.0);

    Bytes stream = send(port, {0x53}, 16384);
    EXPECT_EQ(stream.size(), 16384u);
}

}  // namespace

// unplug_after: two answers, then the bridge is gone for this session and
// every later one.
TEST(SimUnplugAfter, TheRequestAfterTheLastAnswerFindsTheBridgeGone) {
    load(R"({"time_scale": 0.01, "bridges": [{"serial": "U",
             "instrument": {"model": "SIM-UV1024", "unplug_after": 2}}]})");
    Bytes request = read_request(0xC1, 0x00, 1);
    const DWORD size = static_cast<DWORD>(request.size());
    uint8_t buf[64];
    DWORD n = 0;
    {
        Port port(0, 100);
        for (int i = 0; i < 2; ++i) EXPECT_EQ(port.exchange(request).size(), 36u) << i;
        EXPECT_EQ(FT_Write(port.handle(), request.data(), size, &n), FT_OK);
        EXPECT_EQ(FT_Read(port.handle(), buf, 28, &n), FT_IO_ERROR);
        EXPECT_EQ(FT_Write(port.handle(), request.data(), size, &n), FT_IO_ERROR);
    }
    Port again(0, 100);
    EXPECT_EQ(FT_Write(again.handle(), request.data(), size, &n), FT_OK);
    EXPECT_EQ(FT_Read(again.handle(), buf, 28, &n), FT_IO_ERROR);
}
