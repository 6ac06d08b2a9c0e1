// Nothing is left open: after the program's run every handle it opened is
// closed again (as the simulator's transcript shows), and after a scan and
// a benchmark run in this process no handle is open and the scan's own load
// of the driver library is released.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "bench.h"
#include "paths.h"
#include "program_runs.h"
#include "provider_control.h"
#include "scan.h"
#include "transcript_line.h"

using namespace hardening;

namespace {

using orvtest::TranscriptLine;

TEST(Leftovers, EveryHandleTheProgramOpensIsClosed) {
    ScratchFolder folder("transcript");
    const std::string transcript = folder.file("transcript.txt");
    const e2e::ProcessResult run =
        run_program(scenario("leftovers"), {{"ORVSIM_TRANSCRIPT", transcript}});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_NE(run.out.find("device_count=2\n"), std::string::npos) << run.out;

    std::ifstream lines(transcript);
    std::map<std::string, int> open;  // bridge -> handles open on it
    int opens = 0;
    int closes = 0;
    for (std::string line; std::getline(lines, line);) {
        const TranscriptLine t = orvtest::parse_transcript_line(line);
        EXPECT_NE(t.fields.at("status"), "1") << "call on an invalid handle: " << line;
        if (t.fields.at("status") != "0") continue;
        if (t.call == "FT_Open") {
            EXPECT_EQ(open[t.fields.at("dev")]++, 0) << line;
            ++opens;
        } else if (t.call == "FT_Close") {
            EXPECT_EQ(open[t.fields.at("dev")]--, 1) << line;
            ++closes;
        }
    }
    // Each instrument is opened by its probe and by its benchmark; the
    // bridge with nothing behind it and the one with too short a table by
    // their probes only.
    EXPECT_EQ(opens, 2 * 2 + 2);
    EXPECT_EQ(closes, opens);
    for (const auto &[bridge, handles] : open) EXPECT_EQ(handles, 0) << "bridge " << bridge;
}

TEST(Leftovers, ScanAndBenchmarkInThisProcessLeaveNothingOpen) {
    const int modules_before = loaded_provider_modules();
    {
        auto sdk =
            velmar::VelmarSdk::load_from({velmar::join_path(bin_directory(), sdk_file_name())});
        ASSERT_TRUE(sdk);
        const ProviderControl provider;
        ASSERT_EQ(provider.load_scenario_file(scenario("leftovers")), 0);
        EXPECT_EQ(loaded_provider_modules(), modules_before + 1);

        std::ostringstream diagnostics;
        auto entries = velmar::scan_devices(sdk.value(), diagnostics);
        ASSERT_TRUE(entries);
        EXPECT_EQ(entries.value().size(), 2u);
        EXPECT_EQ(provider.open_handles(), 0);
        EXPECT_EQ(loaded_provider_modules(), modules_before + 1);  // one copy, shared with liborv

        std::ostringstream report;
        ASSERT_TRUE(velmar::report_devices(sdk.value(), entries.value(), report));
        EXPECT_EQ(provider.open_handles(), 0);
    }
#ifdef _WIN32
    // With liborv released the last reference to the provider is gone. (The
    // Linux loader keeps the provider mapped for good: its C++ code carries
    // unique symbols, which make a library non-unloadable.)
    EXPECT_EQ(loaded_provider_modules(), modules_before);
#endif
}

}  // namespace
