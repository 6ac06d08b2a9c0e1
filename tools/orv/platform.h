// The operating-system services of orv, one implementation file per system
// (platform_posix.cpp, platform_windows.cpp): environment, terminals,
// interrupts and standard streams. Nothing else in the program calls the OS
// directly; the D2XX provider is liborv's to load.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace orvcli::platform {

// Whether --provider can work here: on Linux liborv loads the D2XX provider
// named by ORV_D2XX_LIBRARY at run time; on Windows liborv.dll imports
// FTD2XX.dll when it is loaded, before orv could choose another.
#ifdef _WIN32
inline constexpr bool kProviderPathSupported = false;
#else
inline constexpr bool kProviderPathSupported = true;
#endif

// Sets an environment variable of the process, for this process's libraries too.
void set_environment(const char *name, const std::string &value);

// True when the stream is a terminal (a console on Windows).
bool is_terminal(std::FILE *stream);

// Runs handler (on a thread of its own) at every Ctrl-C or termination
// request from now on. Called once.
void on_interrupt(std::function<void()> handler);

// Standard output and error write '\n' unchanged, and a closed pipe is an
// ordinary write error instead of a signal.
void prepare_standard_streams();

}  // namespace orvcli::platform
