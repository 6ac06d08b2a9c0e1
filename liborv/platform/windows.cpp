// Windows implementation of the platform layer.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace orv::platform {

double monotonic_ms() {
    // The counter frequency is fixed at boot: read it once.
    static bool initialized = false;
    static double freq = 1.0;
    if (!initialized) {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        freq = static_cast<double>(f.QuadPart);
        initialized = true;
    }
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / freq;
}

void sleep_ms(unsigned ms) { Sleep(ms); }

bool env_exists(const char *name) {
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableA(name, nullptr, 0);
    // An existing empty variable reports 0 with ERROR_SUCCESS on some systems
    // and 1 (room for the terminator) on others.
    return n > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

std::string file_of_function(library_function function) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(function), &module))
        return {};
    wchar_t wide[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(module, wide, sizeof wide / sizeof wide[0]);
    if (length == 0 || length >= sizeof wide / sizeof wide[0]) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0,
                                          nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string path(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), path.data(), bytes, nullptr,
                        nullptr);
    return path;
}

}  // namespace orv::platform
