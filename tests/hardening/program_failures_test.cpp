// The benchmark program run whole into the failures of its required steps:
// nothing to load, no listing at all, unreadable identity, a refused table
// and setting; and a driver list that cannot be created, which is an empty
// list rather than a failure.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "program_runs.h"

namespace fs = std::filesystem;
using namespace hardening;
using testing::EndsWith;

namespace {

const std::string kProbeLine =
    "[velmar:scan] probe Velmar FTDI device index=0 chip_serial=ORVHRD01 description=SIMULATED "
    "UV-VIS "
    "Spectrometer id=0x04036001 flags=0x00000000 type=0x00000005 loc=0x00001001\n";

// A copy of the program alone in a scratch folder.
std::string copy_program(const ScratchFolder &folder) {
    const std::string copy = folder.file(program_file_name());
    fs::copy_file(fs::path(bin_directory()) / program_file_name(), copy);
    return copy;
}

TEST(ProgramFailures, NoLibraryToLoadAbortsBeforeAnything) {
    ScratchFolder folder("no_library");
    const e2e::ProcessResult run =
        run_program(scenario("list_not_created"), {}, copy_program(folder));
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, EndsWith("failed to load Velmar SDK: SdkInternalError\n"));
    EXPECT_EQ(run.exit_code, 101);
}

// A library without a device listing of its own, next to a driver that is
// of no use (a file that does not load, or a library without the two list
// calls): neither list can be had.
TEST(ProgramFailures, NoDeviceListAtAllAbortsTheScan) {
    for (const bool driver_loads : {false, true}) {
        SCOPED_TRACE(driver_loads ? "driver without list calls" : "driver that does not load");
        ScratchFolder folder("no_list");
        const std::string program = copy_program(folder);
        const fs::path empty_library = fs::path(bin_directory()) / HARDENING_EMPTY_SDK;
        fs::copy_file(empty_library, folder.file(sdk_file_name()));
        if (driver_loads) {
            fs::copy_file(empty_library, folder.file(driver_file_name()));
        } else {
            std::ofstream(folder.file(driver_file_name())) << "not a library";
        }
        const e2e::ProcessResult run = run_program(scenario("list_not_created"), {}, program);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(
            run.err,
            "[velmar:scan] FTDI descriptor enumeration unavailable, falling back to SDK probes: "
            "SdkInternalError\n"
            "failed to scan Velmar devices: SdkInternalError\n");
        EXPECT_EQ(run.exit_code, 101);
    }
}

TEST(ProgramFailures, DriverListThatCannotBeCreatedIsEmpty) {
    const e2e::ProcessResult run = run_program(scenario("list_not_created"));
    EXPECT_EQ(run.out, "device_count=0\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_code, 0);
}

// The model text is not UTF-8 by the time the benchmark reads it (the scan's
// probe still read it whole), in the record and in the separate read alike.
TEST(ProgramFailures, UnreadableIdentityAborts) {
    const e2e::ProcessResult run = run_program(scenario("identity_unreadable"));
    EXPECT_THAT(run.out, EndsWith("\n=== device 0 chip_serial=ORVHRD01 ===\n"));
    EXPECT_EQ(run.err, kProbeLine + "failed to read device info: TransportError\n");
    EXPECT_EQ(run.exit_code, 101);
}

TEST(ProgramFailures, RefusedWavelengthTableAborts) {
    const e2e::ProcessResult run = run_program(scenario("table_refused"));
    EXPECT_THAT(run.out, EndsWith("info model=SIM-UV16 serial=SN1 firmware=01.01.03.00\n"));
    EXPECT_EQ(run.err, kProbeLine + "failed to read wavelengths: TransportError\n");
    EXPECT_EQ(run.exit_code, 101);
}

TEST(ProgramFailures, RefusedAverageNumberAborts) {
    const e2e::ProcessResult run = run_program(scenario("average_refused"));
    EXPECT_THAT(run.out, EndsWith("info model=SIM-UV16 serial=SN1 firmware=01.01.03.00\n"
                                  "wavelengths count=16 range=300.00->307.50\n"));
    EXPECT_EQ(run.err, kProbeLine + "set average count failed: TransportError\n");
    EXPECT_EQ(run.exit_code, 101);
}

}  // namespace
