#include "env_support.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace simtest {

void set_env(const char *name, const char *value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

std::string get_env(const char *name) {
#ifdef _WIN32
    char buf[256];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
#else
    const char *v = std::getenv(name);
    return v ? v : "";
#endif
}

}  // namespace simtest
