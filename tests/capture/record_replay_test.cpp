// The recording provider in front of the simulated one, driven by the
// benchmark program: the capture holds the session, and the simulator
// replaying it gives the program the same report.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>

#include <dlfcn.h>

#include <cstdlib>

#include "capture.h"
#include "ftd2xx.h"
#include "process_runner.h"

namespace {

namespace fs = std::filesystem;
using orvcapture::Call;

std::string mask_timings(const std::string &report) {
    static const std::regex timings(R"(avg_ms=\S+ min_ms=\S+ max_ms=\S+)");
    return std::regex_replace(report, timings, "avg_ms=# min_ms=# max_ms=#");
}

class RecordReplay : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("orv_record_" +
                   std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // The benchmark program against the simulator's scenario, through the
    // recorder when `capture` names a file.
    e2e::ProcessResult run(const std::string &scenario, const std::optional<std::string> &capture) {
        e2e::EnvironmentChanges env{{"ORVSIM_SCENARIO", scenario},
                                    {"ORV_TRACE_TIMING", std::nullopt}};
        if (capture) {
            env.push_back({"ORV_D2XX_LIBRARY", ORV_RECORDER});
            env.push_back({"ORV_RECORD_PROVIDER", ORV_SIMULATOR});
            env.push_back({"ORV_RECORD_FILE", *capture});
        } else {
            env.push_back({"ORV_D2XX_LIBRARY", ORV_SIMULATOR});
        }
        e2e::ProcessResult result = e2e::run_process(
            ORV_BENCHMARK, fs::path(ORV_BENCHMARK).parent_path().string(), env, 120);
        EXPECT_FALSE(result.timed_out);
        return result;
    }

    std::string replay_scenario(const std::string &capture) {
        const fs::path path = folder_ / ("replay_" + capture + ".json");
        std::ofstream(path) << R"({"replay": ")" << capture << R"(", "replay_timing": "instant"})";
        return path.string();
    }

    fs::path folder_;
};

TEST_F(RecordReplay, ABenchmarkRunReplaysToTheSameReport) {
    const std::string capture = (folder_ / "bench.jsonl").string();
    const e2e::ProcessResult recorded = run(ORV_CAPTURE_SCENARIOS "/bench_both.json", capture);
    ASSERT_EQ(recorded.exit_code, 0) << recorded.err;
    EXPECT_EQ(recorded.err.find("orv-record"), std::string::npos) << recorded.err;

    const orvcapture::Capture session = orvcapture::read_capture_file(capture);
    EXPECT_EQ(fs::path(session.header.provider), fs::path(ORV_SIMULATOR));
    size_t writes[2] = {0, 0};
    for (const orvcapture::Record &r : session.calls) {
        if (r.call == Call::Write && r.dev >= 0 && r.dev < 2) ++writes[r.dev];
    }
    EXPECT_GT(writes[0], 10u);  // both instruments were talked to
    EXPECT_GT(writes[1], 10u);

    const e2e::ProcessResult replayed = run(replay_scenario("bench.jsonl"), std::nullopt);
    ASSERT_EQ(replayed.exit_code, 0) << replayed.err;
    EXPECT_EQ(mask_timings(replayed.out), mask_timings(recorded.out));
    EXPECT_EQ(replayed.err, recorded.err);

    // one byte edited in a request: the replay stops at that call and byte
    std::ifstream in(capture);
    std::ofstream out(folder_ / "edited.jsonl");
    std::string line;
    uint64_t edited_call = 0;
    while (std::getline(in, line)) {
        const auto data = line.find(R"("call":"FT_Write")");
        if (!edited_call && data != std::string::npos &&
            line.find(R"("dev":1)") != std::string::npos) {
            const size_t at = line.find(R"("data":")") + 8 + 2 * 2;  // request byte 2
            line[at] = line[at] == '0' ? '1' : '0';
            edited_call = std::stoull(line.substr(5));
        }
        out << line << "\n";
    }
    out.close();
    ASSERT_NE(edited_call, 0u);
    const e2e::ProcessResult broken = run(replay_scenario("edited.jsonl"), std::nullopt);
    EXPECT_NE(broken.err.find("call " + std::to_string(edited_call) +
                              " (FT_Write to device 1) differs at byte 2"),
              std::string::npos)
        << broken.err;
}

TEST_F(RecordReplay, AnUnwritableCaptureIsToldOnceAndTheSessionGoesOn) {
    const e2e::ProcessResult plain = run(ORV_CAPTURE_SCENARIOS "/bench_uv.json", std::nullopt);
    const e2e::ProcessResult unrecorded =
        run(ORV_CAPTURE_SCENARIOS "/bench_uv.json", (folder_ / "no" / "such.jsonl").string());
    EXPECT_EQ(unrecorded.exit_code, plain.exit_code);
    EXPECT_EQ(mask_timings(unrecorded.out), mask_timings(plain.out));
    const std::string told = "orv-record: capture " + (folder_ / "no" / "such.jsonl").string() +
                             ": cannot be opened for writing";
    const size_t first = unrecorded.err.find(told);
    EXPECT_NE(first, std::string::npos) << unrecorded.err;
    EXPECT_EQ(unrecorded.err.find("orv-record", first + 1), std::string::npos) << unrecorded.err;
}

TEST_F(RecordReplay, TheRecorderNeverForwardsToItself) {
    e2e::EnvironmentChanges env{{"ORV_D2XX_LIBRARY", ORV_RECORDER},
                                {"ORV_RECORD_PROVIDER", ORV_RECORDER},
                                {"ORV_RECORD_FILE", (folder_ / "self.jsonl").string()}};
    const e2e::ProcessResult result =
        e2e::run_process(ORV_BENCHMARK, fs::path(ORV_BENCHMARK).parent_path().string(), env, 60);
    EXPECT_NE(result.err.find("is this recorder itself"), std::string::npos) << result.err;
    // what the program saw (no device) is still recorded
    const orvcapture::Capture session =
        orvcapture::read_capture_file((folder_ / "self.jsonl").string());
    ASSERT_FALSE(session.calls.empty());
    EXPECT_EQ(session.calls[0].status, 2u);  // FT_DEVICE_NOT_FOUND
}

// In a program that links a provider itself (as the benchmarks link the
// simulator), that provider is what FT_Open names globally; the recorder
// must still forward to it, not take it for itself.
TEST_F(RecordReplay, ForwardsToAProviderTheProgramItselfLinks) {
    volatile auto linked = &FT_Open;  // keeps this program linked to the simulator
    ASSERT_NE(linked, nullptr);
    const std::string capture = (folder_ / "linked.jsonl").string();
    ::setenv("ORV_RECORD_PROVIDER", ORV_SIMULATOR, 1);
    ::setenv("ORV_RECORD_FILE", capture.c_str(), 1);
    ::unsetenv("ORVSIM_SCENARIO");  // the built-in default: four bridges
    void *recorder = dlopen(ORV_RECORDER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(recorder, nullptr) << dlerror();
    const auto create =
        reinterpret_cast<FT_STATUS (*)(DWORD *)>(dlsym(recorder, "FT_CreateDeviceInfoList"));
    ASSERT_NE(create, nullptr);
    DWORD count = 0;
    EXPECT_EQ(create(&count), static_cast<FT_STATUS>(FT_OK));
    EXPECT_EQ(count, 4u);
}

}  // namespace
