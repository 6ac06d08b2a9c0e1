// Where the provider looks for bridges, and whether it explains failures:
// the environment variables that configure it.
#ifndef ORV_TTY_ENVIRONMENT_H
#define ORV_TTY_ENVIRONMENT_H

#include <string>

namespace orvtty {

// Root of the sysfs tree (default /sys), of the device nodes (default /dev),
// and the switch for one-line explanations on standard error ("1").
inline constexpr const char *SYSFS_ROOT_VARIABLE = "ORV_TTY_SYSFS_ROOT";
inline constexpr const char *DEV_ROOT_VARIABLE = "ORV_TTY_DEV_ROOT";
inline constexpr const char *DEBUG_VARIABLE = "ORV_TTY_DEBUG";

struct Roots {
    std::string sysfs;
    std::string dev;
};

// Read on every listing, so a test can point the provider at another tree.
Roots roots_from_environment();

bool debug_enabled();

}  // namespace orvtty

#endif
