// When the answer bytes of a bridge are handed to its tty. Bytes go out in
// batches: a wake-up at most every kBatchInterval while an answer is on its
// way, and one exactly when its last byte is due, so a read that waits for a
// whole answer ends at the modelled moment without a wake-up per byte.
#pragma once

#include <optional>

#include "clock.h"
#include "link.h"

namespace orvserve {

inline constexpr orvsim::Clock::duration kBatchInterval = std::chrono::milliseconds(1);

// The next moment worth waking up for, right after the bytes due by `now`
// were handed on; nullopt when nothing is queued. Bytes that fall due in
// the meantime (at 1 MB/s, one every microsecond) wait for the batch.
std::optional<orvsim::Clock::time_point> next_wake(const orvsim::Link &link,
                                                   orvsim::Clock::time_point now);

}  // namespace orvserve
