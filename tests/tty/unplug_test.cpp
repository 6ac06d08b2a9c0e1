// A bridge that goes away while open: the read that waits ends with
// FT_IO_ERROR at once, and so does every later call of the handle.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "provider_fixture.h"

namespace ttytest {
namespace {

using namespace std::chrono_literals;

class Unplug : public OpenBridge {
protected:
    void SetUp() override {
        OpenBridge::SetUp();
        ASSERT_EQ(FT_SetTimeouts(handle, 10000, 10000), FT_STATUS{FT_OK});
    }

    // Reads until the device is gone; returns the status and the time it took.
    std::pair<FT_STATUS, double> read_until_gone() {
        char buf[16];
        DWORD got = 0;
        const auto start = Clock::now();
        const FT_STATUS status = FT_Read(handle, buf, sizeof buf, &got);
        return {status, ms_since(start)};
    }

    void expect_every_call_fails() {
        char buf[4] = {};
        DWORD n = 0;
        EXPECT_EQ(FT_Read(handle, buf, 1, &n), FT_STATUS{FT_IO_ERROR});
        EXPECT_EQ(FT_Write(handle, buf, 1, &n), FT_STATUS{FT_IO_ERROR});
        EXPECT_EQ(FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX), FT_STATUS{FT_IO_ERROR});
        EXPECT_EQ(FT_ResetDevice(handle), FT_STATUS{FT_IO_ERROR});
        EXPECT_EQ(FT_SetTimeouts(handle, 10, 10), FT_STATUS{FT_IO_ERROR});
        EXPECT_EQ(FT_SetLatencyTimer(handle, 1), FT_STATUS{FT_IO_ERROR});
        EXPECT_EQ(FT_SetUSBParameters(handle, 4096, 4096), FT_STATUS{FT_IO_ERROR});
    }
};

TEST_F(Unplug, ThePeerHangingUpEndsAWaitingReadAndEveryLaterCall) {
    ScriptedPeer script(*peer, {{100ms, "partial"}, {50ms, "", true}});
    const auto [status, ms] = read_until_gone();
    EXPECT_EQ(status, FT_STATUS{FT_IO_ERROR});
    EXPECT_LT(ms, 5000);  // not the 10 s read timeout
    expect_every_call_fails();
    EXPECT_EQ(FT_Close(handle), FT_STATUS{FT_OK});
    opened.clear();
}

TEST_F(Unplug, TheDeviceLeavesTheListWithItsNode) {
    {
        ScriptedPeer script(*peer, {{100ms, "", true}});
        tree->remove("ttyUSB0");
        EXPECT_EQ(read_until_gone().first, FT_STATUS{FT_IO_ERROR});
    }
    EXPECT_TRUE(list().empty());
    FT_HANDLE again = nullptr;
    EXPECT_EQ(FT_Open(0, &again), FT_STATUS{FT_DEVICE_NOT_FOUND});
    expect_every_call_fails();
}

TEST_F(Unplug, AWriteAfterTheHangUpFails) {
    peer->hang_up();
    DWORD done = 0;
    EXPECT_EQ(FT_Write(handle, const_cast<char *>("cmd"), 3, &done), FT_STATUS{FT_IO_ERROR});
    EXPECT_EQ(done, 0u);
    expect_every_call_fails();
}

// The kernel hangs up the tty of an unplugged USB serial device: reads then
// give end of file and writes EIO. vhangup of the terminal side does the same
// to a pty (it needs CAP_SYS_ADMIN).
TEST_F(Unplug, AKernelHangUpIsAnUnplug) {
    const int tty = open(peer->tty_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) GTEST_SKIP() << "cannot open the pty a second time (not root)";
    std::thread hangup([tty] {
        std::this_thread::sleep_for(100ms);
        if (ioctl(tty, TIOCVHANGUP) != 0) ADD_FAILURE() << "TIOCVHANGUP: errno " << errno;
    });
    const auto [status, ms] = read_until_gone();
    hangup.join();
    close(tty);
    EXPECT_EQ(status, FT_STATUS{FT_IO_ERROR});
    EXPECT_LT(ms, 5000);
    expect_every_call_fails();
}

}  // namespace
}  // namespace ttytest
