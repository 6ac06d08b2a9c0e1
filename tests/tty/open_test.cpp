// FT_Open and FT_Close: exclusive in this process and against others, how
// the tty is set up, and why an open fails.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "provider_fixture.h"

namespace ttytest {
namespace {

namespace fs = std::filesystem;

constexpr uid_t NOBODY = 65534;

using Opening = TtyProvider;

TEST_F(Opening, ASecondOpenInThisProcessIsRefusedUntilClosed) {
    plug(SysfsBridge{});
    FT_HANDLE first = open_device(0);
    ASSERT_NE(first, nullptr);
    FT_HANDLE second = nullptr;
    EXPECT_EQ(FT_Open(0, &second), FT_STATUS{FT_DEVICE_NOT_OPENED});
    EXPECT_EQ(second, nullptr);

    auto nodes = list();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].Flags & FT_FLAGS_OPENED, FT_FLAGS_OPENED);
    EXPECT_EQ(nodes[0].ftHandle, first);

    EXPECT_EQ(FT_Close(first), FT_STATUS{FT_OK});
    EXPECT_EQ(list()[0].Flags & FT_FLAGS_OPENED, 0u);
    // A closed handle stays dead, also once the device is open again.
    FT_HANDLE again = open_device(0);
    EXPECT_NE(again, first);
    DWORD done = 0;
    EXPECT_EQ(FT_Write(first, const_cast<char *>("x"), 1, &done), FT_STATUS{FT_INVALID_HANDLE});
    EXPECT_EQ(FT_Close(first), FT_STATUS{FT_INVALID_HANDLE});
}

TEST_F(Opening, AnotherProcessIsRefusedWhileOpenAndToldWhoHoldsIt) {
    plug(SysfsBridge{});
    FT_HANDLE handle = open_device(0);
    ASSERT_NE(handle, nullptr);

    const ProbeResult quiet = run_probe(0, std::nullopt, false);
    EXPECT_EQ(quiet.exit_status, int{FT_DEVICE_NOT_OPENED});
    EXPECT_EQ(quiet.stderr_text, "");  // nothing said without ORV_TTY_DEBUG

    const ProbeResult told = run_probe(0, std::nullopt, true);
    EXPECT_EQ(told.exit_status, int{FT_DEVICE_NOT_OPENED});
    EXPECT_NE(told.stderr_text.find("busy"), std::string::npos) << told.stderr_text;
    EXPECT_NE(told.stderr_text.find("pid " + std::to_string(getpid())), std::string::npos)
        << told.stderr_text;

    ASSERT_EQ(FT_Close(handle), FT_STATUS{FT_OK});
    opened.clear();
    EXPECT_EQ(run_probe(0, std::nullopt, false).exit_status, int{FT_OK});
}

TEST_F(Opening, PermissionDeniedIsExplained) {
    PtyPeer &peer = plug(SysfsBridge{});
    std::optional<uid_t> as_user;
    if (geteuid() == 0) {
        as_user = NOBODY;  // root opens anything; the probe gives that up
    } else {
        ASSERT_EQ(chmod(peer.tty_path().c_str(), 0), 0);
    }
    const ProbeResult result = run_probe(0, as_user, true);
    EXPECT_EQ(result.exit_status, int{FT_DEVICE_NOT_OPENED});
    EXPECT_NE(result.stderr_text.find("permission denied"), std::string::npos)
        << result.stderr_text;
    EXPECT_NE(result.stderr_text.find("dialout"), std::string::npos);
}

TEST_F(Opening, SetsTheTtyRawWithoutHangUpOnCloseAndKeepsItsSpeed) {
    PtyPeer &peer = plug(SysfsBridge{});
    const int watch = open(peer.tty_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(watch, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(watch, &before), 0);
    cfsetspeed(&before, B115200);
    before.c_cflag |= HUPCL | CRTSCTS;
    before.c_iflag |= IXON | ICRNL;
    ASSERT_EQ(tcsetattr(watch, TCSANOW, &before), 0);

    FT_HANDLE handle = open_device(0);
    ASSERT_NE(handle, nullptr);
    termios t{};
    ASSERT_EQ(tcgetattr(watch, &t), 0);
    EXPECT_EQ(cfgetispeed(&t), speed_t{B115200});
    EXPECT_EQ(cfgetospeed(&t), speed_t{B115200});
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t{CS8});
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(t.c_cflag & (HUPCL | CRTSCTS), 0u);

    const int fd = provider_fd(peer, watch);
    ASSERT_GE(fd, 0);
    EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    int exclusive = 0;
    ASSERT_EQ(ioctl(watch, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    ASSERT_EQ(FT_Close(handle), FT_STATUS{FT_OK});
    opened.clear();
    ASSERT_EQ(ioctl(watch, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);  // the next opener is not locked out
    close(watch);
}

TEST_F(Opening, RefusesWhatCannotBeOpened) {
    plug(SysfsBridge{});
    SysfsBridge not_a_tty;
    not_a_tty.tty = "ttyUSB1";
    not_a_tty.devpath = "2";
    not_a_tty.node = (folder / "plain-file").string();
    std::ofstream(not_a_tty.node) << "x";
    tree->add(not_a_tty);
    ASSERT_EQ(list().size(), 2u);

    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_Open(1, &handle), FT_STATUS{FT_DEVICE_NOT_OPENED});
    EXPECT_EQ(FT_Open(2, &handle), FT_STATUS{FT_DEVICE_NOT_FOUND});
    EXPECT_EQ(FT_Open(-1, &handle), FT_STATUS{FT_DEVICE_NOT_FOUND});
    EXPECT_EQ(FT_Open(0, nullptr), FT_STATUS{FT_INVALID_PARAMETER});
    // Listed, then its node went away before the open.
    fs::remove(tree->dev_root() / "ttyUSB0");
    EXPECT_EQ(FT_Open(0, &handle), FT_STATUS{FT_DEVICE_NOT_FOUND});
    EXPECT_EQ(handle, nullptr);
}

}  // namespace
}  // namespace ttytest
