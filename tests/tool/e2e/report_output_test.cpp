// The real program with a standard output that refuses the report: it must
// end with the failed step's message and exit status 101, never with 0.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "paths.h"
#include "process_runner.h"
#include "program.h"

namespace {

#ifdef _WIN32
constexpr const char *kWindowsSkip =
    "Windows has no full device and the process runner captures standard output into a "
    "file; the final flush's check runs in velmar_tool_tests: ReportOutput.*";
#else
// Runs the program (no instrument) through a wrapper script that gives it the
// standard output under test; the wrapper exits with the program's status.
e2e::ProcessResult run_behind(const std::string &wrapper_name, const std::string &wrapper) {
    e2e::ScratchFolder folder("velmar_report_output");
    if (folder.path().empty()) return {};  // exit code -1: the test fails
    const std::filesystem::path script = folder.path() / wrapper_name;
    std::ofstream(script) << wrapper;
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const std::string bin = e2e::build_folder();
    return e2e::run_process(
        script.string(), bin,
        {{"VELMAR_PROGRAM", velmar::join_path(bin, e2e::kProgramName)},
         {"ORVSIM_SCENARIO", std::string(VELMAR_E2E_SCENARIOS) + "/empty.json"}},
        60);
}
#endif

}  // namespace

TEST(ReportOutput, FullDeviceEndsTheRunWithItsMessage) {
#ifdef _WIN32
    GTEST_SKIP() << kWindowsSkip;
#else
    const e2e::ProcessResult run =
        run_behind("to_full_device.sh", "#!/bin/sh\nexec \"$VELMAR_PROGRAM\" >/dev/full\n");
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.err, "failed to write report: TransportError\n");
    EXPECT_EQ(run.exit_code, 101);
#endif
}

TEST(ReportOutput, ClosedPipeEndsTheRunWithItsMessage) {
#ifdef _WIN32
    GTEST_SKIP() << kWindowsSkip;
#else
    // The pipe's reading end is closed before the program starts, so its
    // writes fail (and would raise SIGPIPE if the program did not ignore it).
    const e2e::ProcessResult run = run_behind(
        "to_closed_pipe.py",
        "#!/usr/bin/python3\n"
        "import os, subprocess, sys\n"
        "reader, writer = os.pipe()\n"
        "os.close(reader)\n"
        "code = subprocess.run([os.environ['VELMAR_PROGRAM']], stdout=writer).returncode\n"
        "sys.exit(code if code >= 0 else 128 - code)\n");
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.err, "failed to write report: TransportError\n");
    EXPECT_EQ(run.exit_code, 101);
#endif
}
