#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "serve_platform.h"

namespace orvserve::platform {
namespace {

[[noreturn]] void fail(const std::string &what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Raw 8N1 without echo or any line processing, so answer bytes reach the
// host unchanged even before the host sets the terminal up itself.
void make_raw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) fail("tcgetattr");
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(fd, TCSANOW, &t) != 0) fail("tcsetattr");
}

}  // namespace

Fd &Fd::operator=(Fd &&other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int Fd::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Fd::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Pty open_pty() {
    Pty pty;
    pty.master = Fd(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!pty.master) fail("posix_openpt");
    if (grantpt(pty.master.get()) != 0 || unlockpt(pty.master.get()) != 0) fail("unlockpt");
    char name[128];
    if (ptsname_r(pty.master.get(), name, sizeof name) != 0) fail("ptsname");
    pty.node = name;
    pty.holder = Fd(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!pty.holder) fail("open " + pty.node);
    make_raw(pty.holder.get());
    return pty;
}

Transfer read_some(int fd, uint8_t *buffer, size_t capacity) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, capacity);
        if (n > 0) return {static_cast<size_t>(n), false};
        if (n == 0) return {0, true};
        if (errno == EINTR) continue;
        return {0, errno != EAGAIN};
    }
}

Transfer write_some(int fd, const uint8_t *data, size_t length) {
    for (;;) {
        const ssize_t n = ::write(fd, data, length);
        if (n >= 0) return {static_cast<size_t>(n), false};
        if (errno == EINTR) continue;
        return {0, errno != EAGAIN};
    }
}

void drop_received(int holder) { tcflush(holder, TCIFLUSH); }

OpenWatch::OpenWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (!fd_) fail("inotify_init1");
}

int OpenWatch::add(const std::string &path) {
    const int watch =
        inotify_add_watch(fd_.get(), path.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    if (watch < 0) fail("inotify_add_watch " + path);
    return watch;
}

void OpenWatch::remove(int watch) { inotify_rm_watch(fd_.get(), watch); }

std::vector<OpenWatch::Event> OpenWatch::take(bool &overflowed) {
    std::vector<Event> events;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const Transfer got =
            read_some(fd_.get(), reinterpret_cast<uint8_t *>(buffer), sizeof buffer);
        if (got.bytes == 0) return events;
        size_t at = 0;
        while (at + sizeof(inotify_event) <= got.bytes) {
            inotify_event e;
            std::memcpy(&e, buffer + at, sizeof e);
            at += sizeof e + e.len;
            if (e.mask & IN_Q_OVERFLOW) overflowed = true;
            if (e.mask & IN_OPEN) events.push_back({e.wd, true});
            if (e.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) events.push_back({e.wd, false});
        }
    }
}

StopSignals::StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) fail("sigprocmask");
    fd_ = Fd(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd_) fail("signalfd");
}

int StopSignals::take() {
    signalfd_siginfo info{};
    const Transfer got = read_some(fd_.get(), reinterpret_cast<uint8_t *>(&info), sizeof info);
    return got.bytes == sizeof info ? static_cast<int>(info.ssi_signo) : 0;
}

bool wait(std::vector<Waited> &items, std::optional<orvsim::Clock::time_point> deadline) {
    std::vector<pollfd> fds(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        fds[i] = pollfd{items[i].fd,
                        static_cast<short>(POLLIN | (items[i].want_write ? POLLOUT : 0)), 0};
    }
    timespec timeout{};
    if (deadline) {
        const auto left = std::max(*deadline - orvsim::Clock::now(), orvsim::Clock::duration{});
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
        timeout.tv_nsec = static_cast<long>(ns % 1000000000);
    }
    const int n = ppoll(fds.data(), fds.size(), deadline ? &timeout : nullptr, nullptr);
    if (n < 0) return errno == EINTR;
    for (size_t i = 0; i < items.size(); ++i) {
        items[i].readable = fds[i].revents & POLLIN;
        items[i].writable = fds[i].revents & POLLOUT;
        items[i].failed = fds[i].revents & (POLLHUP | POLLERR | POLLNVAL);
    }
    return true;
}

void precise_timers() { prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

}  // namespace orvserve::platform
