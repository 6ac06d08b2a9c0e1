// Which D2XX provider liborv loads, seen from a program that links liborv
// alone (provider_probe): the simulator beside liborv by default, the library
// ORV_D2XX_LIBRARY names wherever it is, and without a usable provider no
// device listed and every open failing with the codes of a driver that finds
// nothing. Each run is a process of its own: a provider, once loaded, stays.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "orv.h"
#include "process_runner.h"
#include "sysfs_tree.h"

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::StartsWith;

namespace {

constexpr int kTimeoutSeconds = 60;

const fs::path &bin() {
    static const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();
    return folder;
}

// What the probe prints when no provider could be loaded.
std::string nothing_listed() {
    std::ostringstream out;
    out << "listed=0\nchip_serial=" << ORV_ERR_DEVICE_NOT_FOUND << " \nopen=" << ORV_ERR_OPEN_FAILED
        << "\nhandle_open=" << ORV_ERR_OPEN_FAILED
        << "\nopen_by_chip_serial=" << ORV_ERR_DEVICE_NOT_FOUND << "\n";
    return out.str();
}

// The transcript without its clock column: the calls, their order and bytes.
std::string calls_of(const fs::path &transcript) {
    std::ifstream in(transcript);
    std::string line, calls;
    while (std::getline(in, line)) calls += line.substr(line.find(' ') + 1) + "\n";
    return calls;
}

class ProviderChoice : public testing::Test {
protected:
    void SetUp() override {
        const auto *test = testing::UnitTest::GetInstance()->current_test_info();
        scratch = fs::temp_directory_path() / (std::string("orv_provider_") + test->name());
        fs::remove_all(scratch);
        fs::create_directories(scratch / "app");
        fs::create_directories(scratch / "drivers");
        // A program and liborv in a folder without any D2XX library.
        // liborv under its soname, the name the program needs.
        for (const char *file : {"provider_probe", ORV_SONAME})
            fs::copy_file(bin() / file, scratch / "app" / file);
        fs::copy_file(bin() / "libftd2xx.so", simulator());
    }
    void TearDown() override { fs::remove_all(scratch); }

    // A copy of the simulated provider under another name, away from liborv.
    fs::path simulator() const { return scratch / "drivers" / "simulated-d2xx.so"; }
    std::string in_bin() const { return (bin() / "provider_probe").string(); }
    std::string alone() const { return (scratch / "app" / "provider_probe").string(); }

    e2e::ProcessResult probe(const std::string &program, e2e::EnvironmentChanges environment) {
        environment.push_back({"ORVSIM_SCENARIO", std::nullopt});
        for (const char *unset : {"ORV_D2XX_LIBRARY", "ORV_DEBUG", "LD_LIBRARY_PATH"}) {
            bool given = false;
            for (const auto &change : environment) given = given || change.first == unset;
            if (!given) environment.push_back({unset, std::nullopt});
        }
        e2e::ProcessResult run =
            e2e::run_process(program, scratch.string(), environment, kTimeoutSeconds);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        return run;
    }

