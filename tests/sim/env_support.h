// Environment variables of the test process (kept apart from the D2XX
// declarations, whose integer typedefs clash with windows.h).
#pragma once

#include <string>

namespace simtest {

// Sets (value non-null) or removes an environment variable of the process.
void set_env(const char *name, const char *value);
// The value of an environment variable of the process ("" when unset); on
// Windows from the process environment block, which the provider writes.
std::string get_env(const char *name);

}  // namespace simtest
