#ifndef _WIN32
#include <cstdlib>

#include "platform.h"

namespace orvsim::platform {

std::optional<std::string> env_get(const char *name) {
    const char *v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
}

void env_set(const char *name, const std::string &value) { setenv(name, value.c_str(), 1); }

}  // namespace orvsim::platform
#endif