    fs::path scratch;
};

TEST_F(ProviderChoice, SimulatorBesideLiborvIsFoundByDefault) {
    const e2e::ProcessResult run = probe(in_bin(), {});
    EXPECT_THAT(run.out, HasSubstr("listed=4\nchip_serial=0 "));
    EXPECT_THAT(run.out, HasSubstr("\nopen=0\nhandle_open=0\nopen_by_chip_serial=0\n"));
    EXPECT_EQ(run.err, "");  // silent without ORV_DEBUG

    const e2e::ProcessResult empty = probe(in_bin(), {{"ORV_D2XX_LIBRARY", ""}});
    EXPECT_EQ(empty.out, run.out);  // an empty variable is an unset one
}

TEST_F(ProviderChoice, VariableNamesAProviderElsewhereThatGetsTheSameCalls) {
    const fs::path by_search = scratch / "by_search.txt";
    const fs::path by_variable = scratch / "by_variable.txt";
    const e2e::ProcessResult searched =
        probe(in_bin(), {{"ORVSIM_TRANSCRIPT", by_search.string()}});
    const e2e::ProcessResult named = probe(alone(), {{"ORV_D2XX_LIBRARY", simulator().string()},
                                                     {"ORVSIM_TRANSCRIPT", by_variable.string()},
                                                     {"ORV_DEBUG", "1"}});
    EXPECT_EQ(named.out, searched.out);
    EXPECT_EQ(named.err,
              "orv: D2XX provider " + simulator().string() + " (named by ORV_D2XX_LIBRARY)\n");
    const std::string calls = calls_of(by_variable);
    EXPECT_THAT(calls, StartsWith("FT_CreateDeviceInfoList status=0 count=4\n"));
    EXPECT_EQ(calls, calls_of(by_search));
}

TEST_F(ProviderChoice, WithoutAnyProviderNothingIsListedAndOpeningFails) {
    const e2e::ProcessResult quiet = probe(alone(), {});
    EXPECT_EQ(quiet.out, nothing_listed());
    EXPECT_EQ(quiet.err, "");

    // Every call tried to load again; the reason is told once.
    const e2e::ProcessResult told = probe(alone(), {{"ORV_DEBUG", "1"}});
    EXPECT_EQ(told.out, nothing_listed());
    EXPECT_THAT(told.err, StartsWith("orv: no D2XX provider: cannot load libftd2xx.so (the "
                                     "loader's search): "));
    EXPECT_EQ(std::count(told.err.begin(), told.err.end(), '\n'), 1) << told.err;

    EXPECT_EQ(probe(alone(), {{"ORV_DEBUG", "0"}}).err, "");
}

TEST_F(ProviderChoice, MissingNamedProviderDoesNotFallBackToTheSearch) {
    const std::string missing = (scratch / "drivers" / "missing.so").string();
    // The simulator beside liborv would be found by the search.
    const e2e::ProcessResult run =
        probe(in_bin(), {{"ORV_D2XX_LIBRARY", missing}, {"ORV_DEBUG", "1"}});
    EXPECT_EQ(run.out, nothing_listed());
    EXPECT_THAT(run.err, StartsWith("orv: no D2XX provider: cannot load " + missing +
                                    " (named by ORV_D2XX_LIBRARY): "));
}

TEST_F(ProviderChoice, LibraryLackingACallIsNoProvider) {
    const std::string lacking = (bin() / "liborv_lacking_provider.so").string();
    const e2e::ProcessResult run =
        probe(alone(), {{"ORV_D2XX_LIBRARY", lacking}, {"ORV_DEBUG", "1"}});
    EXPECT_EQ(run.out, nothing_listed());
    EXPECT_EQ(run.err, "orv: no D2XX provider: " + lacking +
                           " (named by ORV_D2XX_LIBRARY) is not a D2XX provider: it lacks "
                           "FT_Purge; no device is listed and opening fails until one loads\n");
}

// orv_d2xx_provider names the file liborv loaded, however it was found, or
// says why there is none; orv_list_bridges lists from that provider.
TEST_F(ProviderChoice, ProviderExportNamesTheLoadedFileOrWhyNone) {
    const e2e::EnvironmentChanges asked = {{"PROBE_PROVIDER", "1"}};
    const std::string listed = "bridges=0 4 4 ORVSIM01\n";
    const e2e::ProcessResult searched = probe(in_bin(), asked);
    ASSERT_THAT(searched.out, StartsWith("provider=0 "));
    const std::string path = searched.out.substr(11, searched.out.find('\n') - 11);
    EXPECT_TRUE(fs::equivalent(path, bin() / "libftd2xx.so")) << path;
    EXPECT_EQ(searched.out.substr(searched.out.find('\n') + 1), listed);

    e2e::EnvironmentChanges named = asked;
    named.push_back({"ORV_D2XX_LIBRARY", simulator().string()});
    EXPECT_EQ(probe(alone(), named).out, "provider=0 " + simulator().string() + "\n" + listed);

    const std::string none = "bridges=" + std::to_string(ORV_ERR_DEVICE_NOT_FOUND) + " 0 0 -\n";
    const e2e::ProcessResult missing = probe(alone(), asked);
    EXPECT_THAT(missing.out, StartsWith("provider=" + std::to_string(ORV_ERR_DEVICE_NOT_FOUND) +
                                        " cannot load libftd2xx.so (the loader's search): "));
    EXPECT_THAT(missing.out, testing::EndsWith("\n" + none));

    const std::string lacking = (bin() / "liborv_lacking_provider.so").string();
    e2e::EnvironmentChanges lacking_named = asked;
    lacking_named.push_back({"ORV_D2XX_LIBRARY", lacking});
    EXPECT_EQ(probe(alone(), lacking_named).out,
              "provider=" + std::to_string(ORV_ERR_DEVICE_NOT_FOUND) + " " + lacking +
                  " (named by ORV_D2XX_LIBRARY) is not a D2XX provider: it lacks FT_Purge\n" +
                  none);
}

TEST_F(ProviderChoice, TtyProviderListsTheBridgesOfItsSysfsTree) {
    orvtty::tree::SysfsTree tree(scratch / "tree");
    orvtty::tree::SysfsBridge bridge;
    bridge.serial = "TTYPROV1";
    bridge.product = "Probe bridge";
    bridge.node = (scratch / "no-such-tty").string();  // listed, but cannot be opened
    tree.add(bridge);
    e2e::EnvironmentChanges environment = {
        {"ORV_D2XX_LIBRARY", (bin() / "tty" / "libftd2xx.so").string()}};
    for (const auto &[name, value] : tree.environment()) environment.push_back({name, value});

    const e2e::ProcessResult run = probe(alone(), environment);
    EXPECT_THAT(run.out, StartsWith("[0] Probe bridge (SN: TTYPROV1)\nlisted=1\n"
                                    "chip_serial=0 TTYPROV1\n"));
    EXPECT_THAT(run.out, HasSubstr("\nopen=" + std::to_string(ORV_ERR_OPEN_FAILED) + "\n"));
}

}  // namespace
