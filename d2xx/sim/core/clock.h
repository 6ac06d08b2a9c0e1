// Simulated time is real time: every modelled duration becomes a point on the
// monotonic clock at which something becomes visible to the host.
#pragma once

#include <chrono>

namespace orvsim {

using Clock = std::chrono::steady_clock;

inline Clock::duration from_ms(double ms) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(ms));
}

inline double to_ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace orvsim
