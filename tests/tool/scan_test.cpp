#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "fake_orv.h"
#include "ftd2xx.h"
#include "scan.h"

using namespace velmar;
using testing::ElementsAre;

namespace {

class Scan : public testing::Test {
protected:
    void SetUp() override { fake::state = fake::State{}; }

    FtdiDescriptor descriptor(const std::string &serial, std::uint32_t id = kVelmarUsbId) {
        return FtdiDescriptor{serial, "SIMULATED " + serial, id, 0, 5, 0x21};
    }
    std::vector<std::string> ids(const std::vector<DeviceEntry> &entries) {
        std::vector<std::string> out;
        for (const DeviceEntry &e : entries) out.push_back(e.id);
        return out;
    }

    fake::Library library_;
    std::ostringstream diagnostics_;
};

}  // namespace

TEST(DeviceLabel, NamedByChipSerialWhenTheSerialSaysNothing) {
    for (const char *serial : {"NIR", "nir", "Nir", " nIr ", "", "   ", "ft12ab", "FT12AB"}) {
        EXPECT_EQ(device_label("M", std::string(serial), "FT12AB"), "Velmar M (FT12AB)") << serial;
    }
    EXPECT_EQ(device_label("M", std::nullopt, "FT12AB"), "Velmar M (FT12AB)");
    EXPECT_EQ(device_label("M", std::string("SN123"), "FT12AB"), "Velmar M SN123");
    EXPECT_EQ(device_label("M", std::string(" SN123 "), "FT12AB"), "Velmar M SN123");
    EXPECT_EQ(device_label("M", std::string("NIR2"), "FT12AB"), "Velmar M NIR2");
    // The chip serial is compared as found, untrimmed.
    EXPECT_EQ(device_label("M", std::string("FT12AB"), "FT12AB "), "Velmar M FT12AB");
}

TEST_F(Scan, ForeignDevicesAreSkippedAndMatchingOnesProbed) {
    fake::state.devices["FT1"] = fake::device(" SIM-UV ", "SN9");
    auto entries = entries_from_descriptors(
        library_, {descriptor("FOREIGN", 0x04036015), descriptor("FT1")}, diagnostics_);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].id, "FT1");
    EXPECT_EQ(entries[0].label, "Velmar SIM-UV SN9");
    EXPECT_EQ(entries[0].serial, "FT1");
    EXPECT_EQ(
        diagnostics_.str(),
        "[velmar:scan] skip non-Velmar FTDI device index=0 chip_serial=FOREIGN "
        "description=SIMULATED FOREIGN "
        "id=0x04036015 flags=0x00000000 type=0x00000005 loc=0x00000021\n"
        "[velmar:scan] probe Velmar FTDI device index=1 chip_serial=FT1 description=SIMULATED FT1 "
        "id=0x04036001 flags=0x00000000 type=0x00000005 loc=0x00000021\n");
    EXPECT_TRUE(fake::state.open_serial.empty());
}

TEST_F(Scan, ProbeFailuresAreReportedAndLeaveNothingOpen) {
    fake::state.devices["FT15"] = fake::device("M", "S", 15);
    fake::state.devices["FT16"] = fake::device("M", "S", 16);
    fake::state.devices["BLANK"] = fake::device(" \t", "S");
    fake::state.devices["REFUSED"].open_code = ORV_ERR_OPEN_FAILED;
    auto entries = entries_from_descriptors(
        library_,
        {descriptor("FT15"), descriptor("FT16"), descriptor("BLANK"), descriptor("REFUSED")},
        diagnostics_);
    EXPECT_THAT(ids(entries), ElementsAre("FT16"));
    EXPECT_THAT(
        diagnostics_.str(),
        testing::HasSubstr(
            "[velmar:scan] ignored Velmar VID/PID device chip_serial=FT15: DeviceNotFound\n"));
    EXPECT_THAT(
        diagnostics_.str(),
        testing::HasSubstr("ignored Velmar VID/PID device chip_serial=BLANK: DeviceNotFound\n"));
    EXPECT_THAT(diagnostics_.str(),
                testing::HasSubstr(
                    "ignored Velmar VID/PID device chip_serial=REFUSED: SdkInternalError\n"));
    EXPECT_TRUE(fake::state.open_serial.empty());
}

TEST_F(Scan, BlankChipSerialIsDroppedSilentlyWithoutTouchingTheLibrary) {
    auto entries =
        entries_from_descriptors(library_, {descriptor(""), descriptor(" \xC2\xA0")}, diagnostics_);
    EXPECT_TRUE(entries.empty());
    EXPECT_THAT(diagnostics_.str(), testing::Not(testing::HasSubstr("ignored")));
    EXPECT_TRUE(fake::state.open_calls.empty());
}

