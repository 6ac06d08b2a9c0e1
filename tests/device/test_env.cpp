#include "sim_fixture.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace devtest {

void set_env(const char *name, const char *value) {
#ifdef _WIN32
    // The library reads the process environment block; an empty value is a
    // variable that exists.
    SetEnvironmentVariableA(name, value);
#else
    if (value == nullptr)
        unsetenv(name);
    else
        setenv(name, value, 1);
#endif
}

}  // namespace devtest
