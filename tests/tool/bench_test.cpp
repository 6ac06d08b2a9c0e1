#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <streambuf>

#include "bench.h"
#include "fake_orv.h"
#include "report_output.h"
#include "report_text.h"

using namespace velmar;
using report_text::mask_timings;

namespace {

class Bench : public testing::Test {
protected:
    void SetUp() override {
        fake::state = fake::State{};
        fake::state.devices["FT1"] = fake::device("SIM-UV", "SN1");
        fake::state.devices["FT2"] = fake::device("SIM-NIR", "NIR");
    }
    Result<Unit, Abort> run(const std::vector<std::string> &ids) { return run(ids, out_); }
    Result<Unit, Abort> run(const std::vector<std::string> &ids, std::ostream &out) {
        std::vector<DeviceEntry> entries;
        for (const std::string &id : ids) entries.push_back({id, "Velmar " + id, id});
        return report_devices(VelmarSdk("liborv", std::make_shared<fake::Library>()), entries, out);
    }
    std::string report() const { return mask_timings(out_.str()); }

    std::ostringstream out_;
};

const std::string kDeviceOneReport =
    "\n=== device 0 chip_serial=FT1 ===\n"
    "info model=SIM-UV serial=SN1 firmware=-\n"
    "wavelengths count=16 range=200.00->215.00\n"
    "case integration=10ms average=1 readback=Some(10000)us/Some(3) smoothing_set=Ok(()) iter=30 "
    "len=16 "
    "avg_ms=# min_ms=# max_ms=#\n"
    "case integration=50ms average=1 readback=Some(10000)us/Some(3) smoothing_set=Ok(()) iter=20 "
    "len=16 "
    "avg_ms=# min_ms=# max_ms=#\n"
    "case integration=200ms average=1 readback=Some(10000)us/Some(3) smoothing_set=Ok(()) iter=10 "
    "len=16 "
    "avg_ms=# min_ms=# max_ms=#\n"
    "case integration=50ms average=3 readback=Some(10000)us/Some(3) smoothing_set=Ok(()) iter=10 "
    "len=16 "
    "avg_ms=# min_ms=# max_ms=#\n";

// An output that takes `room` characters and refuses the rest, as a full
// disk does.
class LimitedOutput : public std::streambuf {
public:
    explicit LimitedOutput(std::size_t room) : room_(room) {}
    std::string written;

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        if (written.size() >= room_) return traits_type::eof();
        written.push_back(traits_type::to_char_type(c));
        return c;
    }

private:
    std::size_t room_;
};

}  // namespace

TEST_F(Bench, ReportsEveryInstrumentAndClosesIt) {
    EXPECT_TRUE(run({"FT1"}));
    EXPECT_EQ(report(),
              "device_count=1\n[0] id=FT1 label=Velmar FT1 serial=FT1\n" + kDeviceOneReport);
    EXPECT_EQ(fake::state.close_calls, 1);
    // Settings of each case: integration, average, smoothing width 1.
    EXPECT_THAT(std::vector<std::uint32_t>(fake::state.set_values.begin(),
                                           fake::state.set_values.begin() + 6),
                testing::ElementsAre(10000u, 1u, 1u, 50000u, 1u, 1u));
    EXPECT_EQ(fake::state.spectrum_calls, 4 + 30 + 20 + 10 + 10);
}

TEST_F(Bench, SecondInstrumentFailingToOpenAbortsAfterTheFirstReport) {
    auto outcome = run({"FT1", "GONE", "FT2"});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message, "failed to open Velmar device");
    EXPECT_EQ(outcome.error().kind, SdkError::DeviceNotFound);
    EXPECT_THAT(report(),
                testing::EndsWith(kDeviceOneReport + "\n=== device 1 chip_serial=GONE ===\n"));
    EXPECT_EQ(fake::state.close_calls, 1);  // no close after the failed open
}

