# What `cmake --install` puts under the prefix (GNUInstallDirs folders), in
# components that become the Debian packages (cmake/Packaging.cmake):
#
#   runtime      liborv.so.0.x.y and liborv.so.0 (Windows: liborv.dll)
#   development  orv.h, liborv.so for the linker (Windows: liborv.dll.a and
#                liborv.def), the CMake package orv::orv, orv.pc, the
#                examples and the docs
#   tools        orv, velmar_multi_device_speed, the tty D2XX provider, the
#                recording D2XX provider and the udev rule
#   simulator    the simulated D2XX provider and orvsim-serve
#   python       the Python package orv (pure Python)
#
# The D2XX providers carry the vendor driver's file name, so they go to
# private folders of the library folder, <libdir>/orv/tty, <libdir>/orv/sim
# and <libdir>/orv/record,
# which no loader searches: they never shadow the vendor driver and are
# chosen with ORV_D2XX_LIBRARY. Installed programs carry no RUNPATH.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
include(${PROJECT_SOURCE_DIR}/cmake/PackageNames.cmake)

# Where everything of liborv that is not for the loader's search goes.
set(ORV_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/orv)
set(ORV_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/orv)
# The Debian packages put each package's copyright and changelog in
# /usr/share/doc/<package>; a plain install keeps one share/doc/orv.
option(ORV_DEBIAN_LAYOUT "Install the documentation as the Debian packages want it" OFF)
set(ORV_PYTHON_INSTALL_DIR lib/python3/dist-packages
  CACHE STRING "Where the Python package orv is installed, below the prefix")

