// The operating-system services of the benchmark program, one implementation
// file per system (platform_posix.cpp, platform_windows.cpp): executable path,
// file presence, the dynamic loader, the monotonic clock and the standard
// streams. Nothing else in the program calls the OS directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmar::platform {

// Path separator used when building library paths.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// True for every character that separates path components on this system.
constexpr bool is_path_separator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// File names of the instrument library and of the FTDI D2XX driver library.
#ifdef _WIN32
inline constexpr const char *kSdkLibraryName = "liborv.dll";
inline constexpr const char *kD2xxLibraryName = "ftd2xx.dll";
#else
inline constexpr const char *kSdkLibraryName = "liborv.so";
inline constexpr const char *kD2xxLibraryName = "libftd2xx.so";
#endif

// The D2XX library liborv loads instead of its default, as the environment
// names it (ORV_D2XX_LIBRARY, when set and not empty); always nothing on
// Windows, where liborv links FTD2XX.dll.
std::optional<std::string> d2xx_library_override();

// Path of the running executable (UTF-8), or nothing when it cannot be found.
std::optional<std::string> executable_path();

// True when the path names any existing file-system entry (links followed).
bool path_exists(const std::string &path);

// An opaque module handle of the system loader and an exported function.
using ModuleHandle = void *;
using RawFunction = void (*)();

// Outcome of a loader call: the handle/address, or the system error code.
template <class T>
struct LoaderOutcome {
    T value{};
    std::uint32_t error_code = 0;
};

// Loads a library: a path with a directory part is loaded from there, a bare
// file name goes through the system's library search. On Windows the
// library's dependencies come from the standard search (the program's
// folder, the system folders, the current folder, PATH); only when one is
// found nowhere there is a library given by path loaded again with its own
// folder searched first. No critical-error box is shown while loading.
LoaderOutcome<ModuleHandle> load_library(const std::string &path);

// Looks up an exported function by its NUL-terminated name.
LoaderOutcome<RawFunction> find_function(ModuleHandle module, const char *name);

// Unloads a library; the result is ignored.
void unload_library(ModuleHandle module);

// A reading of the monotonic high-resolution clock.
struct ClockReading {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;  // 0 .. 999'999'999
};
ClockReading monotonic_now();

// Makes standard output and standard error write '\n' unchanged, and a write
// to a closed pipe fail like any other failed write instead of ending the
// program (POSIX: SIGPIPE ignored).
void prepare_standard_streams();

}  // namespace velmar::platform
