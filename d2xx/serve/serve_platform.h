// The operating-system calls of orvsim-serve (Linux): pseudo-terminals, a
// watch on who opens them, the stop signals, and one wait with a deadline.
// All of them live in serve_platform_linux.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"

namespace orvserve::platform {

// A descriptor that is closed with its owner.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd &&other) noexcept : fd_(other.release()) {}
    Fd &operator=(Fd &&other) noexcept;
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release();
    void reset();

private:
    int fd_ = -1;
};

// A pseudo-terminal: the master side the server reads requests from and
// writes answers to (non-blocking), and a descriptor of the terminal side
// that the server keeps open so the master never sees a hang-up between
// the host's sessions. The terminal side is raw from the start.
struct Pty {
    Fd master;
    Fd holder;
    std::string node;  // the terminal side, e.g. /dev/pts/3
};

// Throws std::runtime_error with the reason when none can be had.
Pty open_pty();

// What a non-blocking read or write did: bytes moved (0: nothing right now),
// or failed (hung up, or an error).
struct Transfer {
    size_t bytes = 0;
    bool failed = false;
};
Transfer read_some(int fd, uint8_t *buffer, size_t capacity);
Transfer write_some(int fd, const uint8_t *data, size_t length);

// Drops what the terminal side has received and not yet read.
void drop_received(int holder);

// Opens and closes of files by any process, through inotify.
class OpenWatch {
public:
    OpenWatch();  // throws std::runtime_error
    // Returns the watch's number; throws std::runtime_error.
    int add(const std::string &path);
    void remove(int watch);
    int fd() const { return fd_.get(); }

    struct Event {
        int watch;
        bool opened;  // else: closed
    };
    // The events that are there; `overflowed` is set when some were lost.
    std::vector<Event> take(bool &overflowed);

private:
    Fd fd_;
};

// SIGINT and SIGTERM, blocked and delivered through a descriptor. Create it
// before any thread starts.
class StopSignals {
public:
    StopSignals();  // throws std::runtime_error
    int fd() const { return fd_.get(); }
    // The signal that arrived (SIGINT, SIGTERM), or 0.
    int take();

private:
    Fd fd_;
};

// Where orvsim-serve's commands come from.
constexpr int kStandardInput = 0;

struct Waited {
    int fd = -1;
    bool want_write = false;
    // results
    bool readable = false;
    bool writable = false;
    bool failed = false;  // hang-up or error
};

// Sleeps until one of the descriptors is ready or `deadline` passes (none:
// no deadline). Returns false on a failure other than an interruption.
bool wait(std::vector<Waited> &items, std::optional<orvsim::Clock::time_point> deadline);

// Timed wake-ups as precise as the kernel allows (timer slack 1 ns).
void precise_timers();

}  // namespace orvserve::platform
