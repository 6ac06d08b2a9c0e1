// Which bridges -d picks, and what it says when it cannot.
#include <gtest/gtest.h>

#include "device/device_choice.h"
#include "failure.h"

namespace orvcli {
namespace {

constexpr std::uint32_t kForeign = 0x04036015;

std::vector<Bridge> bridges(std::initializer_list<std::pair<const char *, std::uint32_t>> list) {
    std::vector<Bridge> out;
    for (const auto &[serial, id] : list)
        out.push_back({static_cast<int>(out.size()), serial, "desc", id, false});
    return out;
}

std::vector<int> chosen(const std::vector<Bridge> &list, const std::string &device,
                        AllowAll all = AllowAll::yes) {
    std::vector<int> indexes;
    for (const Bridge &bridge : choose_bridges(list, device, all)) indexes.push_back(bridge.index);
    return indexes;
}

std::string device_failure(const std::vector<Bridge> &list, const std::string &device,
                           AllowAll all = AllowAll::yes) {
    try {
        choose_bridges(list, device, all);
    } catch (const Failure &failure) {
        EXPECT_EQ(failure.status(), ExitStatus::device);
        EXPECT_EQ(std::string(failure.what()).find('\n'), std::string::npos);
        return failure.what();
    }
    ADD_FAILURE() << "no failure for '" << device << "'";
    return "";
}

TEST(DeviceChoice, DefaultIsTheOnlyInstrumentIgnoringForeignBridges) {
    EXPECT_EQ(chosen(bridges({{"F1", kForeign}, {"A", kInstrumentUsbId}}), ""), (std::vector{1}));
}

TEST(DeviceChoice, DefaultWithSeveralInstrumentsListsThem) {
    const auto list = bridges({{"A", kInstrumentUsbId}, {"F", kForeign}, {"B", kInstrumentUsbId}});
    const std::string message = device_failure(list, "");
    EXPECT_NE(message.find("2 instruments attached"), std::string::npos) << message;
    EXPECT_NE(message.find("0 A, 2 B"), std::string::npos) << message;
    EXPECT_NE(message.find("-d all"), std::string::npos) << message;
    EXPECT_EQ(device_failure(list, "", AllowAll::no).find("-d all"), std::string::npos);
}

TEST(DeviceChoice, NoInstrumentAtAll) {
    EXPECT_NE(device_failure({}, "").find("no instrument attached"), std::string::npos);
    EXPECT_NE(device_failure(bridges({{"F", kForeign}}), "all").find("no instrument"),
              std::string::npos);
}

TEST(DeviceChoice, AllIsEveryInstrumentWhereAllowed) {
    const auto list = bridges({{"A", kInstrumentUsbId}, {"F", kForeign}, {"B", kInstrumentUsbId}});
    EXPECT_EQ(chosen(list, "all"), (std::vector{0, 2}));
    EXPECT_NE(device_failure(list, "all", AllowAll::no).find("one instrument"), std::string::npos);
}

TEST(DeviceChoice, IndexOrChipSerialNamesAnyBridge) {
    const auto list = bridges({{"A", kInstrumentUsbId}, {"F", kForeign}, {"12", kInstrumentUsbId}});
    EXPECT_EQ(chosen(list, "1"), (std::vector{1}));
    EXPECT_EQ(chosen(list, "F"), (std::vector{1}));
    // A chip serial made of digits wins over the index it would be.
    EXPECT_EQ(chosen(list, "12"), (std::vector{2}));
    EXPECT_EQ(chosen(list, "0"), (std::vector{0}));
}

TEST(DeviceChoice, UnknownDevicesSayWhatIsThere) {
    const auto list = bridges({{"A", kInstrumentUsbId}, {"B", kInstrumentUsbId}});
    const std::string index = device_failure(list, "7");
    EXPECT_NE(index.find("-d 7: no device at that index (the D2XX provider lists 2)"),
              std::string::npos)
        << index;
    EXPECT_NE(index.find("0 A, 1 B"), std::string::npos);
    EXPECT_NE(device_failure(list, "NOPE").find("-d NOPE: no device with that chip serial"),
              std::string::npos);
    EXPECT_NE(device_failure(list, "99999999999999999999999").find("no device at that index"),
              std::string::npos);
}

}  // namespace
}  // namespace orvcli
