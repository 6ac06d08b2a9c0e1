#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bench.h"
#include "format.h"

using namespace velmar;

TEST(FormatPlain, ShortestRoundTripInFixedNotation) {
    EXPECT_EQ(format_plain(10.0), "10");
    EXPECT_EQ(format_plain(12.5), "12.5");
    EXPECT_EQ(format_plain(200.0), "200");
    EXPECT_EQ(format_plain(0.1), "0.1");
    EXPECT_EQ(format_plain(1e21), "1000000000000000000000");
    EXPECT_EQ(format_plain(1.5e-7), "0.00000015");
}

TEST(FormatFixed2, RoundsTheExactBinaryValueWithTiesToEven) {
    EXPECT_EQ(format_fixed2(0.125), "0.12");  // exact tie: down to the even digit
    EXPECT_EQ(format_fixed2(0.375), "0.38");  // exact tie: up to the even digit
    EXPECT_EQ(format_fixed2(2.675), "2.67");  // stored just below 2.675
    EXPECT_EQ(format_fixed2(1.005), "1.00");  // stored just below 1.005
    EXPECT_EQ(format_fixed2(0.0), "0.00");
    EXPECT_EQ(format_fixed2(12.3456), "12.35");
    EXPECT_EQ(format_fixed2(1234.5), "1234.50");
}

TEST(FormatFixed2, PrintsTheInitialMinimumOfAnEmptyCaseInFull) {
    const std::string text = format_fixed2(ReadTimes{}.min_ms);
    EXPECT_EQ(text.size(), 309u + 3u);
    EXPECT_EQ(text.substr(0, 17), "17976931348623157");
    EXPECT_EQ(text.substr(text.size() - 3), ".00");
}

TEST(FormatForms, OptionalOutcomeAndHex) {
    EXPECT_EQ(format_optional(10000u), "Some(10000)");
    EXPECT_EQ(format_optional(std::nullopt), "None");
    EXPECT_EQ(format_outcome(Status(Unit{})), "Ok(())");
    EXPECT_EQ(format_outcome(Status(SdkError::Timeout)), "Err(Timeout)");
    EXPECT_EQ(format_hex32(0x04036015), "0x04036015");
    EXPECT_EQ(format_hex32(0x21), "0x00000021");
    EXPECT_EQ(format_hex32(0xDEADBEEF), "0xDEADBEEF");
    EXPECT_EQ(format_hex32(0), "0x00000000");
}

TEST(CaseLine, AllFieldsInOrder) {
    CaseReport report{kBenchCases[0], Unit{}, 10000u, 1u, ReadTimes{}};
    report.times.add(12.0, 2048);
    report.times.add(11.97, 2048);
    report.times.add(13.05, 2048);
    report.bench_case.iterations = 3;
    EXPECT_EQ(format_case_line(report),
              "case integration=10ms average=1 readback=Some(10000)us/Some(1) smoothing_set=Ok(()) "
              "iter=3 "
              "len=2048 avg_ms=12.34 min_ms=11.97 max_ms=13.05");

    CaseReport failing{kBenchCases[3], SdkError::UnsupportedFeature, std::nullopt, std::nullopt,
                       ReadTimes{}};
    failing.times.add(1.0, 256);
    EXPECT_THAT(format_case_line(failing),
                testing::StartsWith("case integration=50ms average=3 readback=Noneus/None "
                                    "smoothing_set=Err(UnsupportedFeature) iter=10 len=256 "));
}

TEST(ElapsedMs, CombinesSecondsAndNanosecondsAndNeverGoesNegative) {
    EXPECT_DOUBLE_EQ(elapsed_ms({5, 900000000}, {6, 100000000}), 200.0);
    EXPECT_DOUBLE_EQ(elapsed_ms({1, 0}, {1, 1500000}), 1.5);
    EXPECT_EQ(elapsed_ms({7, 10}, {7, 5}), 0.0);
    EXPECT_EQ(elapsed_ms({8, 0}, {7, 999999999}), 0.0);
}
