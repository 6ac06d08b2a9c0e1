// The NIR_LEGACY command layer: framing, reply collection by idle gap or
// known length, and every way a reply can fail.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "commands/request_patterns.h"
#include "env.h"
#include "length_sentinel.h"
#include "link/device_state.h"
#include "link/nir_exchange.h"
#include "link/timeouts.h"
#include "sim_session.h"
#include "transcript_line.h"
#include "wire/byte_order.h"
#include "wire/nir_frame.h"

namespace {

const std::string kVersion = "SIMULATED NIR 1.0";

int get_version(uint8_t *out, int *len, int capacity) {
    return nir_get_command(builtin_device(), NIR_CMD_VERSION, out, len, capacity);
}

}  // namespace

class Nir : public SimSession {
protected:
    void open_nir(const std::string &faults = "") {
        open(one_bridge(with_faults(NIR256, faults)), 0, ORV_PREFER_NIR);
    }
};

TEST_F(Nir, CommandFrameCarriesCrc16HighByteFirst) {
    open_nir();
    // CRC-16/MODBUS of "123456789" is 4B37h; the frame sends 4Bh first.
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(orv_crc16_legacy(digits, sizeof digits), 0x4B37);
    // The instrument does not know the command and answers NAK.
    EXPECT_EQ(nir_send_command(builtin_device(), digits, sizeof digits, nullptr, nullptr, 0, 100),
              ORV_ERR_TRANSPORT);
    uint8_t frame[16] = {};
    ASSERT_EQ(orvsim_last_write(0, frame, sizeof frame), 11);
    EXPECT_EQ(std::memcmp(frame, digits, sizeof digits), 0);
    EXPECT_EQ(frame[9], 0x4B);
    EXPECT_EQ(frame[10], 0x37);
}

TEST_F(Nir, ReplyDataAreHandedOverUpToCapacity) {
    open_nir();
    uint8_t out[64];
    int len = 0;
    ASSERT_EQ(get_version(out, &len, sizeof out), ORV_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), static_cast<size_t>(len)), kVersion);

    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(get_version(out, &len, 4), ORV_OK);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(out[4], 0xEE);

    // Without out_len nothing is copied.
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(get_version(out, nullptr, sizeof out), ORV_OK);
    EXPECT_EQ(out[0], 0xEE);
}

TEST_F(Nir, QueriesAndSettingsRoundTrip) {
    open_nir();
    uint8_t setting[5] = {NIR_CMD_INTEGRATION};
    put_be32(setting + 1, 123456);
    ASSERT_EQ(nir_send_command(builtin_device(), setting, sizeof setting, nullptr, nullptr, 0,
                               NIR_SET_IDLE_GAP_MS),
              ORV_OK);
    uint8_t value[4] = {};
    int len = 0;
    ASSERT_EQ(nir_query_command(builtin_device(), NIR_CMD_INTEGRATION, value, &len, sizeof value),
              ORV_OK);
    ASSERT_EQ(len, 4);
    EXPECT_EQ(get_be32(value), 123456u);
}

TEST_F(Nir, EmptyReplyIsAcceptedWithNoData) {
    open_nir(R"({"kind": "data", "bytes": ""})");
    uint8_t out[8];
    int len = kSentinel;
    EXPECT_EQ(get_version(out, &len, sizeof out), ORV_OK);
    EXPECT_EQ(len, 0);
}

