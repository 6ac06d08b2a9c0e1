// Runs the real benchmark program against simulated instruments and compares
// its whole standard output, standard error and exit status.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "paths.h"
#include "platform.h"
#include "process_runner.h"
#include "program.h"
#include "report_text.h"

namespace {

struct ProgramRun {
    int exit_code;
    std::string out;  // timing figures masked
    std::string err;
};

// Runs the program from its build folder with the given simulator scenario.
ProgramRun run_with_scenario(const std::string &scenario) {
    const std::string bin = e2e::build_folder();
    const e2e::ProcessResult result = e2e::run_process(
        velmar::join_path(bin, e2e::kProgramName), bin,
        {{"ORVSIM_SCENARIO", std::string(VELMAR_E2E_SCENARIOS) + "/" + scenario + ".json"},
         {"ORV_TRACE_TIMING", std::nullopt}},
        120);
    EXPECT_FALSE(result.timed_out);
    return {result.exit_code, report_text::mask_timings(result.out), result.err};
}

constexpr const char *kUvInfo = "info model=SIM-UV16 serial=SN1 firmware=01.01.03.00\n";
constexpr const char *kUvTable = "wavelengths count=16 range=300.00->307.50\n";
constexpr const char *kNirInfo = "info model=NIR-T3-0256 serial=NIR firmware=SIMULATED NIR 1.0\n";
constexpr const char *kNirTable = "wavelengths count=16 range=900.00->1050.00\n";

// One case line of a 16-pixel instrument, timing masked.
std::string case_line(int index, const std::string &integration_readback,
                      const std::string &smoothing = "Ok(())") {
    const char *settings[] = {"10ms average=1", "50ms average=1", "200ms average=1",
                              "50ms average=3"};
    const char *integration_us[] = {"10000", "50000", "200000", "50000"};
    const char *averages[] = {"1", "1", "1", "3"};
    const char *iterations[] = {"30", "20", "10", "10"};
    const std::string readback = integration_readback.empty()
                                     ? "Some(" + std::string(integration_us[index]) + ")"
                                     : integration_readback;
    return std::string("case integration=") + settings[index] + " readback=" + readback +
           "us/Some(" + averages[index] + ") smoothing_set=" + smoothing +
           " iter=" + iterations[index] + " len=16 avg_ms=# min_ms=# max_ms=#\n";
}

// The report of one instrument whose four cases all ran.
std::string device_report(int position, const std::string &chip_serial, const std::string &info,
                          const std::string &table, const std::string &integration_readback = "") {
    std::string report = "\n=== device " + std::to_string(position) +
                         " chip_serial=" + chip_serial + " ===\n" + info + table;
    for (int i = 0; i < 4; ++i) report += case_line(i, integration_readback);
    return report;
}

std::string probe_line(int index, const std::string &chip_serial, const std::string &loc,
                       const std::string &description = "SIMULATED UV-VIS Spectrometer") {
    return "[velmar:scan] probe Velmar FTDI device index=" + std::to_string(index) +
           " chip_serial=" + chip_serial + " description=" + description +
           " id=0x04036001 flags=0x00000000 type=0x00000005 loc=0x" + loc + "\n";
}

}  // namespace

