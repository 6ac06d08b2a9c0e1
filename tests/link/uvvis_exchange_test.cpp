// The UVVIS_ORV exchange: round trips, every way a reply can fail, the
// buffer limits, the read timeouts and the timing trace.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "commands/request_patterns.h"
#include "env.h"
#include "length_sentinel.h"
#include "link/device_state.h"
#include "link/uvvis_exchange.h"
#include "response_packet.h"
#include "sim_session.h"
#include "stdout_capture.h"
#include "wire/byte_order.h"
#include "wire/uvvis_packet.h"

namespace {

constexpr uint8_t kAverageAddr = 0x10;
constexpr uint8_t kModelAddr = 0x46;
constexpr uint8_t kWavelengthCountAddr = 0x0B;

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
        EXPECT_EQ(get_be16(word + 2), e.pixels);  // a half in a word

        put_be32(word, 7);
        ASSERT_EQ(send_and_recv(builtin_device(), ORV_REG_PARAMS, kAverageAddr, word, 4, nullptr, 0,
                                &len, 0),
                  ORV_OK);
        EXPECT_EQ(orvsim_last_write(e.bridge, nullptr, 0), 36);
        EXPECT_EQ(len, 0);  // a write ACK carries no data
        std::memset(word, 0, sizeof word);
        ASSERT_EQ(read_params(kAverageAddr, 1, word, sizeof word, &len), ORV_OK);
        EXPECT_EQ(word[3], 7u);  // a byte in a word
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

// The link waits as long as the request says and traces when it says so,
// whatever the register: what a register means is the commands' business.
TEST_F(Exchange, RequestCarriesItsDeadlineAndTrace) {
    open_uvvis(R"({"kind": "delay", "ms": 400, "register": "C1"})");
    uint8_t model[16] = {};
    int len = 0;
    uvvis_request request{uvvis_request::kind::read, ORV_REG_PARAMS, kModelAddr};
    request.reply_words = 4;
    request.deadline_ms = 100;
    double ms = elapsed_ms([&] {
        EXPECT_EQ(uvvis_exchange(builtin_device(), request, {model, 16, &len}), ORV_ERR_TIMEOUT);
    });
    EXPECT_LT(ms, 380.0);

    request.deadline_ms = 2000;
    request.trace = true;
    std::string line = capture_stdout([&] {
        EXPECT_EQ(uvvis_exchange(builtin_device(), request, {model, 16, &len}), ORV_OK);
    });
    EXPECT_EQ(len, 16);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(model), 10), "SIM-UV2048");
    EXPECT_TRUE(std::regex_search(line, std::regex(R"(^\[trace C1\] write=)"))) << line;
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

// The late answer to an earlier request, which a real bridge delivers after
// the purge of the next exchange, is not that exchange's answer: it is
// dropped whole, and reading goes on until the answer that echoes the
// request or the exchange's own timeout. On the built-in device and on a
// handle alike.
class LateAnswer : public Exchange, public ::testing::WithParamInterface<bool> {
protected:
    void TearDown() override {
        orv_device_close(handle_);
        Exchange::TearDown();
    }
    // Loads an instrument whose answer to the model read is `raw`, sent at
    // `bytes_per_s`, and opens it through the interface of the run.
    orv_device &open_with_model_answer(const std::vector<uint8_t> &raw, int bytes_per_s = 1000000) {
        orv_device_close(handle_);
        handle_ = nullptr;
        orv_close_device();
        const std::string instrument =
            with_faults(UV2048, R"({"kind": "raw", "register": "C1", "address": "46", "bytes": ")" +
                                    hex(raw) + "\"}");
        std::string scenario = one_bridge(instrument, 1.0);
        scenario.insert(1, R"("throughput_bytes_per_s": )" + std::to_string(bytes_per_s) + ", ");
        load_scenario(scenario);
        EXPECT_EQ(orv_set_protocol_preference(ORV_PREFER_UVVIS), ORV_OK);
        if (!GetParam()) {
            EXPECT_EQ(orv_open_device(0), ORV_OK);
            return builtin_device();
        }
        EXPECT_EQ(orv_device_open(0, &handle_), ORV_OK);
        return *handle_;
    }
    static int read_model(orv_device &device, uint8_t *out, int *len) {
        return send_and_recv(device, ORV_REG_PARAMS, kModelAddr, nullptr, 4, out, 16, len, 1);
    }
    orv_device *handle_ = nullptr;
};

