#ifdef _WIN32
#include <windows.h>

#include "platform.h"

namespace orvsim::platform {

// The Win32 environment is shared by every module of the process, unlike the
// copy each C runtime keeps for getenv.
std::optional<std::string> env_get(const char *name) {
    DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
    if (needed == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
    }
    std::string value(needed, '\0');
    DWORD got = GetEnvironmentVariableA(name, value.data(), needed);
    value.resize(got < needed ? got : 0);
    return value;
}

void env_set(const char *name, const std::string &value) {
    SetEnvironmentVariableA(name, value.c_str());
}

}  // namespace orvsim::platform
#endif
