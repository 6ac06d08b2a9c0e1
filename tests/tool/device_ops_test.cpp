#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <sstream>

#include "device_ops.h"
#include "fake_orv.h"

using namespace velmar;
using testing::ElementsAre;

namespace {

class DeviceOps : public testing::Test {
protected:
    void SetUp() override {
        fake::state = fake::State{};
        fake::state.devices["FT1"] = fake::device("SIM-UV2048", "SN42");
        module_ = std::make_shared<fake::Library>();
    }
    VelmarSdk sdk() const { return VelmarSdk("liborv", module_); }
    void open() { ASSERT_TRUE(open_device(sdk(), DeviceId{"FT1"})); }
    fake::Device &device() { return fake::state.devices["FT1"]; }

    std::shared_ptr<fake::Library> module_;
};

// Captures what an operation writes to standard error.
class StderrCapture {
public:
    StderrCapture() : old_(std::cerr.rdbuf(buffer_.rdbuf())) {}
    ~StderrCapture() { std::cerr.rdbuf(old_); }
    std::string text() const { return buffer_.str(); }

private:
    std::ostringstream buffer_;
    std::streambuf *old_;
};

}  // namespace

TEST(MapResultCode, KnownCodesAndEverythingElse) {
    EXPECT_TRUE(map_result_code(0));
    const std::pair<int, SdkError> known[] = {
        {-2, SdkError::DeviceNotFound}, {-3, SdkError::DeviceNotOpen},
        {-4, SdkError::TransportError}, {-5, SdkError::InvalidParameter},
        {-9, SdkError::Timeout},        {-11, SdkError::UnsupportedFeature},
    };
    for (auto [code, kind] : known) EXPECT_EQ(map_result_code(code).error(), kind) << code;
    for (int code : {-1, -6, -7, -8, -10, -12, -1000, 1, 7}) {
        EXPECT_EQ(map_result_code(code).error(), SdkError::SdkInternalError) << code;
    }
}

TEST_F(DeviceOps, TextGettersAcceptPositiveCodes) {
    fake::state.model_code = 5;
    EXPECT_EQ(read_text(*module_, "orv_get_device_model").value(), "SIM-MODEL");
    fake::state.model_code = ORV_ERR_TIMEOUT;
    EXPECT_EQ(read_text(*module_, "orv_get_device_model").error(), SdkError::Timeout);
    module_->remove("orv_get_device_model");
    EXPECT_EQ(read_text(*module_, "orv_get_device_model").error(), SdkError::SdkInternalError);
}

TEST_F(DeviceOps, DeviceInfoTrimsOnlyTheFirmware) {
    open();
    device() = fake::device(" M1 ", " SN ");
    std::strcpy(device().info.hardware_version, "  1.2.3\t");
    auto info = device_info(sdk());
    ASSERT_TRUE(info);
    EXPECT_EQ(info.value().model, " M1 ");
    EXPECT_EQ(info.value().serial, " SN ");
    EXPECT_EQ(info.value().firmware, "1.2.3");

    std::strcpy(device().info.hardware_version, "   ");
    EXPECT_EQ(device_info(sdk()).value().firmware, std::nullopt);
}

TEST_F(DeviceOps, DeviceInfoTakesAModelFieldWithoutTerminatorWhole) {
    open();
    std::memset(device().info.model, 'M', sizeof device().info.model);
    EXPECT_EQ(read_device_info(*module_).value().model, std::string(32, 'M'));
}

TEST_F(DeviceOps, DeviceInfoFallsBackToSeparateReadsWithoutFirmware) {
    open();
    std::strcpy(device().info.hardware_version, "1.0");
    device().info.model[0] = '\xFF';
    EXPECT_EQ(read_device_info(*module_).error(), SdkError::TransportError);
    auto info = device_info(sdk());
    ASSERT_TRUE(info);
    EXPECT_EQ(info.value().model, "SIM-MODEL");
    EXPECT_EQ(info.value().serial, "SN1");
    EXPECT_EQ(info.value().firmware, std::nullopt);

    module_->remove("orv_get_device_info");
    EXPECT_EQ(read_device_info(*module_).error(), SdkError::UnsupportedFeature);
    EXPECT_EQ(device_info(sdk()).value().model, "SIM-MODEL");

    fake::state.serial_code = ORV_ERR_TRANSPORT;
    EXPECT_EQ(device_info(sdk()).error(), SdkError::TransportError);
}

TEST_F(DeviceOps, DeviceInfoNeedsAnOpenDevice) {
    EXPECT_EQ(device_info(sdk()).error(), SdkError::DeviceNotOpen);
    open();
    fake::state.is_open_override = ORV_ERR_TRANSPORT;
    EXPECT_EQ(device_info(sdk()).error(), SdkError::TransportError);
}

