// The program's version, from the project's version in CMake.
#pragma once

namespace orvcli {

inline constexpr const char *kVersion = ORV_CLI_VERSION;

}  // namespace orvcli
