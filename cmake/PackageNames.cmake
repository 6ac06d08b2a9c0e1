# The Debian package of each install component (cmake/Install.cmake). The
# runtime package carries the soname's major number, as Debian names shared
# library packages.
set(ORV_PACKAGE_COMPONENTS runtime development tools simulator python)
set(ORV_PACKAGE_runtime liborv${PROJECT_VERSION_MAJOR})
set(ORV_PACKAGE_development liborv-dev)
set(ORV_PACKAGE_tools orv-tools)
set(ORV_PACKAGE_simulator orv-simulator)
set(ORV_PACKAGE_python python3-orv)
# The Debian revision of this build of the packages.
set(ORV_PACKAGE_REVISION 1)
set(ORV_PACKAGE_MAINTAINER "liborv developers <liborv@localhost.localdomain>"
  CACHE STRING "The Maintainer field of the Debian packages")