TEST_F(Scan, DuplicateSerialsGiveTwoEntries) {
    fake::state.devices["FT1"] = fake::device("M", "NIR");
    auto entries =
        entries_from_descriptors(library_, {descriptor("FT1"), descriptor("FT1")}, diagnostics_);
    EXPECT_THAT(ids(entries), ElementsAre("FT1", "FT1"));
    EXPECT_EQ(entries[1].label, "Velmar M (FT1)");
}

TEST_F(Scan, ProbeWithoutDeviceInfoExportFailsAsUnsupported) {
    fake::state.devices["FT1"] = fake::device("M", "S");
    library_.remove("orv_get_device_info");
    EXPECT_EQ(std::get<SdkError>(probe_device(library_, "FT1")), SdkError::UnsupportedFeature);
    EXPECT_TRUE(fake::state.open_serial.empty());
}

TEST_F(Scan, LibraryScanProbesEachIndexAndSkipsUnreadableOnes) {
    fake::state.scan_result = 3;
    fake::state.chip_serials = {"FT0", "FT1", "FT2"};
    fake::state.chip_serial_failures = {1};
    fake::state.devices["FT0"] = fake::device("M", "S");
    auto entries = entries_from_library_scan(library_, SdkError::TransportError, diagnostics_);
    ASSERT_TRUE(entries);
    EXPECT_THAT(ids(entries.value()), ElementsAre("FT0"));
    EXPECT_EQ(diagnostics_.str(),
              "[velmar:scan] FTDI descriptor enumeration unavailable, falling back to SDK probes: "
              "TransportError\n"
              "[velmar:scan] fallback SDK probe index=0 chip_serial=FT0\n"
              "[velmar:scan] skip SDK index=1 because chip serial read failed: DeviceNotFound\n"
              "[velmar:scan] fallback SDK probe index=2 chip_serial=FT2\n"
              "[velmar:scan] ignored SDK-scanned FTDI device chip_serial=FT2: DeviceNotFound\n");
}

TEST_F(Scan, LibraryScanResultDecidesTheOutcome) {
    fake::state.scan_result = 0;
    auto none = entries_from_library_scan(library_, SdkError::SdkInternalError, diagnostics_);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none.value().empty());

    fake::state.scan_result = ORV_ERR_NOT_OPEN;
    EXPECT_EQ(entries_from_library_scan(library_, SdkError::SdkInternalError, diagnostics_).error(),
              SdkError::DeviceNotOpen);
    library_.remove("orv_scan_devices");
    EXPECT_EQ(entries_from_library_scan(library_, SdkError::SdkInternalError, diagnostics_).error(),
              SdkError::SdkInternalError);
}

TEST_F(Scan, ChipSerialFillingTheWholeBufferIsTakenWhole) {
    const std::string long_serial(128, 'S');
    fake::state.scan_result = 1;
    fake::state.chip_serials = {long_serial};
    (void)entries_from_library_scan(library_, SdkError::SdkInternalError, diagnostics_);
    EXPECT_THAT(fake::state.open_calls, ElementsAre(long_serial));
}

TEST(Descriptors, NodesConvertFieldByFieldAndOneBadTextSpoilsTheList) {
    FT_DEVICE_LIST_INFO_NODE nodes[2]{};
    nodes[0] = {1, 5, 0x04036001, 0x21, "FT1", "SIMULATED UV-VIS", nullptr};
    std::memset(nodes[1].SerialNumber, 'A', sizeof nodes[1].SerialNumber);  // no terminator
    auto descriptors = descriptors_from_nodes(nodes, 2);
    ASSERT_TRUE(descriptors);
    EXPECT_EQ(descriptors.value()[0].serial, "FT1");
    EXPECT_EQ(descriptors.value()[0].description, "SIMULATED UV-VIS");
    EXPECT_EQ(descriptors.value()[0].id, 0x04036001u);
    EXPECT_EQ(descriptors.value()[0].flags, 1u);
    EXPECT_EQ(descriptors.value()[0].loc_id, 0x21u);
    EXPECT_EQ(descriptors.value()[1].serial, std::string(16, 'A'));

    nodes[1].Description[0] = '\xC3';
    EXPECT_EQ(descriptors_from_nodes(nodes, 2).error(), SdkError::TransportError);
    EXPECT_TRUE(descriptors_from_nodes(nodes, 1));
}
