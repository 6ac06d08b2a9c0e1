#include "pacing.h"

#include <algorithm>

namespace orvserve {

std::optional<orvsim::Clock::time_point> next_wake(const orvsim::Link &link,
                                                   orvsim::Clock::time_point now) {
    const std::optional<orvsim::Clock::time_point> next_byte = link.ready_time(1);
    const std::optional<orvsim::Clock::time_point> burst_end = link.burst_end();
    if (!next_byte || !burst_end) return std::nullopt;
    return std::max(*next_byte, std::min(now + kBatchInterval, *burst_end));
}

}  // namespace orvserve