TEST_F(Bench, FailedReadBacksAndSmoothingAreShownNotFatal) {
    fake::state.live_integration_code = ORV_ERR_UNSUPPORTED;
    fake::state.stored_integration_code = ORV_ERR_TIMEOUT;
    fake::state.average_code = ORV_ERR_TRANSPORT;
    fake::state.smoothing_code = ORV_ERR_UNSUPPORTED;
    EXPECT_TRUE(run({"FT1"}));
    EXPECT_THAT(report(), testing::HasSubstr(
                              "case integration=10ms average=1 readback=Noneus/None "
                              "smoothing_set=Err(UnsupportedFeature) iter=30 len=16 avg_ms=#"));
}

TEST_F(Bench, FailedWarmUpIsIgnoredAndFailedTimedReadAborts) {
    fake::state.spectrum_timeout_call = 1;  // warm-up of the first case
    EXPECT_TRUE(run({"FT1"}));

    SetUp();
    out_.str("");
    fake::state.spectrum_timeout_call = 31 + 5;  // fifth timed read of the second case
    auto outcome = run({"FT1"});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message, "read spectrum intensities failed");
    EXPECT_EQ(outcome.error().kind, SdkError::Timeout);
    EXPECT_THAT(report(), testing::EndsWith("iter=30 len=16 avg_ms=# min_ms=# max_ms=#\n"));
}

TEST_F(Bench, RequiredStepsAbortWithTheirMessage) {
    fake::state.set_code = ORV_ERR_INVALID_PARAM;
    auto outcome = run({"FT1"});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message, "set integration time failed");
    EXPECT_EQ(outcome.error().kind, SdkError::InvalidParameter);

    SetUp();
    fake::state.devices["FT1"].wavelength_count_code = ORV_ERR_TRANSPORT;
    outcome = run({"FT1"});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message, "failed to read wavelengths");
    EXPECT_EQ(outcome.error().kind, SdkError::TransportError);
}

TEST_F(Bench, ReportThatCannotBeWrittenStopsTheRun) {
    // The listing does not fit: no instrument is opened.
    LimitedOutput listing_cut(10);
    std::ostream listing_out(&listing_cut);
    auto outcome = run({"FT1", "FT2"}, listing_out);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message, "failed to write report");
    EXPECT_EQ(outcome.error().kind, SdkError::TransportError);
    EXPECT_TRUE(fake::state.open_calls.empty());

    // The first instrument's part is cut: it is finished and closed, the
    // second one is never opened.
    SetUp();
    const std::string listing =
        "device_count=2\n[0] id=FT1 label=Velmar FT1 serial=FT1\n"
        "[1] id=FT2 label=Velmar FT2 serial=FT2\n";
    LimitedOutput device_cut(listing.size() + 40);
    std::ostream device_out(&device_cut);
    outcome = run({"FT1", "FT2"}, device_out);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message, "failed to write report");
    EXPECT_EQ(device_cut.written.substr(0, listing.size()), listing);
    EXPECT_EQ(fake::state.open_calls, std::vector<std::string>{"FT1"});
    EXPECT_EQ(fake::state.close_calls, 1);
}

TEST(ReportOutput, FinalFlushSeesFailedWritesOfEitherStream) {
    std::FILE *writable = std::tmpfile();
    ASSERT_NE(writable, nullptr);
    // A read-only C stream refuses writes, as one of liborv's own prints to a
    // full standard output would fail before the final flush.
    std::FILE *read_only = std::fopen(platform::executable_path().value().c_str(), "rb");
    ASSERT_NE(read_only, nullptr);
    std::ostringstream good;
    std::ostringstream bad;
    bad.setstate(std::ios::badbit);

    EXPECT_TRUE(finish_report(good, writable));
    EXPECT_FALSE(finish_report(bad, writable));
    EXPECT_EQ(std::fwrite("lost", 1, 4, read_only), 0u);
    auto outcome = finish_report(good, read_only);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message, "failed to write report");
    EXPECT_EQ(outcome.error().kind, SdkError::TransportError);

    std::fclose(read_only);
    std::fclose(writable);
}
