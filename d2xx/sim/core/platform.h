// The few operating-system services the simulator needs beyond the C++
// standard library, one implementation file per system.
#pragma once

#include <optional>
#include <string>

namespace orvsim::platform {

// The value of an environment variable, if it exists.
std::optional<std::string> env_get(const char *name);

// Sets an environment variable of the process (visible to every module).
void env_set(const char *name, const std::string &value);

}  // namespace orvsim::platform
