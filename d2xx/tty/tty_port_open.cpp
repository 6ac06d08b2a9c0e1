// Opening a bridge's tty: exclusive, raw, and without modem-control side
// effects, with a reason a person can act on when it cannot be done.
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "diagnostics.h"
#include "tty_port.h"

namespace orvtty {

namespace {

std::string with_holders(std::string text, const std::string &node) {
    const std::string holders = holders_of(node);
    return holders.empty() ? text : text + " (held by " + holders + ")";
}

std::string open_failure(int error, const std::string &node) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "permission denied: the user needs read and write access to " + node +
               " (group dialout, or the udev rule 60-orv-ftdi.rules)";
    case EBUSY: return with_holders("busy: another program has it open exclusively", node);
    case ENOENT:
    case ENODEV:
    case ENXIO: return "no such device (unplugged?)";
    default: return std::strerror(error);
    }
}

// Raw 8N1 without flow control; CLOCAL so that no carrier is waited for and
// no HUPCL so that closing leaves DTR and RTS alone (dropping them resets
// some instruments). VMIN 1 makes a read of a hung-up tty return 0, which
// tells it from "nothing yet" (EAGAIN) on the non-blocking descriptor. The
// speed is left as it is.
bool make_raw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(HUPCL | CRTSCTS | CSTOPB);
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

TtyPort::Opened refused(FT_STATUS status, std::string reason) {
    return TtyPort::Opened{status, nullptr, std::move(reason)};
}

// Closes the descriptor on every way out but success.
struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0) ::close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

}  // namespace

TtyPort::Opened TtyPort::open(const std::string &node) {
    FdGuard tty{::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    const int fd = tty.fd;
    if (fd < 0) {
        const int error = errno;
        const bool missing = error == ENOENT || error == ENODEV || error == ENXIO;
        return refused(missing ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED,
                       open_failure(error, node));
    }
    if (!isatty(fd)) return refused(FT_DEVICE_NOT_OPENED, "not a terminal");
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return refused(FT_DEVICE_NOT_OPENED,
                       errno == EWOULDBLOCK
                           ? with_holders("busy: another program has it open and locked", node)
                           : std::string("cannot lock: ") + std::strerror(errno));
    }
    if (!make_raw(fd) || ioctl(fd, TIOCEXCL) != 0) {
        return refused(FT_DEVICE_NOT_OPENED,
                       std::string("cannot set it up: ") + std::strerror(errno));
    }
    FdGuard wake{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    if (wake.fd < 0) {
        const int error = errno;
        ioctl(fd, TIOCNXCL);
        return refused(FT_INSUFFICIENT_RESOURCES,
                       std::string("no event descriptor: ") + std::strerror(error));
    }
    std::unique_ptr<TtyPort> port(new TtyPort(fd, wake.fd, node));
    tty.release();
    wake.release();
    return Opened{FT_OK, std::move(port), {}};
}

TtyPort::TtyPort(int fd, int wake_fd, std::string node)
    : fd_(fd), wake_fd_(wake_fd), node_(std::move(node)) {}

TtyPort::~TtyPort() {
    // A pty keeps its exclusive flag while its other side is open; give it
    // back so the next opener is not refused. Closing releases the lock.
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    ::close(wake_fd_);
}

}  // namespace orvtty