TEST(Program, NoInstrument) {
    const ProgramRun run = run_with_scenario("empty");
    EXPECT_EQ(run.out, "device_count=0\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_code, 0);
}

TEST(Program, UnusableDeviceListFallsBackToTheLibraryScan) {
    const ProgramRun run = run_with_scenario("list_failure");
    EXPECT_EQ(run.out, "device_count=0\n");
    EXPECT_EQ(run.err,
              "[velmar:scan] FTDI descriptor enumeration unavailable, falling back to SDK probes: "
              "SdkInternalError\n");
    EXPECT_EQ(run.exit_code, 0);
}

TEST(Program, DescriptionThatIsNotUtf8FallsBackAndStillFindsEveryInstrument) {
    const ProgramRun run = run_with_scenario("non_utf8_description");
    EXPECT_EQ(run.out,
              "[0] SIM\xFFUV (SN: ORVE2E01)\n"  // the library's own listing
              "[1] SIMULATED UV-VIS Spectrometer (SN: ORVE2E02)\n"
              "device_count=2\n"
              "[0] id=ORVE2E01 label=Velmar SIM-UV16 SN1 serial=ORVE2E01\n"
              "[1] id=ORVE2E02 label=Velmar SIM-UV16 SN1 serial=ORVE2E02\n" +
                  device_report(0, "ORVE2E01", kUvInfo, kUvTable) +
                  device_report(1, "ORVE2E02", kUvInfo, kUvTable));
    EXPECT_EQ(run.err,
              "[velmar:scan] FTDI descriptor enumeration unavailable, falling back to SDK probes: "
              "TransportError\n"
              "[velmar:scan] fallback SDK probe index=0 chip_serial=ORVE2E01\n"
              "[velmar:scan] fallback SDK probe index=1 chip_serial=ORVE2E02\n");
    EXPECT_EQ(run.exit_code, 0);
}

TEST(Program, ScanSkipsForeignAndShortInstrumentsAndLabelsTheRest) {
    const ProgramRun run = run_with_scenario("labels");
    EXPECT_EQ(
        run.out,
        "device_count=4\n"
        "[0] id=ORVE2E16 label=Velmar SIM-UV16 SN123 serial=ORVE2E16\n"
        "[1] id=ORVE2ECS label=Velmar SIM-UV16 (ORVE2ECS) serial=ORVE2ECS\n"
        "[2] id=ORVE2EBL label=Velmar SIM-UV16 (ORVE2EBL) serial=ORVE2EBL\n"
        "[3] id=ORVE2ENR label=Velmar NIR-T3-0256 (ORVE2ENR) serial=ORVE2ENR\n" +
            device_report(0, "ORVE2E16", "info model=SIM-UV16 serial=SN123 firmware=01.01.03.00\n",
                          kUvTable) +
            device_report(1, "ORVE2ECS",
                          "info model=SIM-UV16 serial=orve2ecs firmware=01.01.03.00\n", kUvTable) +
            device_report(2, "ORVE2EBL", "info model=SIM-UV16 serial= firmware=01.01.03.00\n",
                          kUvTable) +
            device_report(3, "ORVE2ENR", kNirInfo, kNirTable));
    EXPECT_EQ(
        run.err,
        "[velmar:scan] skip non-Velmar FTDI device index=0 chip_serial=ORVE2EFX "
        "description=SIMULATED Serial "
        "Cable id=0x04036015 flags=0x00000000 type=0x00000005 loc=0x00000021\n" +
            probe_line(1, "ORVE2E15", "00001002") +
            "[velmar:scan] ignored Velmar VID/PID device chip_serial=ORVE2E15: DeviceNotFound\n" +
            probe_line(2, "ORVE2E16", "00001003") + probe_line(3, "ORVE2ECS", "00001004") +
            probe_line(4, " ", "00001005") + probe_line(5, "ORVE2EBL", "00001006") +
            probe_line(6, "ORVE2ENR", "00001007", "SIMULATED NIR Spectrometer"));
    EXPECT_EQ(run.exit_code, 0);
}

TEST(Program, FailingReadBackPrintsNone) {
    const ProgramRun run = run_with_scenario("readback_failure");
    EXPECT_EQ(run.out,
              "device_count=1\n[0] id=ORVE2E01 label=Velmar SIM-UV16 SN1 serial=ORVE2E01\n" +
                  device_report(0, "ORVE2E01", kUvInfo, kUvTable, "None"));
    EXPECT_EQ(run.exit_code, 0);
}

TEST(Program, TimedReadFailingMidCaseAborts) {
    const ProgramRun run = run_with_scenario("read_failure");
    EXPECT_EQ(run.out,
              "device_count=1\n[0] id=ORVE2E01 label=Velmar SIM-UV16 SN1 serial=ORVE2E01\n"
              "\n=== device 0 chip_serial=ORVE2E01 ===\n" +
                  std::string(kUvInfo) + kUvTable + case_line(0, ""));
    EXPECT_EQ(run.err, probe_line(0, "ORVE2E01", "00001001") +
                           "read spectrum intensities failed: Timeout\n");
    EXPECT_EQ(run.exit_code, 101);
}

TEST(Program, SecondInstrumentFailingToOpenKeepsTheFirstReport) {
    // The second bridge opens for the scan's probe and refuses every later open.
    const ProgramRun run = run_with_scenario("second_device_failure");
    EXPECT_EQ(run.out,
              "device_count=2\n"
              "[0] id=ORVE2E01 label=Velmar SIM-UV16 SN1 serial=ORVE2E01\n"
              "[1] id=ORVE2E02 label=Velmar SIM-UV16 SN2 serial=ORVE2E02\n" +
                  device_report(0, "ORVE2E01", kUvInfo, kUvTable) +
                  "\n=== device 1 chip_serial=ORVE2E02 ===\n");
    EXPECT_THAT(run.err, testing::EndsWith("\nfailed to open Velmar device: SdkInternalError\n"));
    EXPECT_EQ(run.exit_code, 101);
}
