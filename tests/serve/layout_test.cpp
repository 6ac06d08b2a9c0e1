// The parts of orvsim-serve that need no tty: where bridges appear in the
// provider's list, which scenarios can be served, when answer bytes go out,
// and the instrument that is unplugged after a number of answers.
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "chip.h"
#include "ftd2xx.h"
#include "instrument.h"
#include "link.h"
#include "nir_instrument.h"
#include "nir_requests.h"
#include "pacing.h"
#include "scenario.h"
#include "tty_layout.h"

namespace {

using orvserve::fake_bridge;
using orvsim::Clock;

std::vector<unsigned> ports_of(const std::string &devpath) {
    std::vector<unsigned> ports;
    std::istringstream in(devpath);
    for (std::string part; std::getline(in, part, '.');) ports.push_back(std::stoul(part));
    return ports;
}

TEST(TtyLayout, ListOrderIsScenarioOrderAndEveryLocationFitsALocId) {
    orvsim::BridgeConfig config;
    std::tuple<unsigned, std::vector<unsigned>> previous{0, {}};
    for (size_t position = 0; position < 1024; ++position) {
        const orvtty::tree::SysfsBridge b = fake_bridge(config, position, "/dev/null");
        EXPECT_EQ(b.tty, "ttyUSB" + std::to_string(position));
        const std::tuple<unsigned, std::vector<unsigned>> here{b.busnum, ports_of(b.devpath)};
        ASSERT_LT(previous, here) << "position " << position;
        for (unsigned port : std::get<1>(here)) ASSERT_TRUE(port >= 1 && port <= 15) << b.devpath;
        ASSERT_LE(b.busnum, 255u);
        previous = here;
    }
}

TEST(TtyLayout, NodeFieldsComeFromTheBridge) {
    orvsim::Scenario s = orvsim::parse_scenario(R"({"bridges": [
        {"serial": "A1", "description": "SIMULATED x", "vendor": "1234", "product": "ABCD",
         "type": 8, "flags": 2}]})",
                                                "test");
    const orvtty::tree::SysfsBridge b = fake_bridge(s.bridges[0], 0, "/dev/pts/9");
    EXPECT_EQ(b.node, "/dev/pts/9");
    EXPECT_EQ(b.serial, "A1");
    EXPECT_EQ(b.product, "SIMULATED x");
    EXPECT_EQ(b.vid, 0x1234);
    EXPECT_EQ(b.pid, 0xABCD);
    EXPECT_EQ(orvtty::chip_type(b.bcd_device), orvtty::CHIP_232H);
    EXPECT_GE(b.speed_mbps, 480u);  // the high-speed flag
    EXPECT_EQ(b.driver, "ftdi_sio");
}

TEST(TtyLayout, EveryServableChipTypeReadsBackAsItself) {
    for (uint32_t type : {0u, 1u, 3u, 5u, 8u, 9u}) {
        orvsim::BridgeConfig config;
        config.type = type;
        EXPECT_EQ(orvtty::chip_type(fake_bridge(config, 0, "").bcd_device), type);
    }
}

struct Unservable {
    const char *bridge;  // members of the second bridge
    const char *problem;
};

// Test names (and CTest's) show the problem, the same in every build.
void PrintTo(const Unservable &row, std::ostream *os) { *os << row.problem; }

class UnservableScenario : public ::testing::TestWithParam<Unservable> {};

TEST_P(UnservableScenario, IsNamedWithItsBridge) {
    const std::string json = std::string(R"({"bridges": [{"serial": "OK1"}, {"serial": "BAD2", )") +
                             GetParam().bridge + "}]}";
    const std::vector<std::string> problems =
        orvserve::unservable(orvsim::parse_scenario(json, "test"));
    ASSERT_EQ(problems.size(), 1u) << json;
    EXPECT_EQ(problems[0].rfind("bridges[1] (BAD2): ", 0), 0u) << problems[0];
    EXPECT_NE(problems[0].find(GetParam().problem), std::string::npos) << problems[0];
}

INSTANTIATE_TEST_SUITE_P(
    TtyLayout, UnservableScenario,
    ::testing::Values(
        Unservable{R"("open_status": 3)", "open_status"}, Unservable{R"("type": 6)", "type 6"},
        Unservable{R"("type": 2)", "type 2"}, Unservable{R"("flags": 1)", "flags"},
        Unservable{R"("description": "two\nlines")", "line end"},
        Unservable{R"("instrument": {"model": "SIM-NIR256", "faults": [{"kind": "write_error"}]})",
                   "write_error"},
        Unservable{R"("instrument": {"model": "SIM-UV1024", "faults": [{"kind": "short_write"}]})",
                   "short_write"},
        Unservable{R"("instrument": {"model": "SIM-UV1024", "faults": [{"kind": "read_error"}]})",
                   "read_error"}));

