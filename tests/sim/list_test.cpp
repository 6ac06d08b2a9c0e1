// Bridge list, open/close rules and scenario loading.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "sim_support.h"

using namespace simtest;

namespace {

class SimList : public ::testing::Test {
protected:
    void TearDown() override {
        set_env("ORVSIM_SCENARIO", nullptr);
        orvsim_load_default_scenario();
    }
};

TEST_F(SimList, DefaultScenarioHasThreeInstrumentsAndAForeignBridge) {
    set_env("ORVSIM_SCENARIO", nullptr);
    ASSERT_EQ(orvsim_load_default_scenario(), 0) << orvsim_last_error();
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes = device_list();
    ASSERT_EQ(nodes.size(), 4u);
    const char *serials[] = {"ORVSIM01", "ORVSIM02", "ORVSIM03", "ORVSIM04"};
    for (size_t i = 0; i < nodes.size(); ++i) {
        EXPECT_STREQ(nodes[i].SerialNumber, serials[i]);
        EXPECT_NE(std::string(nodes[i].Description).find("SIMULATED"), std::string::npos);
        EXPECT_EQ(nodes[i].ID, i < 3 ? 0x04036001u : 0x04036015u);
        EXPECT_EQ(nodes[i].Type, 5u);
        EXPECT_EQ(nodes[i].Flags, 0u);
        EXPECT_EQ(nodes[i].ftHandle, nullptr);
        if (i > 0) {
            EXPECT_NE(nodes[i].LocId, nodes[i - 1].LocId);
        }
    }

    // The example file documents the same scenario.
    ASSERT_EQ(orvsim_load_scenario_file(ORVSIM_SCENARIO_DIR "/default.json"), 0)
        << orvsim_last_error();
    std::vector<FT_DEVICE_LIST_INFO_NODE> from_file = device_list();
    ASSERT_EQ(from_file.size(), nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        EXPECT_EQ(std::memcmp(&from_file[i], &nodes[i], sizeof nodes[i]), 0) << i;
    }
}

TEST_F(SimList, EveryExampleScenarioLoads) {
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(ORVSIM_SCENARIO_DIR)) {
        if (entry.path().extension() != ".json") continue;
        ++files;
        EXPECT_EQ(orvsim_load_scenario_file(entry.path().string().c_str()), 0)
            << orvsim_last_error();
    }
    EXPECT_GE(files, 1);
}

