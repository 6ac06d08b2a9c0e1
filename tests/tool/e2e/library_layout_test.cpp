// The program alone in a folder, with liborv and the D2XX library together in
// bin/velmar below it and nowhere else: liborv must find its driver beside
// itself on every system (on Windows only its own folder holds the DLL). On
// Linux the driver may instead be anywhere ORV_D2XX_LIBRARY names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "process_runner.h"
#include "program.h"

namespace fs = std::filesystem;

namespace {

// Where the D2XX library lies around a copy of the program (alone in a
// folder) and liborv (in bin/velmar below it).
struct Layout {
    bool driver_beside_liborv = false;
    bool driver_beside_program = false;
    bool directory_named_like_driver_beside_liborv = false;
    bool listing_only_driver_beside_liborv = false;  // Windows only
    bool driver_on_path = false;                     // in a folder PATH names, Windows only
};

// Lays out the folder and runs the program on the default scenario without
// its NIR instrument, at a hundredth of its modelled times; `environment` is
// added. (Where the libraries are found does not depend on the protocol; the
// NIR instrument's replies end with idle gaps the host waits out in full.)
e2e::ProcessResult run_layout(const e2e::ScratchFolder &folder, const Layout &layout,
                              e2e::EnvironmentChanges environment) {
    const fs::path build = e2e::build_folder();
    const fs::path velmar = folder.path() / "bin" / "velmar";
    const fs::path driver = build / velmar::platform::kD2xxLibraryName;
    fs::create_directories(velmar);
    fs::copy_file(build / e2e::kProgramName, folder.path() / e2e::kProgramName);
    fs::copy_file(build / velmar::platform::kSdkLibraryName,
                  velmar / velmar::platform::kSdkLibraryName);
    if (layout.driver_beside_liborv)
        fs::copy_file(driver, velmar / velmar::platform::kD2xxLibraryName);
    if (layout.driver_beside_program)
        fs::copy_file(driver, folder.path() / velmar::platform::kD2xxLibraryName);
    if (layout.directory_named_like_driver_beside_liborv)
        fs::create_directory(velmar / velmar::platform::kD2xxLibraryName);
#ifdef _WIN32
    if (layout.driver_on_path) {
        const fs::path drivers = folder.path() / "drivers";
        fs::create_directory(drivers);
        fs::copy_file(driver, drivers / velmar::platform::kD2xxLibraryName);
        const char *path = std::getenv("PATH");
        environment.push_back({"PATH", drivers.string() + (path ? ";" + std::string(path) : "")});
    }
#endif
#ifdef VELMAR_E2E_LISTING_ONLY_D2XX
    if (layout.listing_only_driver_beside_liborv) {
        // Its list comes from a second copy of the simulated provider.
        const fs::path source = folder.path() / "listing_source.dll";
        fs::copy_file(driver, source);
        fs::copy_file(VELMAR_E2E_LISTING_ONLY_D2XX, velmar / velmar::platform::kD2xxLibraryName);
        environment.push_back({"ORV_TEST_LISTING_SOURCE", source.string()});
    }
#endif

    nlohmann::json scenario = nlohmann::json::parse(std::ifstream(VELMAR_E2E_DEFAULT_SCENARIO));
    scenario["time_scale"] = 0.01;
    auto &bridges = scenario["bridges"];
    bridges.erase(std::remove_if(bridges.begin(), bridges.end(),
                                 [](const nlohmann::json &bridge) {
                                     return bridge.value("description", "").find("NIR") !=
                                            std::string::npos;
                                 }),
                  bridges.end());
    const fs::path scenario_file = folder.path() / "default_scaled.json";
    std::ofstream(scenario_file) << scenario.dump();
    environment.push_back({"ORVSIM_SCENARIO", scenario_file.string()});
    return e2e::run_process((folder.path() / e2e::kProgramName).string(), folder.path().string(),
                            environment, 120);
}

// The report of the two UV-VIS instruments, four cases each (the USB serial
// converter is no instrument).
void expect_default_report(const e2e::ProcessResult &run) {
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    // (After the fallback listing's lines when the program could not list itself.)
    EXPECT_THAT("\n" + run.out, testing::HasSubstr("\ndevice_count=2\n")) << run.out;
    std::size_t cases = 0;
    for (std::size_t at = run.out.find("\ncase "); at != std::string::npos;
         at = run.out.find("\ncase ", at + 1))
        ++cases;
    EXPECT_EQ(cases, 8u);
}

}  // namespace

TEST(LibraryLayout, LiborvAndItsDriverInBinVelmarRunTheDefaultScenario) {
    e2e::ScratchFolder folder("velmar_layout");
    ASSERT_FALSE(folder.path().empty());
    expect_default_report(
        run_layout(folder, {.driver_beside_liborv = true}, {{"ORV_D2XX_LIBRARY", std::nullopt}}));
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
    const e2e::ProcessResult run = run_layout(folder, {}, {{"ORV_D2XX_LIBRARY", driver.string()}});
    expect_default_report(run);
    // The program's own list came from that library, not liborv's fallback scan.
    EXPECT_THAT(run.err, testing::Not(testing::HasSubstr("enumeration unavailable")));
}
#else
// Windows: liborv is loaded with the standard search for its dependencies
// (the program's folder first, the system folders, the current folder,
// PATH); its own folder is searched only when the driver is found nowhere
// there. So a driver beside the program is liborv's, whatever lies beside
// liborv: a library that can only list, or a directory of the driver's name.
TEST(LibraryLayout, DriverBesideTheProgramServesLiborv) {
    const struct {
        const char *name;
        Layout layout;
    } rows[] = {
        {"nothing beside liborv", {.driver_beside_program = true}},
        {"a directory named like the driver beside liborv",
         {.driver_beside_program = true, .directory_named_like_driver_beside_liborv = true}},
        {"a listing-only driver beside liborv",
         {.driver_beside_program = true, .listing_only_driver_beside_liborv = true}},
        {"the driver only on PATH", {.driver_on_path = true}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        e2e::ScratchFolder folder("velmar_layout");
        ASSERT_FALSE(folder.path().empty());
        const e2e::ProcessResult run = run_layout(folder, row.layout, {});
        expect_default_report(run);
        // The listing-only driver is what the program lists through.
        if (row.layout.listing_only_driver_beside_liborv) {
            EXPECT_THAT(run.err, testing::Not(testing::HasSubstr("enumeration unavailable")));
        }
    }
}
#endif
