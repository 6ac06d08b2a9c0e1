// Reads, writes, timeouts, purges and the latency timer of an open tty,
// with the test playing the instrument on the pty's other side.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "provider_fixture.h"

namespace ttytest {
namespace {

using namespace std::chrono_literals;

class Io : public OpenBridge {
protected:
    // FT_Read of `n` bytes under `timeout_ms`; the text, the status and the time taken.
    struct Read {
        FT_STATUS status;
        std::string bytes;
        double ms;
    };
    Read read(FT_HANDLE h, DWORD n, ULONG timeout_ms) {
        EXPECT_EQ(FT_SetTimeouts(h, timeout_ms, 1000), FT_STATUS{FT_OK});
        std::string buf(n, '\0');
        DWORD got = 0;
        const auto start = Clock::now();
        const FT_STATUS status = FT_Read(h, buf.data(), n, &got);
        const double ms = ms_since(start);
        buf.resize(got);
        return Read{status, buf, ms};
    }
};

TEST_F(Io, AReadCollectsBytesArrivingInPiecesAndReturnsWhenComplete) {
    ScriptedPeer script(*peer, {{0ms, "ab"}, {60ms, "cd"}, {60ms, "ef"}});
    const Read r = read(handle, 6, 5000);
    EXPECT_EQ(r.status, FT_STATUS{FT_OK});
    EXPECT_EQ(r.bytes, "abcdef");
    EXPECT_LT(r.ms, 3000);  // not the timeout
}

TEST_F(Io, AReadThatTimesOutReturnsWhatArrived) {
    ScriptedPeer script(*peer, {{0ms, "xyz"}});
    const Read r = read(handle, 10, 400);
    EXPECT_EQ(r.status, FT_STATUS{FT_OK});
    EXPECT_EQ(r.bytes, "xyz");
    EXPECT_GE(r.ms, 380);
    EXPECT_LT(r.ms, 3000);
}

TEST_F(Io, AZeroTimeoutReadTakesWhatIsThereAndDoesNotWait) {
    const Read empty = read(handle, 4, 0);
    EXPECT_EQ(empty.status, FT_STATUS{FT_OK});
    EXPECT_EQ(empty.bytes, "");
    EXPECT_LT(empty.ms, 200);

    peer->send("ab");
    ASSERT_TRUE(wait_for_input(*peer, 2000ms));
    const Read some = read(handle, 4, 0);
    EXPECT_EQ(some.status, FT_STATUS{FT_OK});
    EXPECT_EQ(some.bytes, "ab");
    EXPECT_LT(some.ms, 200);
}

TEST_F(Io, EveryByteValuePassesUnchangedBothWays) {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    DWORD done = 0;
    ASSERT_EQ(FT_Write(handle, all.data(), 256, &done), FT_STATUS{FT_OK});
    EXPECT_EQ(done, 256u);
    EXPECT_EQ(peer->receive(256, 2000ms), all);

    peer->send(all);
    const Read r = read(handle, 256, 5000);
    EXPECT_EQ(r.status, FT_STATUS{FT_OK});
    EXPECT_EQ(r.bytes, all);
}

TEST_F(Io, AWriteThatTimesOutReportsWhatWasTaken) {
    // The peer reads nothing, so the tty's queues fill up.
    ASSERT_EQ(FT_SetTimeouts(handle, 0, 300), FT_STATUS{FT_OK});
    std::string big(4 << 20, 'w');
    DWORD done = 0;
    const auto start = Clock::now();
    EXPECT_EQ(FT_Write(handle, big.data(), static_cast<DWORD>(big.size()), &done),
              FT_STATUS{FT_OK});
    const double ms = ms_since(start);
    EXPECT_GT(done, 0u);
    EXPECT_LT(done, big.size());
    EXPECT_GE(ms, 280);
    EXPECT_LT(ms, 3000);
}

TEST_F(Io, PurgeAndResetDropReceivedBytes) {
    peer->send("old");
    ASSERT_TRUE(wait_for_input(*peer, 2000ms));
    ASSERT_EQ(FT_Purge(handle, FT_PURGE_RX), FT_STATUS{FT_OK});
    peer->send("new");
    EXPECT_EQ(read(handle, 6, 300).bytes, "new");

    peer->send("older");
    ASSERT_TRUE(wait_for_input(*peer, 2000ms));
    ASSERT_EQ(FT_ResetDevice(handle), FT_STATUS{FT_OK});
    EXPECT_EQ(read(handle, 5, 200).bytes, "");

    // A pty hands written bytes to its other side at once, so nothing unsent
    // is left to drop here; the purge of the transmit side only has to work.
    peer->send("kept");
    ASSERT_TRUE(wait_for_input(*peer, 2000ms));
    ASSERT_EQ(FT_Purge(handle, FT_PURGE_TX), FT_STATUS{FT_OK});
    EXPECT_EQ(read(handle, 4, 300).bytes, "kept");
}

TEST_F(Io, TheLatencyTimerGoesToTheBridgesSysfsAttribute) {
    const auto attribute = tree->port_dir("ttyUSB0") / "latency_timer";
    EXPECT_EQ(FT_SetLatencyTimer(handle, 2), FT_STATUS{FT_OK});
    std::string text;
    std::ifstream(attribute) >> text;
    EXPECT_EQ(text, "2");
    EXPECT_EQ(FT_SetLatencyTimer(handle, 0), FT_STATUS{FT_INVALID_PARAMETER});

    // Without the attribute a pty has no latency timer at all: nothing to set.
    std::filesystem::remove(attribute);
    EXPECT_EQ(FT_SetLatencyTimer(handle, 1), FT_STATUS{FT_OK});
    EXPECT_EQ(FT_SetUSBParameters(handle, 65536, 65536), FT_STATUS{FT_OK});
    EXPECT_EQ(FT_SetUSBParameters(handle, 100, 100), FT_STATUS{FT_INVALID_PARAMETER});
}

TEST_F(Io, HandlesWorkInParallelAndCloseEndsAWaitingRead) {
    SysfsBridge second;
    second.tty = "ttyUSB1";
    second.devpath = "2";
    PtyPeer &other = plug(second);
    ASSERT_EQ(list().size(), 2u);
    FT_HANDLE other_handle = open_device(1);
    ASSERT_NE(other_handle, nullptr);

    // One thread waits long on the first handle; meanwhile the second handle
    // reads and writes at full speed, and closing the first ends its wait.
    ASSERT_EQ(FT_SetTimeouts(handle, 20000, 1000), FT_STATUS{FT_OK});
    auto waiting = std::async(std::launch::async, [this] {
        char buf[4];
        DWORD got = 0;
        const auto start = Clock::now();
        const FT_STATUS status = FT_Read(handle, buf, sizeof buf, &got);
        return std::make_pair(status, ms_since(start));
    });
    std::this_thread::sleep_for(100ms);
    ScriptedPeer script(other, {{50ms, "pong"}});
    const Read r = read(other_handle, 4, 5000);
    EXPECT_EQ(r.bytes, "pong");
    EXPECT_LT(r.ms, 2000);
    EXPECT_EQ(waiting.wait_for(0ms), std::future_status::timeout);

    ASSERT_EQ(FT_Close(handle), FT_STATUS{FT_OK});
    opened.erase(opened.begin());
    ASSERT_EQ(waiting.wait_for(3s), std::future_status::ready);
    const auto [status, ms] = waiting.get();
    EXPECT_EQ(status, FT_STATUS{FT_INVALID_HANDLE});
    EXPECT_LT(ms, 5000);
    // The lock went with it: the device can be opened again at once.
    EXPECT_NE(open_device(0), nullptr);
}

TEST_F(Io, BadArgumentsAreRefused) {
    DWORD count = 0;
    char buf[2];
    EXPECT_EQ(FT_Read(handle, nullptr, 2, &count), FT_STATUS{FT_INVALID_PARAMETER});
    EXPECT_EQ(FT_Read(handle, buf, 2, nullptr), FT_STATUS{FT_INVALID_PARAMETER});
    EXPECT_EQ(FT_Write(handle, nullptr, 2, &count), FT_STATUS{FT_INVALID_PARAMETER});
    EXPECT_EQ(FT_Read(nullptr, buf, 2, &count), FT_STATUS{FT_INVALID_HANDLE});
    EXPECT_EQ(FT_Purge(reinterpret_cast<FT_HANDLE>(0x1234), FT_PURGE_RX),
              FT_STATUS{FT_INVALID_HANDLE});
}

}  // namespace
}  // namespace ttytest
