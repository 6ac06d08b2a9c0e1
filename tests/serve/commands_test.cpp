// orvsim-serve's command lines: what reaches the instruments, and the
// answers to lines that must not.
#include <gtest/gtest.h>

#include <vector>

#include "commands.h"

namespace {

using orvserve::CommandLines;
using orvserve::run_command;

struct Switched {
    size_t bridge;
    bool lamp_on, sample_in;
};

TEST(ServeCommands, LightReachesOnlyTheNamedBridge) {
    std::vector<Switched> seen;
    // Bridge 1 refuses (no sample, say).
    auto set = [&](size_t bridge, const orvsim::LightPath &p) {
        seen.push_back({bridge, p.lamp_on, p.sample_in});
        return bridge != 1;
    };
    EXPECT_EQ(run_command("light 2 off blank", 3, set), "ok light 2 off blank");
    EXPECT_EQ(run_command("  light 0   on sample ", 3, set), "ok light 0 on sample");
    EXPECT_EQ(run_command("light 1 on sample", 3, set).rfind("error: bridge 1 has no sample", 0),
              0u);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].bridge, 2u);
    EXPECT_FALSE(seen[0].lamp_on);
    EXPECT_FALSE(seen[0].sample_in);
    EXPECT_TRUE(seen[1].lamp_on);
    EXPECT_TRUE(seen[1].sample_in);

    // Malformed lines never reach a bridge.
    seen.clear();
    for (const char *line : {"", "lamp 0 on blank", "light 0 on", "light 0 on blank extra",
                             "light 3 on blank", "light -1 on blank", "light 99999999999 on blank",
                             "light x on blank", "light 0 dim blank", "light 0 on cuvette"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(run_command(line, 3, set).rfind("error: ", 0), 0u);
    }
    EXPECT_TRUE(seen.empty());
}

TEST(ServeCommands, LinesAreSplitAndBounded) {
    CommandLines lines;
    std::vector<std::pair<std::string, bool>> got;
    auto take = [&](const std::string &line, bool overlong) { got.emplace_back(line, overlong); };
    const std::string in = "light 0 on blank\r\nlig";
    lines.add(in.data(), in.size(), take);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].first, "light 0 on blank");
    const std::string rest = "ht 1 off sample\n";
    lines.add(rest.data(), rest.size(), take);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].first, "light 1 off sample");  // a line split over two reads

    const std::string huge = std::string(100000, 'x') + "\nlight 0 on blank\n";
    lines.add(huge.data(), huge.size(), take);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_TRUE(got[2].second);
    EXPECT_EQ(got[2].first.size(), orvserve::kMaxCommandLine);
    EXPECT_FALSE(got[3].second);  // the next line is whole again
    EXPECT_EQ(got[3].first, "light 0 on blank");
}

}  // namespace