const orvtest::ResponseFields kModelAnswer{.reg = ORV_REG_PARAMS, .addr = kModelAddr};
const std::vector<uint8_t> kModelText = {'M', 'I', 'N', 'E', 0, 0, 0, 0};
const std::vector<uint8_t> kStaleData = {'S', 'T', 'A', 'L', 'E', 0, 0, 0};

// The model answer with one field changed.
template <typename Change>
std::vector<uint8_t> answer_with(Change change, const std::vector<uint8_t> &data = kStaleData) {
    orvtest::ResponseFields f = kModelAnswer;
    change(f);
    return orvtest::make_response(f, data);
}

TEST_P(LateAnswer, AnswersOfOtherRequestsAreNotTaken) {
    using Fields = orvtest::ResponseFields;
    const struct {
        const char *name;
        std::vector<uint8_t> stale;
    } rows[] = {
        {"register", answer_with([](Fields &f) { f.reg = ORV_REG_STORED; })},
        {"address", answer_with([](Fields &f) { f.addr = 0x40; })},
        {"file serial number", answer_with([](Fields &f) { f.fsn = 0x01; })},
        {"write ACK", answer_with([](Fields &f) { f.srv = ORV_SRV_RESP_WRITE_ACK; }, {})},
        {"error reply of another register", answer_with(
                                                [](Fields &f) {
                                                    f.reg = ORV_REG_SPECTRUM;
                                                    f.reply = ORV_REPLY_CMD_TIMEOUT;
                                                },
                                                {})},
    };
    const std::vector<uint8_t> mine = orvtest::make_response(kModelAnswer, kModelText);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        uint8_t out[16];
        std::memset(out, 0xEE, sizeof out);
        int len = kSentinel;
        // Alone, it leaves the exchange without an answer.
        orv_device &device = open_with_model_answer(row.stale);
        const double ms =
            elapsed_ms([&] { EXPECT_EQ(read_model(device, out, &len), ORV_ERR_TIMEOUT); });
        EXPECT_GT(ms, 150.0);
        EXPECT_LT(ms, 1000.0);
        EXPECT_EQ(len, kSentinel);
        EXPECT_EQ(out[0], 0xEE);

        // Followed by the answer within the timeout, the answer is taken.
        std::vector<uint8_t> both = row.stale;
        both.insert(both.end(), mine.begin(), mine.end());
        orv_device &again = open_with_model_answer(both);
        ASSERT_EQ(read_model(again, out, &len), ORV_OK);
        EXPECT_EQ(len, 8);
        EXPECT_EQ(std::memcmp(out, kModelText.data(), 8), 0);
    }
}

