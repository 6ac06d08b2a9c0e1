// Environment variables the library reads, set from tests. Kept apart from the
// D2XX declarations, which clash with <windows.h>.
#pragma once

namespace devtest {

// Sets (or with nullptr removes) an environment variable of the process. An
// empty value is a variable that exists.
void set_env(const char *name, const char *value);

}  // namespace devtest
