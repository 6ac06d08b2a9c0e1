// The operating-system services liborv needs, one implementation file per
// system (posix.cpp, windows.cpp). Nothing else in the library calls the OS.
#pragma once

namespace orv::platform {

// Milliseconds of a monotonic high-resolution clock (arbitrary origin).
double monotonic_ms();

// Sleeps the calling thread for about ms milliseconds (0 returns at once).
void sleep_ms(unsigned ms);

// True when the environment variable exists, whatever its value (even empty).
bool env_exists(const char *name);

}  // namespace orv::platform