TEST_F(SimList, OpenCloseAndHandleRules) {
    load(R"({"bridges": [
        {"serial": "A", "instrument": {"model": "SIM-UV1024"}},
        {"serial": "BROKEN", "open_status": 3}]})");
    FT_HANDLE h = nullptr, second = nullptr;
    EXPECT_EQ(FT_Open(1, &h), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(FT_Open(2, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(FT_Open(-1, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(FT_Open(0, nullptr), FT_INVALID_PARAMETER);

    ASSERT_EQ(FT_Open(0, &h), FT_OK);
    EXPECT_EQ(FT_Open(0, &second), FT_DEVICE_NOT_OPENED);  // one handle per bridge
    EXPECT_EQ(orvsim_open_handle_count(), 1);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes = device_list();
    EXPECT_EQ(nodes[0].Flags & FT_FLAGS_OPENED, FT_FLAGS_OPENED);
    EXPECT_EQ(nodes[0].ftHandle, h);
    DWORD n = 0;
    uint8_t byte = 0;
    EXPECT_EQ(FT_Read(h, &byte, 1, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Write(h, nullptr, 4, &n), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_SetUSBParameters(h, 100, 100), FT_INVALID_PARAMETER);  // not a multiple of 64
    EXPECT_EQ(FT_SetUSBParameters(h, 65536, 65536), FT_OK);

    EXPECT_EQ(FT_Close(h), FT_OK);
    EXPECT_EQ(orvsim_open_handle_count(), 0);
    // A closed handle is refused by every call, also after the bridge reopens.
    ASSERT_EQ(FT_Open(0, &second), FT_OK);
    EXPECT_NE(second, h);
    EXPECT_EQ(FT_Close(h), FT_INVALID_HANDLE);
    EXPECT_EQ(FT_Read(h, &byte, 1, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(FT_Write(h, &byte, 1, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(FT_Purge(h, 3), FT_INVALID_HANDLE);
    EXPECT_EQ(FT_ResetDevice(h), FT_INVALID_HANDLE);
    EXPECT_EQ(FT_SetTimeouts(h, 1, 1), FT_INVALID_HANDLE);
    EXPECT_EQ(FT_SetLatencyTimer(h, 1), FT_INVALID_HANDLE);
    // Loading a scenario closes every handle.
    load(R"({"bridges": [{"serial": "A"}]})");
    EXPECT_EQ(orvsim_open_handle_count(), 0);
    EXPECT_EQ(FT_Close(second), FT_INVALID_HANDLE);
}

TEST_F(SimList, MoreThan64BridgesAndRawDescriptions) {
    load(R"({"bridges": [
        {"serial": "ODD", "description_hex": "53494D20FF FE 41"},
        {"serial": "MANY", "description": "SIMULATED Serial Cable", "product": "6015", "repeat": 70}]})");
    DWORD n = 0;
    ASSERT_EQ(FT_CreateDeviceInfoList(&n), FT_OK);
    EXPECT_EQ(n, 71u);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(64);
    DWORD capacity = 64;
    ASSERT_EQ(FT_GetDeviceInfoList(nodes.data(), &capacity), FT_OK);
    EXPECT_EQ(capacity, 64u);  // never more records than the caller has room for
    EXPECT_STREQ(nodes[0].Description,
                 "SIM \xFF\xFE"
                 "A");
    EXPECT_STREQ(nodes[1].SerialNumber, "MANY01");
    EXPECT_STREQ(nodes[63].SerialNumber, "MANY63");
    FT_HANDLE h = nullptr;
    ASSERT_EQ(FT_Open(70, &h), FT_OK);  // beyond the first 64 still opens
    FT_Close(h);
}

TEST_F(SimList, TheLoadedCopyIsCountedInTheEnvironment) {
    EXPECT_EQ(orvsim_loaded_module_count(), 1);
    EXPECT_EQ(get_env("ORVSIM_LOADED_MODULES"), "1");
}

TEST_F(SimList, ListCallsCanFail) {
    load(R"({"list": {"create_status": 4}, "bridges": [{"serial": "A"}]})");
    DWORD n = 99;
    EXPECT_EQ(FT_CreateDeviceInfoList(&n), FT_IO_ERROR);
    EXPECT_EQ(n, 0u);
    load(R"({"list": {"get_status": 18}, "bridges": [{"serial": "A"}]})");
    ASSERT_EQ(FT_CreateDeviceInfoList(&n), FT_OK);
    EXPECT_EQ(n, 1u);
    FT_DEVICE_LIST_INFO_NODE node{};
    EXPECT_EQ(FT_GetDeviceInfoList(&node, &n), FT_OTHER_ERROR);
}

TEST_F(SimList, InvalidScenariosAreRefusedWithTheReason) {
    load(R"({"bridges": [{"serial": "KEPT"}]})");
    struct Case {
        const char *json;
        const char *reason;
    };
    const Case cases[] = {
        {R"({"bridges": [)", "not valid JSON"},
        {R"({"bridge": []})", "bridge: unknown key"},
        {R"({"bridges": [{"serial": "0123456789ABCDEF"}]})",
         "bridges[0].serial: longer than 15 bytes"},
        {R"({"bridges": [{"serial": "A", "instrument": {"model": "NOPE"}}]})",
         "no model named \"NOPE\""},
        {R"({"bridges": [{"serial": "A", "instrument": {"model": "SIM-NIR256", "faults": [{"kind": "bad_preamble"}]}}]})",
         "bridges[0].instrument.faults[0].kind"},
        {R"({"bridges": [{"serial": "A", "instrument": {"pixels": 3, "wavelengths": {"list": [1, 2]}}}]})",
         "holds 2 values for 3 pixels"},
        {R"({"bridges": [{"serial": "A", "instrument": {"pixels": 4096}}]})",
         "pixels: 4096 is outside 1 to 2048"},
        {R"({"time_scale": 0, "bridges": []})", "time_scale"},
        {R"({"bridges": [{"serial": "A", "product": "60G1"}]})", "not a hexadecimal number"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(orvsim_load_scenario_json(c.json), -1) << c.json;
        EXPECT_NE(std::string(orvsim_last_error()).find(c.reason), std::string::npos)
            << orvsim_last_error() << " / expected: " << c.reason;
    }
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes = device_list();  // the old scenario stays
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_STREQ(nodes[0].SerialNumber, "KEPT");
}

TEST_F(SimList, ABrokenScenarioFileFailsTheListWithOneLineOnStderr) {
    const std::string path = ::testing::TempDir() + "orvsim_missing_scenario.json";
    std::remove(path.c_str());
    set_env("ORVSIM_SCENARIO", path.c_str());
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(orvsim_load_default_scenario(), -1);
    DWORD n = 7;
    EXPECT_NE(FT_CreateDeviceInfoList(&n), FT_OK);
    EXPECT_EQ(n, 0u);
    FT_HANDLE h = nullptr;
    EXPECT_EQ(FT_Open(0, &h), FT_DEVICE_NOT_FOUND);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "orvsim: scenario " + path + ": cannot be read\n");

    std::FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(R"({"bridges": [{"serial": "FROMFILE"}]})", f);
    std::fclose(f);
    ASSERT_EQ(orvsim_load_default_scenario(), 0) << orvsim_last_error();
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes = device_list();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_STREQ(nodes[0].SerialNumber, "FROMFILE");
    std::remove(path.c_str());
}

TEST_F(SimList, FilesThatCannotBeScenariosAreRefusedWithTheReason) {
    const std::string big = ::testing::TempDir() + "orvsim_big_scenario.json";
    {
        std::FILE *f = std::fopen(big.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string spaces(1 << 20, ' ');
        for (int mib = 0; mib < 16; ++mib) std::fwrite(spaces.data(), 1, spaces.size(), f);
        std::fputs("{}", f);
        std::fclose(f);
    }
    struct Case {
        std::string path;
        std::string reason;
    };
    std::vector<Case> cases = {
        {::testing::TempDir(), "is a directory"},
        {big, "larger than 16 MiB"},
    };
#ifndef _WIN32
    cases.push_back({"/dev/zero", "larger than 16 MiB"});  // never ends
#endif
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        set_env("ORVSIM_SCENARIO", c.path.c_str());
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(orvsim_load_default_scenario(), -1);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "orvsim: scenario " + c.path + ": " + c.reason + "\n");
        EXPECT_EQ(orvsim_load_scenario_file(c.path.c_str()), -1);
        EXPECT_EQ(std::string(orvsim_last_error()), "scenario " + c.path + ": " + c.reason);
    }
    std::remove(big.c_str());
}

}  // namespace