TEST(TtyLayout, ServableScenarios) {
    EXPECT_TRUE(orvserve::unservable(orvsim::default_scenario()).empty());
    const orvsim::Scenario unplugging = orvsim::parse_scenario(R"({"bridges": [{"serial": "A",
        "instrument": {"model": "SIM-UV1024", "unplug_after": 3,
                       "faults": [{"kind": "read_error", "persistent": true, "occurrence": 9}]}}]})",
                                                               "test");
    EXPECT_TRUE(orvserve::unservable(unplugging).empty());
    const orvsim::Scenario failing_list =
        orvsim::parse_scenario(R"({"list": {"get_status": 4}, "bridges": []})", "test");
    ASSERT_EQ(orvserve::unservable(failing_list).size(), 1u);
}

// A 4000-byte answer at 1 MB/s, 1 ms after the request.
class Pacing : public ::testing::Test {
protected:
    void SetUp() override {
        orvsim::Reply reply;
        reply.bytes.assign(4000, 0x5A);
        end = link.schedule(reply, t0, orvsim::LinkTiming{1.0, 1e6, 1.0});
    }
    static Clock::duration us(int n) { return std::chrono::microseconds(n); }

    orvsim::Link link;
    const Clock::time_point t0 = Clock::now();
    Clock::time_point end;
};

TEST_F(Pacing, SleepsUntilTheFirstByteThenWakesInBatchesAndAtTheLastByte) {
    EXPECT_EQ(end, t0 + us(1000 + 4000));
    EXPECT_EQ(orvserve::next_wake(link, t0), t0 + us(1001));  // nothing before the first byte

    uint8_t out[4000];
    Clock::time_point now = t0 + us(1001);
    EXPECT_EQ(link.take(out, sizeof out, now), 1u);
    EXPECT_EQ(orvserve::next_wake(link, now), now + orvserve::kBatchInterval);
    // Bytes that fell due since are no reason to wake before the batch.
    EXPECT_EQ(orvserve::next_wake(link, now + us(5)), now + us(5) + orvserve::kBatchInterval);

    now = end - us(300);  // less than a batch left: exactly at the last byte
    link.take(out, sizeof out, now);
    EXPECT_EQ(orvserve::next_wake(link, now), end);
    EXPECT_EQ(link.take(out, sizeof out, end), 300u);
    EXPECT_EQ(orvserve::next_wake(link, end), std::nullopt);
}

TEST_F(Pacing, ALaterAnswerDoesNotDelayTheLastByteOfTheFirst) {
    orvsim::Reply second;
    second.bytes.assign(10, 0x11);
    link.schedule(second, t0, orvsim::LinkTiming{1.0, 1e6, 1.0});
    uint8_t out[4000];
    const Clock::time_point now = end - us(200);
    link.take(out, sizeof out, now);
    EXPECT_EQ(orvserve::next_wake(link, now), end);
}

TEST(UnplugAfter, TheRequestAfterTheLastAnsweredOneFindsTheBridgeGone) {
    const orvsim::Scenario s = orvsim::parse_scenario(
        R"({"bridges": [{"serial": "A", "instrument": {"model": "SIM-NIR256", "unplug_after": 2}}]})",
        "test");
    ASSERT_EQ(s.bridges[0].instrument.unplug_after, 2u);
    auto instrument = orvsim::make_instrument(s.bridges[0].instrument);
    const orvsim::Bytes request = version_request();
    const orvsim::Bytes unknown{0x01, 0x02, 0x03};  // not a frame: no answer, not counted
    for (int i = 0; i < 2; ++i) {
        orvsim::WriteResult ignored;
        instrument->receive(unknown.data(), unknown.size(), ignored);
        EXPECT_TRUE(ignored.replies.empty());
        orvsim::WriteResult answered;
        instrument->receive(request.data(), request.size(), answered);
        EXPECT_EQ(answered.replies.size(), 1u) << "answer " << i + 1;
        EXPECT_FALSE(answered.unplug);
    }
    for (int i = 0; i < 2; ++i) {  // and stays gone
        orvsim::WriteResult gone;
        instrument->receive(request.data(), request.size(), gone);
        EXPECT_TRUE(gone.replies.empty());
        EXPECT_TRUE(gone.unplug);
        EXPECT_TRUE(gone.fail_next_read);
    }
}

TEST(UnplugAfter, ZeroNeverUnplugsAndNegativeIsRefused) {
    const orvsim::Scenario s = orvsim::parse_scenario(
        R"({"bridges": [{"serial": "A", "instrument": {"model": "SIM-NIR256"}}]})", "test");
    EXPECT_EQ(s.bridges[0].instrument.unplug_after, 0u);
    EXPECT_THROW(
        orvsim::parse_scenario(
            R"({"bridges": [{"serial": "A", "instrument": {"model": "SIM-NIR256", "unplug_after": -1}}]})",
            "test"),
        orvsim::ScenarioError);
}

}  // namespace
