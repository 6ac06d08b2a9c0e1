// The liborv platform layer for the fuzz targets, in place of posix.cpp: time
// is virtual, sleeping only moves it on, and reading the clock moves it on by
// a microsecond so that loops waiting for time to pass always end.
#include <cstdlib>

#include "platform/platform.h"
#include "virtual_clock.h"

namespace {

constexpr double CLOCK_READ_COST_MS = 0.001;
double g_now_ms = 0.0;

}  // namespace

namespace fuzz {

double virtual_now_ms() { return g_now_ms; }
void virtual_advance_ms(double ms) { g_now_ms += ms; }

}  // namespace fuzz

namespace orv::platform {

double monotonic_ms() {
    g_now_ms += CLOCK_READ_COST_MS;
    return g_now_ms;
}

void sleep_ms(unsigned ms) { g_now_ms += ms; }

bool env_exists(const char *name) { return std::getenv(name) != nullptr; }

// The scripted provider is linked in: no file to name.
std::string file_of_function(library_function) { return {}; }

}  // namespace orv::platform
