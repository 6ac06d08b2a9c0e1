// Every parameter checks its value completely before an instrument is involved.
#include <gtest/gtest.h>

#include "commands/parameters.h"
#include "failure.h"

namespace orvcli {
namespace {

TEST(Parameters, ValidValuesAreAccepted) {
    const std::pair<const char *, const char *> cases[] = {
        {"integration", "10ms"}, {"average", "255"},
        {"level", "0"},          {"xenon-pulse", "100,200"},
        {"xenon-mode", "0x01"},  {"trigger", "1,0x02,255"},
        {"dac", "4095"},         {"stored-integration", "1.5s"},
        {"stored-average", "1"}, {"stored-smoothing", "0"}};
    for (const auto &[name, value] : cases)
        EXPECT_TRUE(find_parameter(name).prepare(value)) << name << " " << value;
}

TEST(Parameters, BadValuesAreUsageFailuresNamingTheParameter) {
    const std::pair<const char *, const char *> cases[] = {
        {"integration", "10"},    {"integration", "0ms"},   {"average", "0"},
        {"average", "256"},       {"level", "x"},           {"xenon-pulse", "100"},
        {"xenon-pulse", "1,2,3"}, {"trigger", "1,2,256"},   {"trigger", "1,2"},
        {"dac", "4096"},          {"stored-average", "-1"}, {"stored-integration", "5 min"}};
    for (const auto &[name, value] : cases) {
        try {
            find_parameter(name).prepare(value);
            ADD_FAILURE() << name << " accepted " << value;
        } catch (const Failure &failure) {
            EXPECT_EQ(failure.status(), ExitStatus::usage);
            EXPECT_EQ(std::string(failure.what()).rfind(name, 0), 0u) << failure.what();
        }
    }
}

TEST(Parameters, UnknownNameListsTheKnownOnes) {
    try {
        find_parameter("colour");
        ADD_FAILURE();
    } catch (const Failure &failure) {
        EXPECT_EQ(failure.status(), ExitStatus::usage);
        for (const Parameter &parameter : parameters())
            EXPECT_NE(std::string(failure.what()).find(parameter.name), std::string::npos);
    }
}

}  // namespace
}  // namespace orvcli
