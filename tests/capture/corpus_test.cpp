// The checked-in captures replayed through liborv by the benchmark program:
// the same report on every system, and a capture edited in one request byte
// stops at that byte.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "process_runner.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char *kBenchmark = "velmar_multi_device_speed.exe";
constexpr const char *kHandleSession = "orv_handle_session.exe";
#else
constexpr const char *kBenchmark = "./velmar_multi_device_speed";
constexpr const char *kHandleSession = "./orv_handle_session";
#endif

std::string read_text(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string mask_timings(const std::string &report) {
    static const std::regex timings(R"(avg_ms=\S+ min_ms=\S+ max_ms=\S+)");
    // the report's line ends are the system's
    return std::regex_replace(std::regex_replace(report, timings, "avg_ms=# min_ms=# max_ms=#"),
                              std::regex("\r\n"), "\n");
}

// The benchmark program beside this test, on the simulator's scenario.
e2e::ProcessResult run_benchmark(const std::string &scenario) {
    e2e::ProcessResult result = e2e::run_process(kBenchmark, ".",
                                                 {{"ORVSIM_SCENARIO", scenario},
                                                  {"ORV_D2XX_LIBRARY", std::nullopt},
                                                  {"ORV_TRACE_TIMING", std::nullopt}},
                                                 120);
    EXPECT_FALSE(result.timed_out);
    return result;
}

const fs::path kCorpus = ORV_CAPTURE_CORPUS;

TEST(CaptureCorpus, ABenchmarkRunOnBothProtocolsReplaysToItsReport) {
    const e2e::ProcessResult replayed = run_benchmark((kCorpus / "bench_both.json").string());
    ASSERT_EQ(replayed.exit_code, 0) << replayed.err;
    EXPECT_EQ(mask_timings(replayed.out), read_text(kCorpus / "bench_both.report"));
}

// Every handle command, a flash round trip, error replies and a timeout, on
// each protocol: the replay prints what the recorded session printed.
TEST(CaptureCorpus, EveryHandleCommandReplaysToTheRecordedResults) {
    const e2e::ProcessResult replayed =
        e2e::run_process(kHandleSession, ".",
                         {{"ORVSIM_SCENARIO", (kCorpus / "handles.json").string()},
                          {"ORV_D2XX_LIBRARY", std::nullopt}},
                         120);
    EXPECT_FALSE(replayed.timed_out);
    EXPECT_EQ(replayed.exit_code, 0) << replayed.err;
    EXPECT_EQ(std::regex_replace(replayed.out, std::regex("\r\n"), "\n"),
              read_text(kCorpus / "handles.out"));
    EXPECT_EQ(replayed.err.find("differs"), std::string::npos) << replayed.err;
}

TEST(CaptureCorpus, ARequestEditedInOneByteFailsAtThatByte) {
    const fs::path folder =
        fs::temp_directory_path() /
        ("orv_corpus_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(folder);
    // the NIR instrument's first command after the scan, its byte 1 changed
    std::istringstream in(read_text(kCorpus / "bench_both.jsonl"));
    std::ofstream out(folder / "edited.jsonl", std::ios::binary);
    std::string line;
    std::string edited_call;
    int nir_writes = 0;
    while (std::getline(in, line)) {
        if (edited_call.empty() && line.find(R"("call":"FT_Write")") != std::string::npos &&
            line.find(R"("dev":1)") != std::string::npos && ++nir_writes == 2) {
            const size_t at = line.find(R"("data":")") + 8 + 2;
            line[at] = line[at] == 'F' ? 'E' : 'F';
            edited_call = line.substr(5, line.find(',') - 5);
        }
        out << line << "\n";
    }
    out.close();
    std::ofstream(folder / "edited.json")
        << R"({"replay": "edited.jsonl", "replay_timing": "instant"})";

    const e2e::ProcessResult broken = run_benchmark((folder / "edited.json").string());
    EXPECT_NE(broken.err.find("call " + edited_call + " (FT_Write to device 1) differs at byte 1"),
              std::string::npos)
        << broken.err;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

}  // namespace
