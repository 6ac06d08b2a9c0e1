// The receive side of a simulated bridge: answers queued with the moment each
// byte becomes readable by the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "bytes.h"
#include "clock.h"
#include "config.h"
#include "instrument.h"

namespace orvsim {

class Link {
public:
    // Queues an answer to a request that ended at `request_end`. The
    // instrument works on one request at a time, so an answer starts no
    // earlier than the previous one ended. Returns the moment the last byte
    // becomes readable.
    Clock::time_point schedule(const Reply &reply, Clock::time_point request_end,
                               const LinkTiming &timing);

    // Bytes readable at `now`.
    size_t readable(Clock::time_point now) const;
    // The moment `n` bytes are readable in total; nullopt when fewer are queued.
    std::optional<Clock::time_point> ready_time(size_t n) const;
    // The moment the first run of bytes still queued has arrived whole: the
    // answer now on its way (or its part before a pause); nullopt when
    // nothing is queued. Whoever hands bytes on in batches waits for this
    // rather than for each byte.
    std::optional<Clock::time_point> burst_end() const;
    // Moves up to `max` readable bytes into `out`; returns how many.
    size_t take(uint8_t *out, size_t max, Clock::time_point now);
    // Drops the bytes that have arrived at the host side by `now` (what the
    // bridge's receive buffer holds, as FT_Purge does); answers still on
    // their way arrive later as modelled.
    void purge(Clock::time_point now);
    // Drops everything queued, arrived or not (a new session).
    void clear(Clock::time_point now);

private:
    struct Segment {
        Clock::time_point start;  // byte i is readable at start + (i + 1) * per_byte
        Clock::duration per_byte;
        Bytes data;
        size_t taken = 0;
        size_t ready_count(Clock::time_point now) const;
        Clock::time_point ready_time(size_t count) const;
    };
    void push(Clock::time_point start, Clock::duration per_byte, Bytes data);

    std::deque<Segment> segments_;
    Clock::time_point busy_until_{};
};

}  // namespace orvsim
