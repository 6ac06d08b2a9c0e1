// One opened tty of an FTDI bridge: raw, exclusive, non-blocking. Reads and
// writes wait in poll against a monotonic deadline, never spin, and hold no
// lock while they wait. Once the tty went away (unplugged, hung up) every
// call fails with FT_IO_ERROR.
#ifndef ORV_TTY_TTY_PORT_H
#define ORV_TTY_TTY_PORT_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "ftd2xx.h"

namespace orvtty {

class TtyPort {
public:
    struct Opened {
        FT_STATUS status = FT_OK;
        std::unique_ptr<TtyPort> port;  // set when status is FT_OK
        std::string reason;             // why not, for a person
    };

    // Opens `node` exclusively (lock, TIOCEXCL) and sets it raw, 8N1, no
    // flow control, CLOCAL, no hang-up on close; the speed stays as it is.
    static Opened open(const std::string &node);

    TtyPort(const TtyPort &) = delete;
    TtyPort &operator=(const TtyPort &) = delete;
    ~TtyPort();

    // D2XX semantics: returns when all `n` bytes arrived or the read timeout
    // expired, then FT_OK with what arrived.
    FT_STATUS read(uint8_t *buf, uint32_t n, uint32_t *got);
    // Writes all, or what the tty takes before the write timeout expires.
    FT_STATUS write(const uint8_t *buf, uint32_t n, uint32_t *done);
    // Drops what the kernel holds: received bytes and/or bytes not yet sent.
    FT_STATUS flush(bool received, bool unsent);
    FT_STATUS set_timeouts(uint32_t read_ms, uint32_t write_ms);
    // Writes the bridge's sysfs latency_timer (in `port_dir`) where this
    // process may, else asks the driver for low latency (1 ms) below 16 ms
    // and for its configured timer from 16 ms on.
    FT_STATUS set_latency_timer(uint8_t ms, const std::string &port_dir);
    // The tty driver chooses its own USB transfer sizes: the sizes are only
    // checked (the IN size a multiple of 64 from 64 to 65536).
    FT_STATUS check_transfer_sizes(uint32_t in_size, uint32_t out_size) const;
    // Ends a read or write that is waiting, and every later wait: the handle
    // is being closed.
    void cancel();

private:
    enum class Wait { ready, timed_out, cancelled, hung_up };
    using Deadline = std::chrono::steady_clock::time_point;

    TtyPort(int fd, int wake_fd, std::string node);
    Wait wait_for(short events, Deadline deadline, int *error);
    template <typename Move>
    FT_STATUS transfer(const char *what, short events, uint32_t timeout_ms, uint32_t n,
                       uint32_t *done, Move move);
    FT_STATUS went_away(const char *during, int error);
    static Deadline deadline_after(uint32_t ms);

    const int fd_;
    const int wake_fd_;
    const std::string node_;
    std::atomic<uint32_t> read_timeout_ms_{0};
    std::atomic<uint32_t> write_timeout_ms_{0};
    std::atomic<bool> gone_{false};
};

}  // namespace orvtty

#endif
