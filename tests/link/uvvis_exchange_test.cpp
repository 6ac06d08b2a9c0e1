// The UVVIS_ORV exchange: round trips, every way a reply can fail, the
// buffer limits, the read timeouts and the timing trace.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "env.h"
#include "link/device_state.h"
#include "link/uvvis_exchange.h"
#include "sim_session.h"
#include "stdout_capture.h"
#include "wire/byte_order.h"
#include "wire/uvvis_packet.h"

namespace {

constexpr uint8_t kAverageAddr = 0x10;
constexpr uint8_t kModelAddr = 0x46;
constexpr uint8_t kWavelengthCountAddr = 0x0B;
constexpr int kSentinel = -12345;

// Reads `words` words of register C1h at `addr`.
int read_params(uint32_t addr, int words, uint8_t *out, int capacity, int *out_len) {
    return send_and_recv(builtin_device(), ORV_REG_PARAMS, addr, nullptr, words, out, capacity,
                         out_len, 1);
}

}  // namespace

class Exchange : public SimSession {
protected:
    void open_uvvis(const std::string &faults = "") {
        open(one_bridge(with_faults(UV2048, faults)), 0, ORV_PREFER_UVVIS);
    }
};

// The built-in scenario's UV-VIS instruments, as a program finds them.
TEST_F(Exchange, RegisterReadsAndWritesRoundTrip) {
    ASSERT_EQ(orvsim_load_default_scenario(), 0) << orvsim_last_error();
    struct Expected {
        const char *serial;
        int bridge;
        const char *model;
        uint32_t pixels;
    };
    for (const Expected &e : {Expected{"ORVSIM01", 0, "SIM-UV2048", 2048},
                              Expected{"ORVSIM02", 1, "SIM-UV1024", 1024}}) {
        SCOPED_TRACE(e.serial);
        ASSERT_EQ(orv_open_device_by_chip_serial(e.serial), ORV_OK);
        orvsim_reset_counters();
        uint8_t model[17] = {};
        int len = 0;
        ASSERT_EQ(read_params(kModelAddr, 4, model, 16, &len), ORV_OK);
        EXPECT_EQ(len, 16);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(model)), e.model);
        EXPECT_EQ(orvsim_last_write(e.bridge, nullptr, 0), 32);  // a read request is 32 bytes

        uint8_t word[4] = {};
        ASSERT_EQ(send_and_recv(builtin_device(), ORV_REG_STORED, kWavelengthCountAddr, nullptr, 1,
                                word, 4, &len, 1),
                  ORV_OK);
        EXPECT_EQ(len, 4);
        EXPECT_EQ(get_be32(word), e.pixels);

        put_be32(word, 7);
        ASSERT_EQ(send_and_recv(builtin_device(), ORV_REG_PARAMS, kAverageAddr, word, 4, nullptr, 0,
                                &len, 0),
                  ORV_OK);
        EXPECT_EQ(orvsim_last_write(e.bridge, nullptr, 0), 36);
        EXPECT_EQ(len, 0);  // a write ACK carries no data
        std::memset(word, 0, sizeof word);
        ASSERT_EQ(read_params(kAverageAddr, 1, word, sizeof word, &len), ORV_OK);
        EXPECT_EQ(get_be32(word), 7u);
        EXPECT_EQ(orvsim_write_count(e.bridge), 4);
    }
}

