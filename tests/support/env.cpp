#include "env.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>

#include <vector>
#endif

namespace orvtest {

#ifdef _WIN32

void set_env(const char *name, const char *value) {
    // The C runtime's copy first: _putenv_s with "" removes the variable from
    // both copies, so the environment block is written last.
    _putenv_s(name, value != nullptr ? value : "");
    SetEnvironmentVariableA(name, value);
}

std::string get_env(const char *name) {
    const DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
    if (needed == 0) return std::string();
    std::vector<char> value(needed, '\0');
    const DWORD got = GetEnvironmentVariableA(name, value.data(), needed);
    return got < needed ? std::string(value.data(), got) : std::string();
}

#else

void set_env(const char *name, const char *value) {
    if (value == nullptr)
        unsetenv(name);
    else
        setenv(name, value, 1);
}

std::string get_env(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

#endif

}  // namespace orvtest