// The service byte is not validated: firmware that answers under other
// values is answered at once, and a refusal keeps its own code whatever
// service it came under. Only an ACK of the other kind of request is
// another request's answer: a read's data answer to a write that waits.
TEST_P(LateAnswer, OtherServiceBytesStillAnswer) {
    using Fields = orvtest::ResponseFields;
    const auto answer = [](uint8_t srv, uint8_t reply, const std::vector<uint8_t> &data) {
        Fields f = kModelAnswer;
        f.srv = srv;
        f.reply = reply;
        return orvtest::make_response(f, data);
    };
    uint8_t out[16];
    int len = kSentinel;
    for (uint8_t srv : {uint8_t{0x00}, uint8_t{ORV_SRV_READ}}) {
        SCOPED_TRACE(static_cast<int>(srv));
        orv_device &device = open_with_model_answer(answer(srv, ORV_REPLY_ACK, kModelText));
        const double ms = elapsed_ms([&] { ASSERT_EQ(read_model(device, out, &len), ORV_OK); });
        EXPECT_LT(ms, 150.0);  // not after the exchange's 200 ms
        EXPECT_EQ(len, 8);
        EXPECT_EQ(std::memcmp(out, kModelText.data(), 8), 0);
    }

    const uint8_t word[4] = {0, 0, 0, 1};
    const auto write_model = [&](orv_device &device) {
        len = kSentinel;
        return send_and_recv(device, ORV_REG_PARAMS, kModelAddr, word, 4, nullptr, 0, &len, 0);
    };
    const struct {
        const char *name;
        uint8_t srv;
        uint8_t reply;
        int expected;
    } writes[] = {
        {"refusal under E0h", ORV_SRV_RESP_DATA, ORV_REPLY_INVALID_CMD, ORV_ERR_TRANSPORT},
        {"write protected under E0h", ORV_SRV_RESP_DATA, ORV_REPLY_WRITE_PROTECT,
         ORV_ERR_WRITE_PROTECTED},
        {"ACK under E0h", ORV_SRV_RESP_DATA, ORV_REPLY_ACK, ORV_OK},
        {"ACK under EAh", ORV_SRV_RESP_WRITE_ACK, ORV_REPLY_ACK, ORV_OK},
    };
    for (const auto &row : writes) {
        SCOPED_TRACE(row.name);
        orv_device &device = open_with_model_answer(answer(row.srv, row.reply, {}));
        EXPECT_EQ(write_model(device), row.expected);
        EXPECT_EQ(len, row.expected == ORV_OK ? 0 : kSentinel);
    }

    // The late data answer of a read of the same register is not the write's ACK.
    const std::vector<uint8_t> late_read = answer(ORV_SRV_RESP_DATA, ORV_REPLY_ACK, kStaleData);
    orv_device &device = open_with_model_answer(late_read);
    const double ms = elapsed_ms([&] { EXPECT_EQ(write_model(device), ORV_ERR_TIMEOUT); });
    EXPECT_GT(ms, 150.0);
    EXPECT_EQ(len, kSentinel);
    std::vector<uint8_t> both = late_read;
    const std::vector<uint8_t> ack = answer(ORV_SRV_RESP_WRITE_ACK, ORV_REPLY_ACK, {});
    both.insert(both.end(), ack.begin(), ack.end());
    EXPECT_EQ(write_model(open_with_model_answer(both)), ORV_OK);
}

TEST_P(LateAnswer, AStreamOfOtherAnswersEndsAtTheTimeout) {
    // 40 packets of 40 bytes at 2000 bytes/s: 800 ms of answers that are not
    // this exchange's, far beyond its 200 ms.
    std::vector<uint8_t> stream;
    for (int i = 0; i < 40; ++i) {
        const auto stale = answer_with([i](orvtest::ResponseFields &f) { f.addr = 0x100 + i; });
        stream.insert(stream.end(), stale.begin(), stale.end());
    }
    orv_device &device = open_with_model_answer(stream, 2000);
    uint8_t out[16];
    int len = kSentinel;
    const double ms =
        elapsed_ms([&] { EXPECT_EQ(read_model(device, out, &len), ORV_ERR_TIMEOUT); });
    EXPECT_GT(ms, 150.0);
    EXPECT_LT(ms, 600.0);
    EXPECT_EQ(len, kSentinel);
}

TEST_P(LateAnswer, ABrokenPacketIsTheAnswerAndFailsItsCheck) {
    // Whose answer a packet with a wrong CRC is cannot be told: it fails as before.
    std::vector<uint8_t> broken = answer_with([](orvtest::ResponseFields &f) { f.reg = 0xC2; });
    broken.back() ^= 0xFF;
    orv_device &device = open_with_model_answer(broken);
    uint8_t out[16];
    int len = kSentinel;
    EXPECT_EQ(read_model(device, out, &len), ORV_ERR_CRC_MISMATCH);
}

INSTANTIATE_TEST_SUITE_P(BothInterfaces, LateAnswer, ::testing::Values(false, true),
                         [](const auto &row) { return row.param ? "Handle" : "BuiltIn"; });

// Detection takes a model answer under another service byte as the
// instrument's: one request, no NIR probe after it.
TEST_F(Exchange, DetectionAcceptsAnyServiceByte) {
    orvtest::ResponseFields f = kModelAnswer;
    f.srv = 0x00;
    const std::string raw = hex(orvtest::make_response(f, kModelText));
    load_scenario(one_bridge(with_faults(
        UV2048, R"({"kind": "raw", "register": "C1", "address": "46", "bytes": ")" + raw + "\"}")));
    ASSERT_EQ(orv_set_protocol_preference(ORV_PREFER_AUTO), ORV_OK);
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    EXPECT_EQ(builtin_device().protocol, ORV_PROTOCOL_UVVIS);
    EXPECT_EQ(orvsim_write_count(0), 1);
}
