// orvsim-serve as a program: its ready line, the tree it writes and removes,
// its answers on the ttys (timing, a silent bridge, an unplug, a new opener)
// and the input it refuses.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "ftd2xx.h"
#include "nir_instrument.h"
#include "nir_requests.h"
#include "scenario.h"
#include "serve_process.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orvsim::Clock;  // steady_clock

namespace {

// The host's end of a served tty, raw, as the provider sets it up.
class HostTty {
public:
    explicit HostTty(const std::string &path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ < 0) return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~HostTty() {
        if (fd_ >= 0) ::close(fd_);
    }
    HostTty(const HostTty &) = delete;
    HostTty &operator=(const HostTty &) = delete;

    bool is_open() const { return fd_ >= 0; }
    void send(const orvsim::Bytes &bytes) const {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // What arrives until `count` bytes are there or `wait` passes.
    orvsim::Bytes receive(size_t count, std::chrono::milliseconds wait) const {
        orvsim::Bytes got;
        const Clock::time_point deadline = Clock::now() + wait;
        while (got.size() < count && wait_input(deadline)) {
            uint8_t buffer[4096];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    // The tty hung up (what an unplugged bridge's tty does) within `wait`.
    bool hangs_up(std::chrono::milliseconds wait) const {
        const Clock::time_point deadline = Clock::now() + wait;
        while (wait_input(deadline)) {
            uint8_t buffer[256];
            if (::read(fd_, buffer, sizeof buffer) <= 0) return true;
        }
        return false;
    }

private:
    bool wait_input(Clock::time_point deadline) const {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd_, POLLIN, 0};
        return left.count() > 0 && poll(&p, 1, static_cast<int>(left.count())) > 0;
    }
    int fd_;
};

class Serve : public ::testing::Test {
protected:
    std::string root() const { return folder.path() + "/root"; }
    std::string dev(int n) const { return root() + "/dev/ttyUSB" + std::to_string(n); }
    std::string class_tty(int n) const {
        return root() + "/sys/class/tty/ttyUSB" + std::to_string(n);
    }

    // Starts the server on `scenario` (empty: the default) and reads its ready line.
    void start(const std::string &scenario = "", std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--root", root()};
        if (!scenario.empty()) {
            args.push_back("--scenario");
            args.push_back(folder.write("scenario.json", scenario));
        }
        args.insert(args.end(), extra.begin(), extra.end());
        server = std::make_unique<servetest::ServeProcess>(ORVSIM_SERVE_PROGRAM, args);
        const std::optional<std::string> line = server->ready_line(10s);
        ASSERT_TRUE(line) << server->error_text();
        ready = *line;
    }
    // Runs the server on bad input: its exit status and message.
    std::pair<std::optional<int>, std::string> refused(const std::vector<std::string> &args) {
        servetest::ServeProcess p(ORVSIM_SERVE_PROGRAM, args);
        const std::optional<int> status = p.wait_exit(10s);
        return {status, p.error_text()};
    }

    servetest::TempFolder folder;
    std::unique_ptr<servetest::ServeProcess> server;
    std::string ready;
};

TEST_F(Serve, ReadyLineNamesTheTreeThatListsEveryBridgeAsTheSimulatorDoes) {
    start();
    const auto variables = servetest::variables_of(ready);
    ASSERT_EQ(variables.size(), 2u) << ready;
    EXPECT_EQ(variables[0], std::make_pair(std::string("ORV_TTY_SYSFS_ROOT"), root() + "/sys"));
    EXPECT_EQ(variables[1], std::make_pair(std::string("ORV_TTY_DEV_ROOT"), root() + "/dev"));

    for (int n = 0; n < 4; ++n) {
        EXPECT_TRUE(fs::is_symlink(class_tty(n))) << n;
        EXPECT_EQ(fs::read_symlink(dev(n)).string().rfind("/dev/pts/", 0), 0u) << n;
        EXPECT_TRUE(fs::is_character_file(dev(n))) << n;
    }
    // Through the tty provider: the simulator's list, in the simulator's order.
    for (const auto &[name, value] : variables) setenv(name.c_str(), value.c_str(), 1);
    DWORD count = 0;
    ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    ASSERT_EQ(count, 4u);
    FT_DEVICE_LIST_INFO_NODE nodes[4];
    ASSERT_EQ(FT_GetDeviceInfoList(nodes, &count), FT_OK);
    const orvsim::Scenario expected = orvsim::default_scenario();
    for (size_t i = 0; i < 4; ++i) {
        const orvsim::BridgeConfig &b = expected.bridges[i];
        EXPECT_EQ(nodes[i].SerialNumber, b.serial);
        EXPECT_EQ(nodes[i].Description, b.description);
        EXPECT_EQ(nodes[i].ID, b.id);
        EXPECT_EQ(nodes[i].Type, b.type);
        EXPECT_EQ(nodes[i].Flags, b.flags);
    }
    unsetenv("ORV_TTY_SYSFS_ROOT");
    unsetenv("ORV_TTY_DEV_ROOT");
}

class StopSignal : public Serve, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignal, RemovesTheTreeAndEndsWithStatusZero) {
    start();
    HostTty host(dev(0));  // a host that still has a tty open does not keep the server
    ASSERT_TRUE(host.is_open());
    server->signal(GetParam());
    EXPECT_EQ(server->wait_exit(5s), 0) << server->error_text();
    EXPECT_FALSE(fs::exists(root()));
    EXPECT_TRUE(host.hangs_up(1s));
    EXPECT_EQ(server->error_text(), "");
}

INSTANTIATE_TEST_SUITE_P(Serve, StopSignal, ::testing::Values(SIGTERM, SIGINT));

TEST_F(Serve, AnEmptyRootFolderIsLeftEmpty) {
    fs::create_directory(root());
    start();
    EXPECT_TRUE(fs::exists(root() + "/sys/class/tty/ttyUSB0"));
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait_exit(5s), 0);
    EXPECT_TRUE(fs::is_directory(root()));
    EXPECT_TRUE(fs::is_empty(root()));
}

TEST_F(Serve, BadInputIsSaidAndLeavesNothingBehind) {
    const std::string missing = folder.path() + "/missing.json";
    auto [status, text] = refused({"--root", root(), "--scenario", missing});
    EXPECT_EQ(status, 2);
    EXPECT_EQ(text, "orvsim-serve: scenario " + missing + ": cannot be read\n");

    const std::string failing_open = folder.write(
        "open.json", R"({"bridges": [{"serial": "X1"}, {"serial": "X2", "open_status": 3}]})");
    std::tie(status, text) = refused({"--root", root(), "--scenario", failing_open});
    EXPECT_EQ(status, 2);
    EXPECT_EQ(text, "orvsim-serve: scenario " + failing_open +
                        ": bridges[1] (X2): open_status: a tty cannot refuse to open\n");

    std::tie(status, text) = refused({"--scenario", failing_open});
    EXPECT_EQ(status, 2);
    EXPECT_NE(text.find("--root"), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(root()));

    const std::string deep = folder.path() + "/no/such/root";
    std::tie(status, text) = refused({"--root", deep});
    EXPECT_EQ(status, 2);
    EXPECT_EQ(text, "orvsim-serve: --root " + deep + ": the folder above it does not exist\n");
    EXPECT_FALSE(fs::exists(folder.path() + "/no"));

    fs::create_directory(root());
    folder.write("root/keep", "x");
    std::tie(status, text) = refused({"--root", root()});
    EXPECT_EQ(status, 2);
    EXPECT_EQ(text, "orvsim-serve: --root " + root() + ": exists and is not an empty folder\n");
    EXPECT_TRUE(fs::exists(root() + "/keep"));
}

constexpr const char *kTwoBridges = R"({"latency_ms": 40, "bridges": [
    {"serial": "NIR1", "instrument": {"model": "SIM-NIR256", "unplug_after": 2}},
    {"serial": "EMPTY2"}]})";