TEST_F(Exchange, RefusedBeforeAnythingIsSent) {
    load_scenario(one_bridge(UV2048));
    int len = kSentinel;
    EXPECT_EQ(read_params(kModelAddr, 4, nullptr, 0, &len), ORV_ERR_NOT_OPEN);

    ASSERT_EQ(orv_set_protocol_preference(ORV_PREFER_UVVIS), ORV_OK);
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    std::vector<uint8_t> big(ORV_MAX_WRITE_DATA + 1, 0x11);
    EXPECT_EQ(send_and_recv(builtin_device(), ORV_REG_FLASH_DATA, 0, big.data(),
                            ORV_MAX_WRITE_DATA + 1, nullptr, 0, &len, 0),
              ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(
        send_and_recv(builtin_device(), ORV_REG_FLASH_DATA, 0, nullptr, 4, nullptr, 0, &len, 0),
        ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orvsim_write_count(0), 0);
    EXPECT_EQ(len, kSentinel);

    // The largest write that fits goes out whole (the instrument then refuses
    // it because its write protection is closed, which does not matter here).
    big.pop_back();
    EXPECT_NE(send_and_recv(builtin_device(), ORV_REG_FLASH_DATA, 0, big.data(), ORV_MAX_WRITE_DATA,
                            nullptr, 0, &len, 0),
              ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orvsim_last_write(0, nullptr, 0), ORV_REQUEST_BUFFER_SIZE);
}

struct FaultRow {
    const char *name;
    const char *fault;
    int expected;
};

void PrintTo(const FaultRow &row, std::ostream *os) { *os << row.fault; }

class ExchangeFault : public Exchange, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(ExchangeFault, FailsWithItsCodeAndLeavesOutputsAlone) {
    // Only the first exchange is hit.
    open_uvvis(std::string(R"({"occurrence": 1, )") + GetParam().fault + "}");
    uint8_t out[16];
    std::memset(out, 0xEE, sizeof out);
    int len = kSentinel;
    EXPECT_EQ(read_params(kModelAddr, 4, out, sizeof out, &len), GetParam().expected);
    EXPECT_EQ(len, kSentinel);
    for (uint8_t b : out) EXPECT_EQ(b, 0xEE);

    // A failed exchange leaves nothing behind (unread bytes, a short read
    // timeout) that spoils the next one.
    EXPECT_EQ(read_params(kModelAddr, 4, out, sizeof out, &len), ORV_OK);
    EXPECT_EQ(len, 16);
}

INSTANTIATE_TEST_SUITE_P(
    EveryFailure, ExchangeFault,
    ::testing::Values(
        FaultRow{"WriteError", R"("kind": "write_error")", ORV_ERR_TRANSPORT},
        FaultRow{"ShortWrite", R"("kind": "short_write", "bytes": 31)", ORV_ERR_TRANSPORT},
        FaultRow{"ReadError", R"("kind": "read_error")", ORV_ERR_TRANSPORT},
        FaultRow{"DataLen4089", R"("kind": "data_len", "words": 4089)", ORV_ERR_TRANSPORT},
        FaultRow{"NoAnswer", R"("kind": "no_answer")", ORV_ERR_TIMEOUT},
        FaultRow{"ShortHeader", R"("kind": "short_header", "bytes": 20)", ORV_ERR_TIMEOUT},
        FaultRow{"ShortBody", R"("kind": "short_body", "bytes": 4)", ORV_ERR_TIMEOUT},
        FaultRow{"BadPreamble", R"("kind": "bad_preamble")", ORV_ERR_INVALID_PACKET},
        FaultRow{"BadCrc", R"("kind": "bad_crc")", ORV_ERR_CRC_MISMATCH},
        FaultRow{"ReplyCodeE0", R"("kind": "reply_code", "code": "E0")", ORV_ERR_TIMEOUT},
        FaultRow{"ReplyCodeE1", R"("kind": "reply_code", "code": "E1")", ORV_ERR_CRC_MISMATCH},
        FaultRow{"ReplyCodeE2", R"("kind": "reply_code", "code": "E2")", ORV_ERR_TRANSPORT},
        FaultRow{"ReplyCodeE3", R"("kind": "reply_code", "code": "E3")", ORV_ERR_WRITE_PROTECTED},
        FaultRow{"ReplyCode55", R"("kind": "reply_code", "code": "55")", ORV_ERR_TRANSPORT}),
    [](const auto &row) { return std::string(row.param.name); });

TEST_F(Exchange, ReplyDataNeverOverrunsTheCallersBuffer) {
    // The instrument answers a 4-word read with 8192 data bytes.
    open_uvvis(R"({"kind": "extra_data", "bytes": 8192})");
    std::vector<uint8_t> out(ORV_PACKET_MAX_DATA + 16, 0xEE);
    int len = 0;
    ASSERT_EQ(read_params(kModelAddr, 4, out.data(), 16, &len), ORV_OK);
    EXPECT_EQ(len, 16);
    EXPECT_EQ(out[16], 0xEE);

    ASSERT_EQ(read_params(kModelAddr, 4, out.data(), static_cast<int>(out.size()), &len), ORV_OK);
    EXPECT_EQ(len, ORV_PACKET_MAX_DATA);
    EXPECT_EQ(out[ORV_PACKET_MAX_DATA], 0xEE);
}

TEST_F(Exchange, LargestPacketIsReadAndItsDataCut) {
    // DataLen 4088: a 16384-byte packet, the most a reply may be.
    open_uvvis(R"({"kind": "extra_data", "bytes": 16352})");
    std::vector<uint8_t> out(16384, 0xEE);
    int len = 0;
    ASSERT_EQ(read_params(kModelAddr, 4, out.data(), static_cast<int>(out.size()), &len), ORV_OK);
    EXPECT_EQ(len, ORV_PACKET_MAX_DATA);
    EXPECT_EQ(out[ORV_PACKET_MAX_DATA], 0xEE);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out.data())), "SIM-UV2048");
}

