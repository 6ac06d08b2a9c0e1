#include "test_env.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace devtest {

void set_env(const char *name, const char *value) {
#ifdef _WIN32
    // The library reads the process environment block; the C runtime's
    // _putenv would remove a variable set to "".
    SetEnvironmentVariableA(name, value);
#else
    if (value == nullptr)
        unsetenv(name);
    else
        setenv(name, value, 1);
#endif
}

}  // namespace devtest
