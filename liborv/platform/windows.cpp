// Windows implementation of the platform layer.
#include <windows.h>

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

}  // namespace orv::platform