TEST_F(Exchange, SilentDeviceTimesOutAfterTheRegisterTimeout) {
    open_uvvis(R"({"kind": "no_answer"})");
    int len = 0;
    double ms = elapsed_ms(
        [&] { EXPECT_EQ(read_params(kModelAddr, 4, nullptr, 0, &len), ORV_ERR_TIMEOUT); });
    EXPECT_GT(ms, 150.0);
    EXPECT_LT(ms, 1000.0);
}

class SpectrumExchange : public Exchange {
protected:
    void TearDown() override {
        orvtest::set_env("ORV_TRACE_TIMING", nullptr);
        builtin_device().current_integration_us = 10000;
        builtin_device().current_average_number = 1;
        Exchange::TearDown();
    }
    int read_spectrum(uint8_t reg = ORV_REG_SPECTRUM) {
        int len = 0;
        return send_and_recv(builtin_device(), reg, 0, nullptr, 1024, spectrum, sizeof spectrum,
                             &len, 1);
    }
    uint8_t spectrum[4096];
};

TEST_F(SpectrumExchange, WaitsForIntegrationTimesAverages) {
    // 500 ms x 2 scans + 1000 ms: an answer 1500 ms late still arrives in time.
    open_uvvis(R"({"kind": "delay", "ms": 1500, "register": "C6"})");
    builtin_device().current_integration_us = 500000;
    builtin_device().current_average_number = 2;
    EXPECT_EQ(read_spectrum(), ORV_OK);

    // With the settings at load the spectrum may take 1010 ms.
    builtin_device().current_integration_us = 10000;
    builtin_device().current_average_number = 1;
    double ms = elapsed_ms([&] { EXPECT_EQ(read_spectrum(), ORV_ERR_TIMEOUT); });
    EXPECT_GT(ms, 900.0);
    EXPECT_LT(ms, 1450.0);
}

TEST_F(SpectrumExchange, TraceLineOnlyForSpectrumReads) {
    open_uvvis(R"({"kind": "bad_crc", "register": "C6", "occurrence": 2})");
    orvtest::set_env("ORV_TRACE_TIMING", "");  // existing, even empty, turns tracing on
    uint8_t word[4];
    int len = 0;
    EXPECT_EQ(capture_stdout([&] { read_params(kAverageAddr, 1, word, 4, &len); }), "");

    std::string line = capture_stdout([&] { EXPECT_EQ(read_spectrum(), ORV_OK); });
    const std::regex format(
        R"(\[trace C6\] write=\d+\.\d{3} ms, wait_header=\d+\.\d{3} ms, read_body=\d+\.\d{3} ms, )"
        R"(total=\d+\.\d{3} ms, expected=4128\n)");
    EXPECT_TRUE(std::regex_match(line, format)) << line;

    // The line is written before the reply is checked.
    line = capture_stdout([&] { EXPECT_EQ(read_spectrum(), ORV_ERR_CRC_MISMATCH); });
    EXPECT_TRUE(std::regex_match(line, format)) << line;

    orvtest::set_env("ORV_TRACE_TIMING", nullptr);
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(read_spectrum(), ORV_OK); }), "");
}
