# The Debian package of each install component (cmake/Install.cmake). The
# runtime package carries the soname's major number, as Debian names shared
# library packages.
set(ORV_PACKAGE_COMPONENTS runtime development tools simulator python)
set(ORV_PACKAGE_runtime liborv${PROJECT_VERSION_MAJOR})
set(ORV_PACKAGE_development liborv-dev)
set(ORV_PACKAGE_tools orv-tools)
set(ORV_PACKAGE_simulator orv-simulator)
set(ORV_PACKAGE_python python3-orv)
# The Tango device server, in builds that have it (cppTango installed).
set(ORV_PACKAGE_tango orv-tango)
if(TARGET OrvSpectrometer)
  list(APPEND ORV_PACKAGE_COMPONENTS tango)
endif()
# The Debian revision of this build of the packages.
set(ORV_PACKAGE_REVISION 1)
# The Maintainer field: a placeholder address unless -DORV_PACKAGE_MAINTAINER
# gives the real one, as it must when packages are published.
if(NOT DEFINED ORV_PACKAGE_MAINTAINER)
  set(ORV_PACKAGE_MAINTAINER "liborv developers <liborv@example.org>")
endif()