TEST_F(DeviceOps, OpenByIndexNamesTheDeviceBySerialOrPosition) {
    fake::state.chip_serials = {"FT0", "FT1", "FT2", "FT1"};
    EXPECT_EQ(open_device(sdk(), DeviceIndex{1}).value(), "SN1");
    fake::state.serial_code = ORV_ERR_UNSUPPORTED;
    EXPECT_EQ(open_device(sdk(), DeviceIndex{3}).value(), "velmar-usb-3");
    EXPECT_EQ(open_device(sdk(), DeviceIndex{0}).error(), SdkError::DeviceNotFound);
}

TEST_F(DeviceOps, OpenByChipSerialReturnsTheGivenText) {
    EXPECT_EQ(open_device(sdk(), ChipSerial{"FT1"}).value(), "FT1");
    EXPECT_EQ(open_device(sdk(), DeviceId{"FT1"}).value(), "FT1");
    EXPECT_EQ(open_device(sdk(), DeviceId{"NOPE"}).error(), SdkError::DeviceNotFound);
    EXPECT_EQ(open_device(sdk(), DeviceId{std::string("FT1\0X", 5)}).error(),
              SdkError::InvalidParameter);
    EXPECT_THAT(fake::state.open_calls, ElementsAre("FT1", "FT1", "NOPE"));
}

TEST_F(DeviceOps, WavelengthTableMatchesTheReportedCount) {
    open();
    auto table = read_wavelengths(sdk());
    ASSERT_TRUE(table);
    EXPECT_EQ(table.value().size(), 16u);
    EXPECT_EQ(table.value().back(), 215.0);

    fake::state.wavelength_data_code = ORV_ERR_CRC_MISMATCH;
    EXPECT_EQ(read_wavelengths(sdk()).error(), SdkError::SdkInternalError);
}

TEST_F(DeviceOps, EmptyWavelengthTableIsNeverAccepted) {
    open();
    device().wavelength_count = 0;
    EXPECT_EQ(read_wavelengths(sdk()).error(),
              SdkError::InvalidParameter);  // refused by the data call

    // A library that accepts the empty table is caught by the payload check.
    module_->replace(
        "orv_get_full_wavelength_data", +[](double *, int32_t) { return 0; });
    StderrCapture captured;
    EXPECT_EQ(read_wavelengths(sdk()).error(), SdkError::SdkInternalError);
    EXPECT_EQ(captured.text(), "invalid velmar wavelengths payload: count=0, len=0\n");
}

TEST_F(DeviceOps, SpectrumSamplesBecomeExactDoubles) {
    fake::state.spectrum = {0, 1, 65535, 800};
    auto spectrum = read_spectrum(sdk(), 4);
    ASSERT_TRUE(spectrum);
    EXPECT_THAT(spectrum.value(), ElementsAre(0.0, 1.0, 65535.0, 800.0));

    fake::state.spectrum_code = ORV_ERR_TIMEOUT;
    EXPECT_EQ(read_spectrum(sdk(), 4).error(), SdkError::Timeout);
}

TEST_F(DeviceOps, EmptySpectrumFailsThePayloadCheckWithADiagnostic) {
    StderrCapture captured;
    EXPECT_EQ(read_spectrum(sdk(), 0).error(), SdkError::SdkInternalError);
    EXPECT_EQ(captured.text(), "invalid velmar intensities payload: count=0, len=0\n");
}

TEST_F(DeviceOps, ByteSettersRefuseValuesAbove255WithoutCallingTheLibrary) {
    EXPECT_EQ(set_average_number(sdk(), 256).error(), SdkError::InvalidParameter);
    EXPECT_EQ(set_stored_smoothing_width(sdk(), 1000).error(), SdkError::InvalidParameter);
    EXPECT_TRUE(module_->looked_up.empty());
    EXPECT_TRUE(set_average_number(sdk(), 255));
    EXPECT_TRUE(set_integration_time_us(sdk(), 4000000000u));
    EXPECT_THAT(fake::state.set_values, ElementsAre(255u, 4000000000u));

    fake::state.set_code = 1;  // positive codes are not success for setters
    EXPECT_EQ(set_average_number(sdk(), 1).error(), SdkError::SdkInternalError);
}

TEST_F(DeviceOps, IntegrationTimeFallsBackToTheStoredValue) {
    EXPECT_EQ(integration_time_us(sdk()).value(), 10000u);
    fake::state.live_integration_code = ORV_ERR_UNSUPPORTED;
    EXPECT_EQ(integration_time_us(sdk()).value(), 20000u);
    fake::state.stored_integration_code = ORV_ERR_NOT_OPEN;
    EXPECT_EQ(integration_time_us(sdk()).error(), SdkError::DeviceNotOpen);

    fake::state = fake::State{};
    module_->remove("orv_get_integration_time");
    EXPECT_EQ(integration_time_us(sdk()).value(), 20000u);
    EXPECT_EQ(average_number(sdk()).value(), 3u);
}

TEST_F(DeviceOps, EveryOperationLooksItsExportsUpAgain) {
    open();
    module_->looked_up.clear();
    (void)read_wavelengths(sdk());
    (void)read_wavelengths(sdk());
    EXPECT_EQ(module_->looked_up.size(), 4u);
}
