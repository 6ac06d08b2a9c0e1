// The device list from sysfs: which ttys are listed, in which order, and
// what the nodes say, for good and for odd trees.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "environment.h"
#include "provider_fixture.h"

namespace ttytest {
namespace {

namespace fs = std::filesystem;

void write_raw(const fs::path &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

SysfsBridge bridge(const std::string &tty, const std::string &serial, unsigned bus,
                   const std::string &devpath, unsigned interface = 0) {
    SysfsBridge b;
    b.tty = tty;
    b.serial = serial;
    b.busnum = bus;
    b.devpath = devpath;
    b.interface = interface;
    return b;
}

// What a list node should say.
struct Node {
    std::string serial;
    std::string description;
    uint32_t type;
    uint32_t id;
    uint32_t loc_id;
    uint32_t flags;
};

void expect_node(const FT_DEVICE_LIST_INFO_NODE &node, const Node &expected) {
    EXPECT_EQ(std::string(node.SerialNumber), expected.serial);
    EXPECT_EQ(std::string(node.Description), expected.description);
    EXPECT_EQ(node.Type, expected.type);
    EXPECT_EQ(node.ID, expected.id);
    EXPECT_EQ(node.LocId, expected.loc_id);
    EXPECT_EQ(node.Flags, expected.flags);
}

using Listing = TtyProvider;

TEST_F(Listing, ListsOnlyTheTtysOfFtdiSio) {
    SysfsBridge other_usb = bridge("ttyUSB0", "PL0001", 1, "3");
    other_usb.driver = "pl2303";
    other_usb.vid = 0x067b;
    plug(other_usb);
    SysfsBridge acm = bridge("ttyACM0", "ACM0001", 1, "4");
    acm.driver = "cdc_acm";
    plug(acm);
    plug(bridge("ttyUSB1", "FT0001", 1, "2"));
    tree->add_virtual_tty("tty1");
    // A class entry whose device is gone (a half-removed bridge).
    fs::create_directories(folder / "tree/sys/devices/orphan/tty/ttyUSB7");
    fs::create_directory_symlink("../../devices/orphan/tty/ttyUSB7",
                                 folder / "tree/sys/class/tty/ttyUSB7");
    fs::create_symlink("../../nowhere", folder / "tree/sys/devices/orphan/tty/ttyUSB7/device");

    const auto nodes = list();
    ASSERT_EQ(nodes.size(), 1u);
    // FT232R (type 5); LocId: bus 1, port 2, interface 0.
    expect_node(nodes[0], {"FT0001", "FT232R USB UART", 5, 0x04036001, 0x01200000, 0});
    EXPECT_EQ(nodes[0].ftHandle, nullptr);
}

TEST_F(Listing, OrdersByBusThenPortPathThenInterface) {
    // Plugged (and named) in another order than the list's.
    plug(bridge("ttyUSB0", "BUS2", 2, "1"));
    plug(bridge("ttyUSB1", "PORT17", 1, "17"));
    plug(bridge("ttyUSB2", "HUB2-1", 1, "2.1"));
    SysfsBridge dual = bridge("ttyUSB3", "DUAL", 1, "2", 1);
    dual.bcd_device = 0x0700;  // FT2232H: two channels, one USB device
    plug(dual);
    dual.tty = "ttyUSB4";
    dual.interface = 0;
    plug(dual);

    std::vector<std::string> serials;
    for (const auto &node : list()) serials.push_back(node.SerialNumber);
    const std::vector<std::string> expected = {"DUALA", "DUALB", "HUB2-1", "PORT17", "BUS2"};
    EXPECT_EQ(serials, expected);
    const auto again = list();
    ASSERT_EQ(again.size(), 5u);
    EXPECT_EQ(again[1].LocId, 0x01200001u);
    EXPECT_EQ(again[2].LocId, 0x01210000u);  // bus 1, ports 2.1
    EXPECT_EQ(again[3].LocId, 0u);           // port 17 does not fit a hex digit
}

TEST_F(Listing, NamesTheChannelsOfMultiChannelChips) {
    SysfsBridge quad = bridge("ttyUSB0", "FT4232QUADSERIA", 3, "1.2");  // 15 bytes
    quad.bcd_device = 0x0800;
    quad.product = "Quad RS232-HS";
    quad.speed_mbps = 480;
    for (unsigned channel = 0; channel < 4; ++channel) {
        quad.tty = "ttyUSB" + std::to_string(channel);
        quad.interface = channel;
        plug(quad);
    }
    const auto nodes = list();
    ASSERT_EQ(nodes.size(), 4u);
    for (size_t i = 0; i < nodes.size(); ++i) {
        const char letter = static_cast<char>('A' + i);
        const uint32_t loc_id = 0x03120000u + static_cast<uint32_t>(i);
        expect_node(nodes[i],
                    {std::string("FT4232QUADSERI") + letter, std::string("Quad RS232-HS ") + letter,
                     7 /* FT4232H */, 0x04036001, loc_id, FT_FLAGS_HISPEED});
    }
}

TEST_F(Listing, MissingAttributesLeaveFieldsEmpty) {
    SysfsBridge bare = bridge("ttyUSB0", "", 1, "1");
    bare.serial.reset();
    bare.product.reset();
    plug(bare);
    const fs::path usb = tree->usb_device_dir("ttyUSB0");
    for (const char *name : {"bcdDevice", "idVendor", "busnum", "speed"}) fs::remove(usb / name);

    const auto nodes = list();
    ASSERT_EQ(nodes.size(), 1u);
    expect_node(nodes[0], {"", "", 3 /* unknown */, 0x00006001, 0, 0});
}

TEST_F(Listing, OddTextsPassThroughCutToTheirFields) {
    plug(bridge("ttyUSB0", std::string(40, 'S'), 1, "1"));
    plug(bridge("ttyUSB1", "RAW", 1, "2"));
    plug(bridge("ttyUSB2", "HUGE", 1, "3"));
    const std::string raw_product = "Prod\xff\xfe\x80 \xc3(";  // not UTF-8
    write_raw(tree->usb_device_dir("ttyUSB1") / "product", raw_product);
    write_raw(tree->usb_device_dir("ttyUSB1") / "bcdDevice", "zz\n");
    write_raw(tree->usb_device_dir("ttyUSB2") / "product", std::string(1 << 20, 'P'));
    write_raw(tree->usb_device_dir("ttyUSB2") / "idVendor", "1234567\n");

    const auto nodes = list();
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(std::string(nodes[0].SerialNumber), std::string(15, 'S'));
    EXPECT_EQ(nodes[0].SerialNumber[15], '\0');
    EXPECT_EQ(std::string(nodes[1].Description), raw_product);
    EXPECT_EQ(nodes[1].Type, 3u);
    EXPECT_EQ(std::string(nodes[2].Description), std::string(63, 'P'));
    EXPECT_EQ(nodes[2].Description[63], '\0');
    EXPECT_EQ(nodes[2].ID, 0x00006001u);  // a vendor id beyond 16 bits is no id
}

TEST_F(Listing, FillsNoMoreNodesThanTheCapacityGiven) {
    for (int i = 0; i < 3; ++i)
        plug(bridge("ttyUSB" + std::to_string(i), "S", 1, std::to_string(i + 1)));
    DWORD count = 0;
    ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_STATUS{FT_OK});
    EXPECT_EQ(count, 3u);

    FT_DEVICE_LIST_INFO_NODE nodes[3];
    std::memset(nodes, 0xA5, sizeof nodes);
    DWORD capacity = 2;
    ASSERT_EQ(FT_GetDeviceInfoList(nodes, &capacity), FT_STATUS{FT_OK});
    EXPECT_EQ(capacity, 2u);
    const auto *tail = reinterpret_cast<const unsigned char *>(&nodes[2]);
    for (size_t i = 0; i < sizeof nodes[2]; ++i) ASSERT_EQ(tail[i], 0xA5) << "byte " << i;

    DWORD none = 0;
    EXPECT_EQ(FT_GetDeviceInfoList(nullptr, &none), FT_STATUS{FT_OK});
    EXPECT_EQ(none, 0u);
    DWORD some = 1;
    EXPECT_EQ(FT_GetDeviceInfoList(nullptr, &some), FT_STATUS{FT_INVALID_PARAMETER});
    EXPECT_EQ(FT_GetDeviceInfoList(nodes, nullptr), FT_STATUS{FT_INVALID_PARAMETER});
    EXPECT_EQ(FT_CreateDeviceInfoList(nullptr), FT_STATUS{FT_INVALID_PARAMETER});
}

TEST_F(Listing, AMissingTreeListsNothing) {
    setenv(orvtty::SYSFS_ROOT_VARIABLE, (folder / "no-such-sys").c_str(), 1);
    DWORD count = 99;
    EXPECT_EQ(FT_CreateDeviceInfoList(&count), FT_STATUS{FT_OK});
    EXPECT_EQ(count, 0u);
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_Open(0, &handle), FT_STATUS{FT_DEVICE_NOT_FOUND});
    EXPECT_EQ(handle, nullptr);
}

TEST_F(Listing, TheFakeTreeRefusesARepeatedTtyAndUnplugsWholeDevices) {
    plug(bridge("ttyUSB0", "FIRST", 1, "1"));
    SysfsBridge repeated = bridge("ttyUSB0", "SECOND", 1, "2");
    EXPECT_THROW(tree->add(repeated), std::invalid_argument);
    EXPECT_FALSE(fs::exists(folder / "tree/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2"));

    SysfsBridge dual = bridge("ttyUSB1", "DUAL", 1, "5");
    dual.bcd_device = 0x0700;
    plug(dual);
    dual.tty = "ttyUSB2";
    dual.interface = 1;
    plug(dual);
    const fs::path usb = tree->usb_device_dir("ttyUSB1");
    tree->remove("ttyUSB1");
    EXPECT_TRUE(fs::exists(usb / "serial"));  // channel B is still there
    EXPECT_EQ(list().size(), 2u);
    tree->remove("ttyUSB2");
    EXPECT_FALSE(fs::exists(usb));
    ASSERT_EQ(list().size(), 1u);
    EXPECT_STREQ(list()[0].SerialNumber, "FIRST");
}

}  // namespace
}  // namespace ttytest