TEST_F(Nir, RefusedBeforeAnythingIsSent) {
    load_scenario(one_bridge(NIR256));
    const uint8_t cmd[1] = {NIR_CMD_VERSION};
    int len = kSentinel;
    EXPECT_EQ(nir_send_command(builtin_device(), cmd, 1, nullptr, &len, 0, 100), ORV_ERR_NOT_OPEN);

    ASSERT_EQ(orv_set_protocol_preference(ORV_PREFER_NIR), ORV_OK);
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    std::vector<uint8_t> big(NIR_MAX_COMMAND + 1, NIR_CMD_VERSION);
    EXPECT_EQ(nir_send_command(builtin_device(), nullptr, 1, nullptr, &len, 0, 100),
              ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(nir_send_command(builtin_device(), cmd, 0, nullptr, &len, 0, 100),
              ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(
        nir_send_command(builtin_device(), big.data(), NIR_MAX_COMMAND + 1, nullptr, &len, 0, 100),
        ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orvsim_write_count(0), 0);

    // A reply that could not fit the reply buffer is refused after sending.
    EXPECT_EQ(nir_send_command_with_known_size(builtin_device(), cmd, 1, nullptr, &len, 0, 100,
                                               {0, NIR_REPLY_BUFFER - 2}),
              ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(
        nir_send_command_with_known_size(builtin_device(), cmd, 1, nullptr, &len, 0, 100, {4, 3}),
        ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orvsim_write_count(0), 2);
    EXPECT_EQ(len, kSentinel);

    int count = 0;
    uint8_t buf[4];
    EXPECT_EQ(nir_read_available(builtin_device().ft_handle, nullptr, 4, &count, 10),
              ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(nir_read_available(builtin_device().ft_handle, buf, 0, &count, 10),
              ORV_ERR_INVALID_PARAM);
}

struct NirFaultRow {
    const char *name;
    const char *fault;
    int expected;
};

void PrintTo(const NirFaultRow &row, std::ostream *os) { *os << row.fault; }

class NirFault : public Nir, public ::testing::WithParamInterface<NirFaultRow> {};

TEST_P(NirFault, FailsWithItsCode) {
    open_nir(std::string(R"({"occurrence": 1, )") + GetParam().fault + "}");
    uint8_t out[32];
    std::memset(out, 0xEE, sizeof out);
    int len = kSentinel;
    EXPECT_EQ(get_version(out, &len, sizeof out), GetParam().expected);
    EXPECT_EQ(len, kSentinel);
    EXPECT_EQ(out[0], 0xEE);

    // The next command is not disturbed by what the failed one left.
    ASSERT_EQ(get_version(out, &len, sizeof out), ORV_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), static_cast<size_t>(len)), kVersion);
}

// The CRC is checked before the ACK, so a NAK with a broken CRC reports the CRC.
INSTANTIATE_TEST_SUITE_P(
    EveryFailure, NirFault,
    ::testing::Values(
        NirFaultRow{"WriteError", R"("kind": "write_error")", ORV_ERR_TRANSPORT},
        NirFaultRow{"ShortWrite", R"("kind": "short_write", "bytes": 2)", ORV_ERR_TRANSPORT},
        NirFaultRow{"ReadError", R"("kind": "read_error")", ORV_ERR_TRANSPORT},
        NirFaultRow{"NoAnswer", R"("kind": "no_answer")", ORV_ERR_TIMEOUT},
        NirFaultRow{"ShortReply1", R"("kind": "short_reply", "bytes": 1)", ORV_ERR_TRANSPORT},
        NirFaultRow{"ShortReply2", R"("kind": "short_reply", "bytes": 2)", ORV_ERR_TRANSPORT},
        NirFaultRow{"BadCrc", R"("kind": "bad_crc")", ORV_ERR_CRC_MISMATCH},
        NirFaultRow{"Nak", R"("kind": "nak")", ORV_ERR_TRANSPORT},
        NirFaultRow{"NakBadCrc", R"("kind": "nak_bad_crc")", ORV_ERR_CRC_MISMATCH},
        NirFaultRow{"BadFirstByte", R"("kind": "bad_first_byte", "byte": "07")",
                    ORV_ERR_TRANSPORT}),
    [](const auto &row) { return std::string(row.param.name); });

TEST_F(Nir, IdleGapEndsTheReply) {
    // A pause shorter than the 500 ms gap does not end the reply...
    open_nir(R"({"kind": "split", "at": 5, "ms": 250, "occurrence": 1})");
    uint8_t out[32];
    int len = 0;
    double ms = elapsed_ms([&] { EXPECT_EQ(get_version(out, &len, sizeof out), ORV_OK); });
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), static_cast<size_t>(len)), kVersion);
    // ...and the quiet line after the last byte does, one gap later.
    EXPECT_GT(ms, 700.0);
    EXPECT_LT(ms, 1400.0);

    ms = elapsed_ms([&] { EXPECT_EQ(get_version(out, &len, sizeof out), ORV_OK); });
    EXPECT_GT(ms, 450.0);
    EXPECT_LT(ms, 1100.0);
}

TEST_F(Nir, LateBytesAreNotPartOfTheReply) {
    uint8_t out[32];
    int len = kSentinel;
    // A reply that pauses longer than the gap is cut there and fails its CRC.
    open_nir(R"({"kind": "split", "at": 5, "ms": 700})");
    EXPECT_EQ(get_version(out, &len, sizeof out), ORV_ERR_CRC_MISMATCH);
    // A reply that starts later than the gap counts as no reply.
    open_nir(R"({"kind": "delay", "ms": 800})");
    EXPECT_EQ(get_version(out, &len, sizeof out), ORV_ERR_TIMEOUT);
    EXPECT_EQ(len, kSentinel);
}

TEST_F(Nir, SilentInstrumentFailsAfterTheIdleGap) {
    open_nir(R"({"kind": "no_answer"})");
    uint8_t out[32];
    int len = 0;
    double ms = elapsed_ms([&] { EXPECT_EQ(get_version(out, &len, sizeof out), ORV_ERR_TIMEOUT); });
    EXPECT_GT(ms, 450.0);
    EXPECT_LT(ms, 1200.0);
}

TEST_F(Nir, EndlessStreamStopsAtTheReplyBuffer) {
    open_nir(R"({"kind": "endless", "occurrence": 1})");
    uint8_t out[32];
    int len = kSentinel;
    double ms =
        elapsed_ms([&] { EXPECT_EQ(get_version(out, &len, sizeof out), ORV_ERR_CRC_MISMATCH); });
    EXPECT_LT(ms, 3000.0);
    EXPECT_EQ(len, kSentinel);
}

