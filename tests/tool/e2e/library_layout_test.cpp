// The program alone in a folder, with liborv and the D2XX library together in
// bin/velmar below it and nowhere else: liborv must find its driver beside
// itself on every system (on Windows only its own folder holds the DLL).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "process_runner.h"
#include "program.h"

namespace fs = std::filesystem;

TEST(LibraryLayout, LiborvAndItsDriverInBinVelmarRunTheDefaultScenario) {
    e2e::ScratchFolder folder("velmar_layout");
    ASSERT_FALSE(folder.path().empty());
    const fs::path build = e2e::build_folder();
    const fs::path velmar = folder.path() / "bin" / "velmar";
    fs::create_directories(velmar);
    fs::copy_file(build / e2e::kProgramName, folder.path() / e2e::kProgramName);
    for (const char *library :
         {velmar::platform::kSdkLibraryName, velmar::platform::kD2xxLibraryName})
        fs::copy_file(build / library, velmar / library);

    // The default scenario's instruments, at a hundredth of their modelled times.
    nlohmann::json scenario = nlohmann::json::parse(std::ifstream(VELMAR_E2E_DEFAULT_SCENARIO));
    scenario["time_scale"] = 0.01;
    const fs::path scenario_file = folder.path() / "default_scaled.json";
    std::ofstream(scenario_file) << scenario.dump();

    const e2e::ProcessResult run =
        e2e::run_process((folder.path() / e2e::kProgramName).string(), folder.path().string(),
                         {{"ORVSIM_SCENARIO", scenario_file.string()}}, 120);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_THAT(run.out, testing::StartsWith("device_count=3\n"));
    // Two UV-VIS instruments and the NIR instrument, four cases each.
    std::size_t cases = 0;
    for (std::size_t at = run.out.find("\ncase "); at != std::string::npos;
         at = run.out.find("\ncase ", at + 1))
        ++cases;
    EXPECT_EQ(cases, 12u);
}
