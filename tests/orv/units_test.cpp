// Values as typed on the command line: durations, numbers and ranges.
#include <gtest/gtest.h>

#include "failure.h"
#include "units.h"

namespace orvcli {
namespace {

std::string usage_message(const std::function<void()> &call) {
    try {
        call();
    } catch (const Failure &failure) {
        EXPECT_EQ(failure.status(), ExitStatus::usage);
        return failure.what();
    }
    ADD_FAILURE() << "no failure";
    return "";
}

TEST(Units, DurationsInEveryUnit) {
    const std::pair<const char *, std::int64_t> cases[] = {
        {"10ms", 10000}, {"250us", 250},    {"1.5s", 1500000}, {" 2 s ", 2000000},
        {"0.25ms", 250}, {"7\xC2\xB5s", 7}, {"0s", 0},         {"4294.967295s", 4294967295}};
    for (const auto &[text, us] : cases) EXPECT_EQ(parse_duration(text, "--x").count(), us) << text;
}

TEST(Units, MalformedDurationsNameWhatAndWhy) {
    const std::pair<const char *, const char *> cases[] = {
        {"10", "needs a unit"},     {"10 parsecs", "unknown unit"},
        {"ms", "not a number"},     {"-5ms", "not a number"},
        {"1e3ms", "unknown unit"},  {"0.5us", "whole number of microseconds"},
        {"nan ms", "not a number"}, {"1..2ms", "not a number"},
        {"", "not a number"},       {"99999999999999999999s", "too long"}};
    for (const auto &[text, why] : cases) {
        const char *input = text;  // a lambda may not capture a structured binding (C++17)
        const std::string message = usage_message([&] { parse_duration(input, "--interval"); });
        EXPECT_NE(message.find("--interval"), std::string::npos) << message;
        EXPECT_NE(message.find(why), std::string::npos) << text << ": " << message;
    }
}

TEST(Units, IntegrationTimeBounds) {
    EXPECT_EQ(parse_integration_us("1us", "i"), 1u);
    EXPECT_EQ(parse_integration_us("4294967295us", "i"), 4294967295u);
    EXPECT_NE(usage_message([] { parse_integration_us("0ms", "i"); }).find("outside"),
              std::string::npos);
    EXPECT_NE(usage_message([] { parse_integration_us("4294967296us", "i"); }).find("outside"),
              std::string::npos);
}

TEST(Units, FormattedDurationsReadBackUnchanged) {
    for (std::int64_t us : {0LL, 1LL, 250LL, 999LL, 1000LL, 1500LL, 10000LL, 999999LL, 1000000LL,
                            1500000LL, 1234567LL, 4294967295LL}) {
        const std::string text = format_duration(Microseconds(us));
        EXPECT_EQ(parse_duration(text, "x").count(), us) << text;
    }
    EXPECT_EQ(format_duration(Microseconds(10000)), "10 ms");
    EXPECT_EQ(format_duration(Microseconds(1500000)), "1.5 s");
    EXPECT_EQ(format_duration(Microseconds(250)), "250 us");
}

TEST(Units, WholeNumbersDecimalOrHexadecimal) {
    EXPECT_EQ(parse_whole_number("255", 0, 255, "v"), 255u);
    EXPECT_EQ(parse_whole_number("0xfF", 0, 255, "v"), 255u);
    EXPECT_EQ(parse_whole_number(" 7 ", 0, 255, "v"), 7u);
    for (const char *bad : {"256", "-1", "0x100", "1.5", "", "0x", "12ab", "99999999999999999999"})
        EXPECT_FALSE(usage_message([&] { parse_whole_number(bad, 0, 255, "v"); }).empty()) << bad;
    EXPECT_NE(
        usage_message([] { parse_whole_number("0", 1, 255, "average"); }).find("outside 1 to 255"),
        std::string::npos);
}

TEST(Units, WavelengthRanges) {
    const WavelengthRange range = parse_wavelength_range("400:700.5", "--range");
    EXPECT_EQ(range.start_nm, 400);
    EXPECT_EQ(range.end_nm, 700.5);
    EXPECT_EQ(format_wavelength_range(range), "400:700.5");
    for (const char *bad : {"400", "700:400", "400:400", "a:700", "400:700nm", ":700", "400:"})
        EXPECT_FALSE(usage_message([&] { parse_wavelength_range(bad, "--range"); }).empty()) << bad;
}

}  // namespace
}  // namespace orvcli
