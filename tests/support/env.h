// Environment variables of the test process, set and read the way liborv and
// the simulated provider see them. Kept apart from the D2XX declarations,
// whose integer typedefs clash with <windows.h>.
#pragma once

#include <string>

namespace orvtest {

// Sets (value non-null) or removes an environment variable of the process. An
// empty value is a variable that exists. On Windows both copies change: the
// process environment block, which every module shares (liborv and the
// provider read it), and the C runtime's copy that getenv reads (where an
// empty variable cannot exist).
void set_env(const char *name, const char *value);

// The value of an environment variable of the process, "" when unset; on
// Windows from the process environment block, which the provider writes.
std::string get_env(const char *name);

}  // namespace orvtest
