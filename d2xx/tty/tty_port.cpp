// Reading, writing and configuring an opened tty.
#include "tty_port.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <linux/serial.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "diagnostics.h"
#include "sysfs_files.h"

namespace orvtty {

namespace {

// One read() or write() call moves at most this much.
constexpr size_t MAX_CHUNK = size_t{1} << 30;
// ftdi_sio's latency timer when nobody set another.
constexpr uint8_t DRIVER_DEFAULT_LATENCY_MS = 16;
constexpr uint32_t MIN_TRANSFER_SIZE = 64;
constexpr uint32_t MAX_TRANSFER_SIZE = 65536;

timespec remaining(std::chrono::steady_clock::duration left) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

}  // namespace

TtyPort::Deadline TtyPort::deadline_after(uint32_t ms) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

TtyPort::Wait TtyPort::wait_for(short events, Deadline deadline, int *error) {
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return Wait::timed_out;
        pollfd fds[2] = {{fd_, events, 0}, {wake_fd_, POLLIN, 0}};
        const timespec left = remaining(deadline - now);
        const int n = ppoll(fds, 2, &left, nullptr);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = errno;
            return Wait::hung_up;
        }
        if (fds[1].revents) return Wait::cancelled;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            *error = EIO;
            return Wait::hung_up;
        }
        if (fds[0].revents & events) return Wait::ready;
    }
}

FT_STATUS TtyPort::went_away(const char *during, int error) {
    if (!gone_.exchange(true)) {
        explain(node_ + " went away (" + during + ": " +
                (error ? std::strerror(error) : "hung up") + ")");
    }
    return FT_IO_ERROR;
}

// Moves up to `n` bytes with `move(offset, count)` (a read() or write()),
// waiting for `events` between tries until the deadline. A read of 0 bytes
// is the end of file of a hung-up tty; a write of 0 bytes is only a full
// queue.
template <typename Move>
FT_STATUS TtyPort::transfer(const char *what, short events, uint32_t timeout_ms, uint32_t n,
                            uint32_t *done, Move move) {
    *done = 0;
    if (gone_) return FT_IO_ERROR;
    const Deadline deadline = deadline_after(timeout_ms);
    while (*done < n) {
        const ssize_t moved = move(*done, std::min<size_t>(n - *done, MAX_CHUNK));
        if (moved > 0) {
            *done += static_cast<uint32_t>(moved);
            continue;
        }
        if (moved == 0 && events == POLLIN) return went_away(what, 0);
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0 && errno != EAGAIN) return went_away(what, errno);
        int error = 0;
        switch (wait_for(events, deadline, &error)) {
        case Wait::ready: break;
        case Wait::timed_out: return FT_OK;
        case Wait::cancelled: return FT_INVALID_HANDLE;
        case Wait::hung_up: return went_away(what, error);
        }
    }
    return FT_OK;
}

FT_STATUS TtyPort::read(uint8_t *buf, uint32_t n, uint32_t *got) {
    return transfer("read", POLLIN, read_timeout_ms_, n, got,
                    [&](size_t at, size_t count) { return ::read(fd_, buf + at, count); });
}

FT_STATUS TtyPort::write(const uint8_t *buf, uint32_t n, uint32_t *done) {
    return transfer("write", POLLOUT, write_timeout_ms_, n, done,
                    [&](size_t at, size_t count) { return ::write(fd_, buf + at, count); });
}

FT_STATUS TtyPort::flush(bool received, bool unsent) {
    if (gone_) return FT_IO_ERROR;
    if (!received && !unsent) return FT_OK;
    const int queue = received && unsent ? TCIOFLUSH : received ? TCIFLUSH : TCOFLUSH;
    return tcflush(fd_, queue) == 0 ? FT_STATUS{FT_OK} : went_away("flush", errno);
}

FT_STATUS TtyPort::set_timeouts(uint32_t read_ms, uint32_t write_ms) {
    if (gone_) return FT_IO_ERROR;
    read_timeout_ms_ = read_ms;
    write_timeout_ms_ = write_ms;
    return FT_OK;
}

FT_STATUS TtyPort::set_latency_timer(uint8_t ms, const std::string &port_dir) {
    if (gone_) return FT_IO_ERROR;
    if (ms == 0) return FT_INVALID_PARAMETER;
    const int sysfs_error = write_attribute(port_dir + "/latency_timer", std::to_string(ms));
    if (sysfs_error == 0) return FT_OK;
    serial_struct serial{};
    if (ioctl(fd_, TIOCGSERIAL, &serial) == 0) {
        if (ms < DRIVER_DEFAULT_LATENCY_MS) {
            serial.flags |= ASYNC_LOW_LATENCY;
        } else {
            serial.flags &= ~ASYNC_LOW_LATENCY;
        }
        if (ioctl(fd_, TIOCSSERIAL, &serial) == 0) return FT_OK;
    }
    const int error = errno;
    if (error == EIO || error == ENODEV) return went_away("latency timer", error);
    const std::string why = "latency timer of " + node_ +
                            " not set (sysfs: " + std::strerror(sysfs_error) +
                            "; driver: " + std::strerror(error) + ")";
    explain(why);
    // A tty without a latency timer (not an FTDI chip, a pty) has nothing to set.
    return error == ENOTTY || error == EINVAL ? FT_STATUS{FT_OK} : FT_STATUS{FT_OTHER_ERROR};
}

FT_STATUS TtyPort::check_transfer_sizes(uint32_t in_size, uint32_t out_size) const {
    if (gone_) return FT_IO_ERROR;
    if (in_size < MIN_TRANSFER_SIZE || in_size > MAX_TRANSFER_SIZE || in_size % 64 != 0) {
        return FT_INVALID_PARAMETER;
    }
    (void)out_size;  // D2XX ignores it too
    return FT_OK;
}

void TtyPort::cancel() {
    const uint64_t one = 1;
    ssize_t ignored = ::write(wake_fd_, &one, sizeof one);
    (void)ignored;
}

}  // namespace orvtty