TEST_F(Nir, SpectrumIsReadToItsKnownLength) {
    open_nir();
    std::vector<uint8_t> out(1024, 0xEE);
    int len = 0;
    // Known length: no idle gap to wait for.
    double ms = elapsed_ms([&] {
        ASSERT_EQ(nir_spectrum_command(builtin_device(), 256, out.data(), &len,
                                       static_cast<int>(out.size())),
                  ORV_OK);
    });
    EXPECT_LT(ms, 400.0);
    EXPECT_EQ(orvsim_write_count(0), 1);
    EXPECT_EQ(len, (256 + 6) * 2);
    const uint8_t header[] = {0xAA, 0x55, 0xBB, 0x44, 0xCC, 0x33, 0xDD, 0x22};
    EXPECT_EQ(std::memcmp(out.data(), header, sizeof header), 0);
    EXPECT_EQ(out[static_cast<size_t>(len)], 0xEE);
}

// The frame forms an instrument may send around 256 samples: the reply is
// read whole whatever the form, the short ones cost at most one short gap
// more than the long one, and fewer bytes than the shortest form time out.
TEST_F(Nir, EveryFrameFormIsReadWholeAndTheShortOnesCostOneGapAtMost) {
    struct Form {
        const char *header;
        bool trailer;
        int frame_bytes;  // around the 512 sample bytes
    };
    const Form forms[] = {{"long", true, 12},  {"long", false, 8}, {"short", true, 8},
                          {"short", false, 4}, {"none", true, 4},  {"none", false, 0}};
    double long_ms = 0.0;
    for (const Form &form : forms) {
        SCOPED_TRACE(std::string(form.header) + (form.trailer ? " with trailer" : ""));
        open(one_bridge(NIR256 + R"(, "frame_header": ")" + form.header +
                        R"(", "frame_trailer": )" + (form.trailer ? "true" : "false")),
             0, ORV_PREFER_NIR);
        std::vector<uint8_t> out(1024, 0xEE);
        int len = 0;
        const double ms = elapsed_ms([&] {
            ASSERT_EQ(nir_spectrum_command(builtin_device(), 256, out.data(), &len,
                                           static_cast<int>(out.size())),
                      ORV_OK);
        });
        EXPECT_EQ(len, 512 + form.frame_bytes);
        EXPECT_EQ(out[static_cast<size_t>(len)], 0xEE);
        if (form.frame_bytes == 12) long_ms = ms;
        EXPECT_LT(ms, long_ms + 250.0);  // the gap is 20 ms
    }

    // An instrument of fewer pixels than the count sends less than the shortest form.
    open(one_bridge(NIR256 + R"(, "pixels": 250, "frame_header": "none", "frame_trailer": false)"),
         0, ORV_PREFER_NIR);
    std::vector<uint8_t> out(1024);
    int len = 0;
    EXPECT_EQ(
        nir_spectrum_command(builtin_device(), 256, out.data(), &len, static_cast<int>(out.size())),
        ORV_ERR_TIMEOUT);
}

// The long form's traffic: the one command, and reads that ask for no byte
// beyond the long frame and get it all, the first with the spectrum timeout.
TEST_F(Nir, LongFrameTrafficIsTheCommandAndTheFrame) {
    const std::string transcript =
        (std::filesystem::temp_directory_path() / "orv_link_nir_transcript.txt").string();
    std::error_code ignored;  // Windows keeps a file the provider still holds
    std::filesystem::remove(transcript, ignored);
    orvtest::set_env("ORVSIM_TRANSCRIPT", transcript.c_str());
    open_nir();
    std::vector<uint8_t> out(1024);
    int len = 0;
    const int rc =
        nir_spectrum_command(builtin_device(), 256, out.data(), &len, static_cast<int>(out.size()));
    orvtest::set_env("ORVSIM_TRANSCRIPT", nullptr);
    orvsim_load_default_scenario();  // lets go of the file
    ASSERT_EQ(rc, ORV_OK);

    std::vector<orvtest::TranscriptLine> traffic;
    std::ifstream lines(transcript);
    for (std::string line; std::getline(lines, line);) {
        orvtest::TranscriptLine t = orvtest::parse_transcript_line(line);
        if (t.call == "FT_Write") traffic.clear();  // the spectrum's exchange from its write on
        if (t.call == "FT_Write" || t.call == "FT_Read") traffic.push_back(t);
    }
    lines.close();
    std::filesystem::remove(transcript, ignored);
    ASSERT_GE(traffic.size(), 2u);
    const uint8_t command = NIR_CMD_SPECTRUM;
    char frame[8];
    std::snprintf(frame, sizeof frame, "53%04X",
                  static_cast<unsigned>(orv_crc16_legacy(&command, 1)));
    EXPECT_EQ(traffic[0].fields["data"], frame);
    std::string read;
    int asked = 0;
    for (size_t i = 1; i < traffic.size(); ++i) {
        read += traffic[i].fields["data"];
        asked += std::stoi(traffic[i].fields["req"]);
    }
    EXPECT_EQ(traffic[1].fields["timeout"], "1010");
    EXPECT_EQ(asked, 527);
    EXPECT_EQ(read.size(), 2u * 527);
    EXPECT_EQ(read.substr(0, 18), "06AA55BB44CC33DD22");
    EXPECT_EQ(read.substr(read.size() - 12, 8), "DDDDAAAA");
}
