// Windows implementation of the benchmark's platform layer.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform.h"

namespace velmar::platform {
namespace {

std::string utf8_from_wide(const wchar_t *text, int length) {
    if (length <= 0) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

// NUL-terminated UTF-16 form of a UTF-8 path.
std::wstring wide_from_utf8(const std::string &text) {
    if (text.empty()) return std::wstring();
    int length = static_cast<int>(text.size());
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), size);
    return out;
}

// The absolute form of a path; the path itself when it cannot be made absolute.
std::wstring full_path(const std::wstring &path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring out(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, out.data(), nullptr);
    if (length == 0 || length >= size) return path;
    out.resize(length);
    return out;
}

}  // namespace

std::optional<std::string> executable_path() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::nullopt;
        if (n < buffer.size()) return utf8_from_wide(buffer.data(), static_cast<int>(n));
        if (buffer.size() >= 32768) return std::nullopt;  // longest path Windows supports
        buffer.resize(buffer.size() * 2);                 // cut: retry with more room
    }
}

std::optional<std::string> d2xx_library_override() { return std::nullopt; }

bool path_exists(const std::string &path) {
    return GetFileAttributesW(wide_from_utf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

LoaderOutcome<ModuleHandle> load_library(const std::string &path) {
    DWORD previous_mode = 0;
    const BOOL mode_set = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous_mode);
    // The standard search first: liborv's dependencies (the D2XX driver)
    // come from the program's folder, the system folders, the current
    // folder and PATH, as for any library.
    HMODULE module = LoadLibraryExW(wide_from_utf8(path).c_str(), nullptr, 0);
    DWORD error = module == nullptr ? GetLastError() : 0;
    // Only when a dependency was found nowhere there, a library given by
    // path may still find it in its own folder (liborv and the driver
    // together in bin\velmar): the same library again, from its full path,
    // its own folder searched first. Should that fail too, the first
    // failure stands.
    if (error == ERROR_MOD_NOT_FOUND && std::any_of(path.begin(), path.end(), [](char c) {
            return is_path_separator(c) || c == ':';
        })) {
        module =
            LoadLibraryExW(full_path(wide_from_utf8(path)).c_str(), nullptr,
                           LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (module != nullptr) error = 0;
    }
    if (mode_set && previous_mode != SEM_FAILCRITICALERRORS)
        SetThreadErrorMode(previous_mode, nullptr);
    return {reinterpret_cast<ModuleHandle>(module), static_cast<std::uint32_t>(error)};
}

LoaderOutcome<RawFunction> find_function(ModuleHandle module, const char *name) {
    FARPROC address = GetProcAddress(static_cast<HMODULE>(module), name);
    const DWORD error = address == nullptr ? GetLastError() : 0;
    return {reinterpret_cast<RawFunction>(address), static_cast<std::uint32_t>(error)};
}

void unload_library(ModuleHandle module) { (void)FreeLibrary(static_cast<HMODULE>(module)); }

ClockReading monotonic_now() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const LONGLONG ticks = counter.QuadPart;
    // Split before scaling so that the nanosecond product cannot overflow.
    return {static_cast<std::int64_t>(ticks / frequency),
            static_cast<std::int64_t>((ticks % frequency) * 1000000000LL / frequency)};
}

void prepare_standard_streams() {
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace velmar::platform
