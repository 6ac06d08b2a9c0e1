// The operating-system services liborv needs, one implementation file per
// system (posix.cpp, windows.cpp). Nothing else in the library calls the OS.
#pragma once

#include <optional>
#include <string>

namespace orv::platform {

// Milliseconds of a monotonic high-resolution clock (arbitrary origin).
double monotonic_ms();

// Sleeps the calling thread for about ms milliseconds (0 returns at once).
void sleep_ms(unsigned ms);

// True when the environment variable exists, whatever its value (even empty).
bool env_exists(const char *name);

// The dynamic loader, for the D2XX provider liborv loads at run time on
// POSIX systems (posix.cpp only: on Windows liborv links its provider; there
// only file_of_function is defined, to name the linked provider's file).

// A loaded shared library; null is none.
using library_handle = void *;
// A function of a loaded library, to be cast to its real type.
using library_function = void (*)();

// The value of an environment variable; nothing when it is unset.
std::optional<std::string> env_value(const char *name);

// Loads a library: a path with a '/' from there, a bare file name through the
// loader's search (for liborv's own calls: LD_LIBRARY_PATH, liborv's RUNPATH,
// the system's library folders). Null on failure, with the loader's reason in
// `why`.
library_handle load_library(const char *file, std::string &why);

// The exported function `name` of a loaded library; null when it has none.
library_function find_function(library_handle library, const char *name);

// The file a loaded function comes from, "" when the loader cannot tell.
std::string file_of_function(library_function function);

// Unloads a library none of whose functions is in use.
void unload_library(library_handle library);

}  // namespace orv::platform
