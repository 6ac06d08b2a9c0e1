// The benchmark under load: 64 instruments, the most the library lists, in
// one run; and a 65th bridge, which the library's own listing does not reach.
#include <gtest/gtest.h>

#include <string>

#include "program_runs.h"

using namespace hardening;

namespace {

std::string serial(int position) {
    const std::string number = std::to_string(position + 1);
    return "ORVLOAD" + std::string(2 - std::min<std::size_t>(2, number.size()), '0') + number;
}

TEST(Load, SixtyFourInstrumentsGiveAFullReport) {
    const e2e::ProcessResult run = run_program(scenario("load_64"));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out.rfind("device_count=64\n", 0), 0u);
    EXPECT_EQ(count_of(run.out, "\n=== device "), 64);
    EXPECT_EQ(count_of(run.out, "\ncase integration="), 4 * 64);
    EXPECT_EQ(count_of(run.out, " len=16 "), 4 * 64);
    // The report ends with the last case of the last instrument.
    const std::string last = "\n=== device 63 chip_serial=" + serial(63) + " ===\n";
    ASSERT_NE(run.out.find(last), std::string::npos);
    EXPECT_EQ(count_of(run.out.substr(run.out.find(last)), "\ncase integration="), 4);
    EXPECT_EQ(count_of(run.err, "[velmar:scan] probe Velmar FTDI device"), 64);
    EXPECT_EQ(count_of(run.err, "ignored"), 0);
}

TEST(Load, SixtyFifthBridgeIsBeyondTheLibrarysListing) {
    const e2e::ProcessResult run = run_program(scenario("load_65"));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out.rfind("device_count=64\n", 0), 0u);
    EXPECT_EQ(count_of(run.out, "\n=== device "), 64);
    // The program's own driver list has all 65; opening the last through
    // liborv finds no such chip serial among the 64 it lists.
    EXPECT_EQ(count_of(run.err, "[velmar:scan] probe Velmar FTDI device"), 65);
    EXPECT_NE(run.err.find("[velmar:scan] ignored Velmar VID/PID device chip_serial=" + serial(64) +
                           ": DeviceNotFound\n"),
              std::string::npos);
}

}  // namespace
