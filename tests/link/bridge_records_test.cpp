// The bridge records and the provider's name through the shared library: the
// records are what the provider's own list calls give, field by field, and
// the provider named is the file this program runs with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ftd2xx.h"
#include "orv.h"
#include "orvsim.h"
#include "provider_list.h"

namespace {

// Five bridges: the instruments' USB id and others, flags and locations of
// the scenario's own, texts up to the simulator's widest.
constexpr const char *kScenario = R"({"bridges": [
  {"serial": "REC01", "description": "SIMULATED UV", "instrument": {"model": "SIM-UV1024"}},
  {"serial": "REC02", "description": "Serial Cable", "product": 24597, "loc_id": 8483},
  {"serial": "FIFTEEN-BYTES-X", "description": "D123456789012345678901234567890123456789012345678901234567890AB",
   "flags": 2, "type": 8},
  {"serial": "REC04", "vendor": 4660, "product": 22136},
  {"serial": "REC05", "description_hex": "41 FF 42"}]})";

std::string field(const char *text, size_t width) {
    return std::string(text, strnlen(text, width));
}

class BridgeRecords : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(orvsim_load_scenario_json(kScenario), 0) << orvsim_last_error();
    }
    void TearDown() override { orvsim_load_default_scenario(); }
};

}  // namespace

TEST_F(BridgeRecords, AreWhatTheProviderListsFieldByField) {
    orv_device *device = nullptr;
    ASSERT_EQ(orv_device_open(0, &device), ORV_OK);  // sets the opened flag
    const std::vector<FT_DEVICE_LIST_INFO_NODE> nodes = orvtest::provider_list();
    ASSERT_EQ(nodes.size(), 5u);
    orv_bridge_info records[ORV_MAX_BRIDGES];
    std::memset(records, 0x5A, sizeof records);
    int count = -1, listed = -1;
    ASSERT_EQ(orv_list_bridges(records, ORV_MAX_BRIDGES, &count, &listed), ORV_OK);
    orv_device_close(device);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(listed, 5);
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        const FT_DEVICE_LIST_INFO_NODE &node = nodes[static_cast<size_t>(i)];
        const orv_bridge_info &record = records[i];
        EXPECT_EQ(record.index, i);
        EXPECT_EQ(record.usb_id, node.ID);
        EXPECT_EQ(record.location, node.LocId);
        EXPECT_EQ(record.flags, node.Flags & (ORV_BRIDGE_OPENED | ORV_BRIDGE_HIGH_SPEED));
        EXPECT_EQ(record.chip_serial, field(node.SerialNumber, sizeof node.SerialNumber));
        EXPECT_EQ(record.description, field(node.Description, sizeof node.Description));
    }
    EXPECT_EQ(records[0].flags, ORV_BRIDGE_OPENED);
    EXPECT_EQ(records[0].usb_id, ORV_INSTRUMENT_USB_ID);
    EXPECT_EQ(records[1].usb_id, 0x04036015u);
    EXPECT_EQ(records[1].location, 8483u);
    EXPECT_EQ(records[2].flags, ORV_BRIDGE_HIGH_SPEED);
    EXPECT_EQ(std::strlen(records[2].chip_serial), 15u);
    EXPECT_EQ(std::strlen(records[2].description), 63u);
    EXPECT_STREQ(records[4].description,
                 "A\xFF"
                 "B");
}

TEST_F(BridgeRecords, CapacityBoundsWhatIsWrittenNotWhatIsListed) {
    orv_bridge_info records[3];
    std::memset(records, 0x5A, sizeof records);
    int count = -1, listed = -1;
    ASSERT_EQ(orv_list_bridges(records, 2, &count, &listed), ORV_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(listed, 5);
    EXPECT_STREQ(records[1].chip_serial, "REC02");
    EXPECT_EQ(records[2].index, 0x5A5A5A5A);  // untouched
    ASSERT_EQ(orv_list_bridges(nullptr, 0, &count, nullptr), ORV_OK);
    EXPECT_EQ(count, 0);

    ASSERT_EQ(orvsim_load_scenario_json(R"({"bridges": [{"serial": "MANY", "repeat": 70}]})"), 0);
    orv_bridge_info many[ORV_MAX_BRIDGES + 6];
    ASSERT_EQ(orv_list_bridges(many, ORV_MAX_BRIDGES + 6, &count, &listed), ORV_OK);
    EXPECT_EQ(count, ORV_MAX_BRIDGES);  // the positions liborv reaches
    EXPECT_EQ(listed, 70);
    EXPECT_STREQ(many[ORV_MAX_BRIDGES - 1].chip_serial, "MANY64");

    ASSERT_EQ(orvsim_load_scenario_json(R"({"bridges": []})"), 0);
    EXPECT_EQ(orv_list_bridges(many, 1, &count, &listed), ORV_OK);
    EXPECT_EQ(count + listed, 0);
}

TEST_F(BridgeRecords, BadArgumentsAndAListThatCannotBeBuilt) {
    orv_bridge_info record;
    int count = -1, listed = -1;
    EXPECT_EQ(orv_list_bridges(&record, 1, nullptr, &listed), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orv_list_bridges(&record, -1, &count, &listed), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orv_list_bridges(nullptr, 1, &count, &listed), ORV_ERR_INVALID_PARAM);
    for (const char *failure : {R"("create_status": 18)", R"("get_status": 4)"}) {
        SCOPED_TRACE(failure);
        const std::string scenario =
            std::string(R"({"bridges": [{"serial": "A"}], "list": {)") + failure + "}}";
        ASSERT_EQ(orvsim_load_scenario_json(scenario.c_str()), 0) << orvsim_last_error();
        count = listed = -1;
        EXPECT_EQ(orv_list_bridges(&record, 1, &count, &listed), ORV_ERR_DEVICE_NOT_FOUND);
        EXPECT_EQ(count + listed, 0);
        char path[512];
        EXPECT_EQ(orv_d2xx_provider(path, sizeof path), ORV_OK);  // the provider is there
    }
}

TEST(D2xxProvider, IsTheSimulatorThisProgramRunsWith) {
    char path[1024] = "";
    ASSERT_EQ(orv_d2xx_provider(path, sizeof path), ORV_OK);
    const std::filesystem::path file(path);
    std::string name = file.filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
#ifdef _WIN32
    EXPECT_EQ(name, "ftd2xx.dll") << path;
#else
    EXPECT_EQ(name, "libftd2xx.so") << path;
    EXPECT_TRUE(std::filesystem::equivalent(file, ORV_TEST_PROVIDER_FILE)) << path;
#endif
    EXPECT_TRUE(std::filesystem::exists(file)) << path;

    char cut[6];
    ASSERT_EQ(orv_d2xx_provider(cut, sizeof cut), ORV_OK);
    EXPECT_EQ(std::string(cut), std::string(path).substr(0, 5));
    EXPECT_EQ(orv_d2xx_provider(cut, 1), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(orv_d2xx_provider(nullptr, 8), ORV_ERR_INVALID_PARAM);
}
