// The simulated provider replaying a capture: the recorded device list, the
// recorded replies to the recorded requests, and a dead instrument with a
// report from the first request that differs.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "capture.h"
#include "ftd2xx.h"
#include "orvsim.h"

namespace {

using orvcapture::Call;
using orvcapture::Record;
using Bytes = std::vector<uint8_t>;

namespace fs = std::filesystem;

// One device, ORVREPLAY at position 0 (FOREIGN at 1): two requests, the
// first answered in two reads, the second by nothing.
std::string small_capture(double reply_after_ms) {
    std::string text;
    orvcapture::append_header_line(text, {});
    uint64_t n = 0;
    auto add = [&](Record r) {
        r.n = ++n;
        orvcapture::append_record_line(text, r);
    };
    Record list;
    list.call = Call::GetDeviceInfoList;
    list.capacity = 2;
    list.count = 2;
    list.devices = {{0, 5, 0x04036001, 0x1001, "ORVREPLAY", "USB <-> Serial"},
                    {1, 5, 0x04036015, 0x1002, "FOREIGN", "Cable"}};
    add(list);
    Record open;
    open.call = Call::Open;
    open.dev = 0;
    add(open);
    Record write;
    write.call = Call::Write;
    write.dev = 0;
    write.t_us = 1000;
    write.req = write.done = 2;
    write.data = {0xAA, 0xBB};
    add(write);
    Record read;
    read.call = Call::Read;
    read.dev = 0;
    read.t_us = 1000 + static_cast<uint64_t>(reply_after_ms * 1000);
    read.req = read.done = 2;
    read.data = {0x01, 0x02};
    add(read);
    read.data = {0x03};
    read.req = read.done = 1;
    add(read);
    write.data = {0xCC};
    write.req = write.done = 1;
    add(write);
    return text;
}

class Replay : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("orv_replay_" +
                   std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        if (handle_) FT_Close(handle_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    std::string write_file(const std::string &name, const std::string &text) {
        std::ofstream(folder_ / name, std::ios::binary) << text;
        return (folder_ / name).string();
    }

    // A scenario file beside the capture naming it by a relative path.
    void load(const std::string &capture_text, const std::string &timing) {
        write_file("session.jsonl", capture_text);
        const std::string scenario = write_file(
            "replay.json", R"({"replay": "session.jsonl", "replay_timing": ")" + timing + "\"}");
        ASSERT_EQ(orvsim_load_scenario_file(scenario.c_str()), 0) << orvsim_last_error();
        ASSERT_EQ(FT_Open(0, &handle_), FT_OK);
    }

    Bytes exchange(const Bytes &request, DWORD want, ULONG timeout_ms) {
        DWORD done = 0;
        EXPECT_EQ(FT_SetTimeouts(handle_, timeout_ms, 1000), FT_OK);
        EXPECT_EQ(FT_Write(handle_, const_cast<uint8_t *>(request.data()),
                           static_cast<DWORD>(request.size()), &done),
                  FT_OK);
        Bytes reply(want);
        DWORD got = 0;
        EXPECT_EQ(FT_Read(handle_, reply.data(), want, &got), FT_OK);
        reply.resize(got);
        return reply;
    }

    fs::path folder_;
    FT_HANDLE handle_ = nullptr;
};

TEST_F(Replay, ServesTheRecordedListAndReplies) {
    load(small_capture(1), "instant");
    DWORD count = 0;
    ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    ASSERT_EQ(count, 2u);
    FT_DEVICE_LIST_INFO_NODE nodes[2] = {};
    ASSERT_EQ(FT_GetDeviceInfoList(nodes, &count), FT_OK);
    EXPECT_STREQ(nodes[0].SerialNumber, "ORVREPLAY");
    EXPECT_STREQ(nodes[1].Description, "Cable");
    EXPECT_EQ(nodes[1].ID, 0x04036015u);
    EXPECT_EQ(nodes[1].LocId, 0x1002u);
    EXPECT_EQ(nodes[0].Flags, 1u);  // opened by this test, whatever the capture saw
    EXPECT_EQ(nodes[1].Flags, 0u);

    EXPECT_EQ(exchange({0xAA, 0xBB}, 3, 200), (Bytes{0x01, 0x02, 0x03}));
    // the recorded second request got nothing: neither does its replay
    EXPECT_EQ(exchange({0xCC}, 1, 20), Bytes{});
}

TEST_F(Replay, RecordedTimingKeepsTheReplyBack) {
    load(small_capture(150), "recorded");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange({0xAA, 0xBB}, 3, 30), Bytes{});  // not yet there
    DWORD got = 0;
    Bytes reply(3);
    ASSERT_EQ(FT_SetTimeouts(handle_, 2000, 1000), FT_OK);
    ASSERT_EQ(FT_Read(handle_, reply.data(), 3, &got), FT_OK);
    EXPECT_EQ(reply, (Bytes{0x01, 0x02, 0x03}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(120));
}

TEST_F(Replay, TheFirstDifferentRequestIsReportedAndAnsweredByNothing) {
    load(small_capture(1), "instant");
    testing::internal::CaptureStderr();
    EXPECT_EQ(exchange({0xAA, 0xBC}, 3, 20), Bytes{});
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("call 3 (FT_Write to device 0) differs at byte 1"), std::string::npos)
        << report;
    EXPECT_NE(report.find("expected: AABB"), std::string::npos) << report;
    EXPECT_NE(report.find("actual:   AABC"), std::string::npos) << report;
    // dead from then on, even for the request that was due
    EXPECT_EQ(exchange({0xAA, 0xBB}, 3, 20), Bytes{});
}

TEST_F(Replay, RequestsBeyondTheCaptureAreReported) {
    load(small_capture(1), "instant");
    exchange({0xAA, 0xBB}, 3, 50);
    exchange({0xCC}, 1, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(exchange({0x01}, 1, 1), Bytes{});
    EXPECT_NE(testing::internal::GetCapturedStderr().find("comes after the capture's last one"),
              std::string::npos);
}

TEST_F(Replay, BadScenariosAndCapturesAreRefused) {
    write_file("session.jsonl", small_capture(1));
    write_file("cut.jsonl", small_capture(1).substr(0, 150));
    const struct {
        std::string json;
        const char *error;
    } cases[] = {
        {R"({"replay": "session.jsonl", "bridges": []})", "bridges: given together with replay"},
        {R"({"replay": "session.jsonl", "replay_timing": "fast"})", "replay_timing: must be"},
        {R"({"replay_timing": "instant", "bridges": []})", "replay_timing: given without replay"},
        {R"({"replay": ""})", "replay: must name a capture file"},
        {R"({"replay": "missing.jsonl"})", "line 0: cannot be read"},
        {R"({"replay": "cut.jsonl"})", "line 2: truncated"},
        {R"({"replay": "replay.json"})", "line 1: not a capture"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.json);
        const std::string scenario = write_file("replay.json", c.json);
        EXPECT_EQ(orvsim_load_scenario_file(scenario.c_str()), -1);
        EXPECT_NE(std::string(orvsim_last_error()).find(c.error), std::string::npos)
            << orvsim_last_error();
    }
}

}  // namespace
