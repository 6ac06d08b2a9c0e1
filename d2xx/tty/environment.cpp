#include "environment.h"

#include <cstdlib>
#include <cstring>

namespace orvtty {

namespace {

std::string variable_or(const char *name, const char *fallback) {
    const char *value = std::getenv(name);
    return value && *value ? value : fallback;
}

}  // namespace

Roots roots_from_environment() {
    return Roots{variable_or(SYSFS_ROOT_VARIABLE, "/sys"), variable_or(DEV_ROOT_VARIABLE, "/dev")};
}

bool debug_enabled() {
    const char *value = std::getenv(DEBUG_VARIABLE);
    return value && *value && std::strcmp(value, "0") != 0;
}

}  // namespace orvtty
