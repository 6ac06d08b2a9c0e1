// The program alone in a folder, with liborv and the D2XX library together in
// bin/velmar below it and nowhere else: liborv must find its driver beside
// itself on every system (on Windows only its own folder holds the DLL). On
// Linux the driver may instead be anywhere ORV_D2XX_LIBRARY names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "process_runner.h"
#include "program.h"

namespace fs = std::filesystem;

namespace {

// Runs a copy of the program alone in a folder, liborv in bin/velmar below
// it (with the D2XX library beside it when `driver_beside`), on the default
// scenario at a hundredth of its modelled times; `environment` is added.
e2e::ProcessResult run_layout(const e2e::ScratchFolder &folder, bool driver_beside,
                              e2e::EnvironmentChanges environment) {
    const fs::path build = e2e::build_folder();
    const fs::path velmar = folder.path() / "bin" / "velmar";
    fs::create_directories(velmar);
    fs::copy_file(build / e2e::kProgramName, folder.path() / e2e::kProgramName);
    fs::copy_file(build / velmar::platform::kSdkLibraryName,
                  velmar / velmar::platform::kSdkLibraryName);
    if (driver_beside)
        fs::copy_file(build / velmar::platform::kD2xxLibraryName,
                      velmar / velmar::platform::kD2xxLibraryName);

    nlohmann::json scenario = nlohmann::json::parse(std::ifstream(VELMAR_E2E_DEFAULT_SCENARIO));
    scenario["time_scale"] = 0.01;
    const fs::path scenario_file = folder.path() / "default_scaled.json";
    std::ofstream(scenario_file) << scenario.dump();
    environment.push_back({"ORVSIM_SCENARIO", scenario_file.string()});
    return e2e::run_process((folder.path() / e2e::kProgramName).string(), folder.path().string(),
                            environment, 120);
}

// The default scenario's report: two UV-VIS instruments and the NIR
// instrument, four cases each.
void expect_default_report(const e2e::ProcessResult &run) {
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_THAT(run.out, testing::StartsWith("device_count=3\n"));
    std::size_t cases = 0;
    for (std::size_t at = run.out.find("\ncase "); at != std::string::npos;
         at = run.out.find("\ncase ", at + 1))
        ++cases;
    EXPECT_EQ(cases, 12u);
}

}  // namespace

TEST(LibraryLayout, LiborvAndItsDriverInBinVelmarRunTheDefaultScenario) {
    e2e::ScratchFolder folder("velmar_layout");
    ASSERT_FALSE(folder.path().empty());
    expect_default_report(run_layout(folder, true, {{"ORV_D2XX_LIBRARY", std::nullopt}}));
}

#ifndef _WIN32
// Linux: no D2XX library beside liborv, the one ORV_D2XX_LIBRARY names
// elsewhere serves both the program's device list and liborv.
TEST(LibraryLayout, NamedDriverElsewhereServesTheListAndLiborv) {
    e2e::ScratchFolder folder("velmar_named_driver");
    ASSERT_FALSE(folder.path().empty());
    const fs::path driver = folder.path() / "drivers" / "simulated-d2xx.so";
    fs::create_directories(driver.parent_path());
    fs::copy_file(fs::path(e2e::build_folder()) / velmar::platform::kD2xxLibraryName, driver);
    const e2e::ProcessResult run =
        run_layout(folder, false, {{"ORV_D2XX_LIBRARY", driver.string()}});
    expect_default_report(run);
    // The program's own list came from that library, not liborv's fallback scan.
    EXPECT_THAT(run.err, testing::Not(testing::HasSubstr("enumeration unavailable")));
}
#endif