TEST_F(Serve, AnswersWhenTheLinkModelSays) {
    start(kTwoBridges);
    HostTty host(dev(0));
    ASSERT_TRUE(host.is_open());
    const orvsim::Bytes expected = version_answer("SIMULATED NIR 1.0");
    const Clock::time_point sent = Clock::now();
    host.send(version_request());
    EXPECT_EQ(host.receive(expected.size(), 2s), expected);
    // 40 ms latency and 22 bytes at 1 MB/s; the margin is for a busy machine.
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    EXPECT_GE(ms, 40.0);
    EXPECT_LT(ms, 40.0 + 30.0);
}

TEST_F(Serve, ABridgeWithoutAnInstrumentNeverAnswers) {
    start(kTwoBridges);
    HostTty host(dev(1));
    ASSERT_TRUE(host.is_open());
    host.send(version_request());
    EXPECT_TRUE(host.receive(1, 300ms).empty());
    EXPECT_FALSE(host.hangs_up(10ms));
}

TEST_F(Serve, UnplugAfterTwoAnswersHangsTheTtyUpAndTakesItFromTheTree) {
    start(kTwoBridges);
    HostTty host(dev(0));
    ASSERT_TRUE(host.is_open());
    const orvsim::Bytes expected = version_answer("SIMULATED NIR 1.0");
    for (int i = 0; i < 2; ++i) {
        host.send(version_request());
        ASSERT_EQ(host.receive(expected.size(), 2s), expected) << "answer " << i + 1;
    }
    EXPECT_TRUE(fs::is_symlink(class_tty(0)));
    host.send(version_request());
    EXPECT_TRUE(host.hangs_up(2s));
    EXPECT_FALSE(fs::exists(fs::symlink_status(class_tty(0))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dev(0))));
    EXPECT_TRUE(fs::is_symlink(class_tty(1)));  // the other bridge stays
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait_exit(5s), 0) << server->error_text();
}

TEST_F(Serve, ANewOpenerFindsNothingOfWhatArrivedBefore) {
    start(kTwoBridges);
    const orvsim::Bytes expected = version_answer("SIMULATED NIR 1.0");
    {
        HostTty first(dev(0));
        first.send(version_request());
        std::this_thread::sleep_for(200ms);  // the answer has arrived, unread
    }
    HostTty second(dev(0));
    std::this_thread::sleep_for(100ms);  // the server has seen the opener
    EXPECT_TRUE(second.receive(1, 100ms).empty());
    second.send(version_request());  // the bridge works on
    EXPECT_EQ(second.receive(expected.size(), 2s), expected);
}

}  // namespace
