// POSIX implementation of the platform layer.
#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/platform.h"

namespace orv::platform {

double monotonic_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void sleep_ms(unsigned ms) {
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    timespec rem{};
    while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

bool env_exists(const char *name) { return std::getenv(name) != nullptr; }

}  // namespace orv::platform