install(TARGETS orv EXPORT orvTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/liborv/include/orv.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
if(WIN32)
  install(FILES $<TARGET_PROPERTY:orv,ORV_DEF_FILE>
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()

# An including project installs liborv and its header with its own files;
# the rest belongs to this project's own installs and packages.
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()

# find_package(orv) -> orv::orv, and pkg-config orv.
install(EXPORT orvTargets NAMESPACE orv:: FILE orvTargets.cmake
  DESTINATION ${ORV_CMAKE_PACKAGE_DIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/orvConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/orvConfig.cmake INSTALL_DESTINATION ${ORV_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/orvConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/orvConfig.cmake
  ${PROJECT_BINARY_DIR}/package/orvConfigVersion.cmake
  DESTINATION ${ORV_CMAKE_PACKAGE_DIR} COMPONENT development)
# A build is installed under any prefix (cmake --install --prefix, the
# Windows zip unpacked anywhere, the installer's folder): orv.pc finds the
# prefix from its own folder (pkg-config's pcfiledir), as the CMake package
# does. The Debian packages never move and name /usr, whose include and
# library folders pkg-config then leaves out of the flags.
if(ORV_DEBIAN_LAYOUT)
  set(ORV_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
else()
  file(RELATIVE_PATH orv_pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  set(ORV_PC_PREFIX "\${pcfiledir}/${orv_pc_to_prefix}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/orv.pc.in ${PROJECT_BINARY_DIR}/package/orv.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/orv.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The orv command links liborv and finds it where the loader looks.
install(TARGETS orv_command RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)

# The benchmark loads liborv by fixed file names, one of them beside itself.
# On Windows that is bin/liborv.dll; on Linux the program lives in a private
# folder with a link liborv.so to the installed library, and bin has a link
# to the program.
if(WIN32)
  install(TARGETS velmar_multi_device_speed RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT tools)
else()
  set(ORV_BENCHMARK_DIR ${ORV_PRIVATE_LIBDIR}/benchmark)
  install(TARGETS velmar_multi_device_speed RUNTIME DESTINATION ${ORV_BENCHMARK_DIR}
    COMPONENT tools)
  file(RELATIVE_PATH orv_to_library /${ORV_BENCHMARK_DIR}
    /${CMAKE_INSTALL_LIBDIR}/liborv.so.${PROJECT_VERSION_MAJOR})
  file(RELATIVE_PATH orv_to_benchmark /${CMAKE_INSTALL_BINDIR}
    /${ORV_BENCHMARK_DIR}/velmar_multi_device_speed)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/package/links)
  file(CREATE_LINK ${orv_to_library} ${PROJECT_BINARY_DIR}/package/links/liborv.so SYMBOLIC)
  file(CREATE_LINK ${orv_to_benchmark} ${PROJECT_BINARY_DIR}/package/links/velmar_multi_device_speed
    SYMBOLIC)
  install(FILES ${PROJECT_BINARY_DIR}/package/links/liborv.so
    DESTINATION ${ORV_BENCHMARK_DIR} COMPONENT tools)
  install(PROGRAMS ${PROJECT_BINARY_DIR}/package/links/velmar_multi_device_speed
    DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

# The D2XX providers, in their private folders.
install(TARGETS ftd2xx
  LIBRARY DESTINATION ${ORV_PRIVATE_LIBDIR}/sim COMPONENT simulator
  RUNTIME DESTINATION ${ORV_PRIVATE_LIBDIR}/sim COMPONENT simulator
  ARCHIVE DESTINATION ${ORV_PRIVATE_LIBDIR}/sim COMPONENT simulator)
# The recorder forwards to the provider ORV_RECORD_PROVIDER names, else the
# system's (docs/capture.md).
install(TARGETS ftd2xx_record
  LIBRARY DESTINATION ${ORV_PRIVATE_LIBDIR}/record COMPONENT tools
  RUNTIME DESTINATION ${ORV_PRIVATE_LIBDIR}/record COMPONENT tools)
if(TARGET ftd2xx_tty)
  install(TARGETS ftd2xx_tty LIBRARY DESTINATION ${ORV_PRIVATE_LIBDIR}/tty COMPONENT tools)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/60-orv-ftdi.rules
    DESTINATION lib/udev/rules.d COMPONENT tools)
endif()
if(TARGET orvsim-serve)
  install(TARGETS orvsim-serve RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulator)
endif()

# The Tango device server where Starter finds servers (/usr/lib/tango), and
# on the PATH for starting it by hand.
set(ORV_MAN_PAGES orv:tools velmar_multi_device_speed:tools orvsim-serve:simulator)
if(TARGET OrvSpectrometer)
  set(ORV_TANGO_SERVER_DIR lib/tango)
  install(TARGETS OrvSpectrometer RUNTIME DESTINATION ${ORV_TANGO_SERVER_DIR} COMPONENT tango)
  file(RELATIVE_PATH orv_to_server /${CMAKE_INSTALL_BINDIR} /${ORV_TANGO_SERVER_DIR}/OrvSpectrometer)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/package/links)
  file(CREATE_LINK ${orv_to_server} ${PROJECT_BINARY_DIR}/package/links/OrvSpectrometer SYMBOLIC)
  install(PROGRAMS ${PROJECT_BINARY_DIR}/package/links/OrvSpectrometer
    DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tango)
  list(APPEND ORV_MAN_PAGES OrvSpectrometer:tango)
endif()

# The Python package: its sources only; it finds liborv.so.0 by the loader's
# search.
if(NOT WIN32)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/orv DESTINATION ${ORV_PYTHON_INSTALL_DIR}
    COMPONENT python FILES_MATCHING PATTERN "*.py" PATTERN "py.typed"
    PATTERN "__pycache__" EXCLUDE)
endif()

# Manual pages of the programs in bin, compressed as man and dpkg want them
# (gzip -9n: no name or time stamp).
if(NOT WIN32)
  find_program(ORV_GZIP gzip REQUIRED)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/package/man)
  foreach(page IN LISTS ORV_MAN_PAGES)
    string(REPLACE ":" ";" page ${page})
    list(GET page 0 name)
    list(GET page 1 component)
    set(source ${PROJECT_SOURCE_DIR}/packaging/man/${name}.1)
    set(compressed ${PROJECT_BINARY_DIR}/package/man/${name}.1.gz)
    configure_file(${source} ${PROJECT_BINARY_DIR}/package/man/${name}.1 COPYONLY)
    execute_process(COMMAND ${ORV_GZIP} -9nkf ${PROJECT_BINARY_DIR}/package/man/${name}.1
      COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  endforeach()
endif()

# Documentation and examples.
set(ORV_DEV_DOCS ${PROJECT_SOURCE_DIR}/README.md)
file(GLOB ORV_DOC_PAGES ${PROJECT_SOURCE_DIR}/docs/*.md)
if(ORV_DEBIAN_LAYOUT)
  include(${PROJECT_SOURCE_DIR}/cmake/DebianDocs.cmake)
  set(ORV_DEV_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${ORV_PACKAGE_development})
else()
  set(ORV_DEV_DOCDIR ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${ORV_DEV_DOCDIR} COMPONENT runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${ORV_DEV_DOCDIR}
    COMPONENT development)
endif()
install(FILES ${ORV_DEV_DOCS} DESTINATION ${ORV_DEV_DOCDIR} COMPONENT development)
install(FILES ${ORV_DOC_PAGES} DESTINATION ${ORV_DEV_DOCDIR}/docs COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/images DESTINATION ${ORV_DEV_DOCDIR}/docs
  COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${ORV_DEV_DOCDIR}/examples
  COMPONENT development PATTERN "__pycache__" EXCLUDE PATTERN "build" EXCLUDE)
if(TARGET orv_api_reference)
  install(DIRECTORY ${ORV_API_REFERENCE_DIR}/ DESTINATION ${ORV_DEV_DOCDIR}/api
    COMPONENT development OPTIONAL)
endif()
