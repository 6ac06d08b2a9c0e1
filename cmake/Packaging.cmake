# CPack: the Debian 12 packages of the install components (cmake/Install.cmake,
# names in cmake/PackageNames.cmake) from a Linux build, and from the Windows
# build one zip of everything and an installer of the same files. `cpack` in
# the build folder writes them; scripts/package-check.sh builds, installs and
# removes the Debian packages, scripts/windows-zip-check.sh and
# scripts/windows-installer-check.sh check the zip and the installer.
set(CPACK_PACKAGE_NAME orv)
set(CPACK_PACKAGE_VENDOR "liborv developers")
set(CPACK_PACKAGE_CONTACT "${ORV_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x64)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  # The simulator's FTD2XX.dll stays in lib/orv/sim; the Python package is
  # for Linux.
  set(CPACK_COMPONENTS_ALL runtime development tools simulator)

  # The installer (generator NSIS; makensis of Debian's nsis): the zip's
  # folders below the folder the user picks (Program Files\liborv by
  # default), an uninstaller registered with Windows, and on request the
  # programs' folder bin on the PATH, on the options page or, silently (/S),
  # with /ADD_TO_PATH (current user). The uninstaller takes it off again.
  set(CPACK_VERBATIM_VARIABLES ON)
  # A 64-bit installer, like the programs it installs (makensis makes a
  # 32-bit one otherwise, which a 64-bit-only wine cannot run): makensis
  # through a wrapper that sets the target first, as CPack splits extra
  # arguments at spaces.
  find_program(ORV_MAKENSIS makensis)
  if(ORV_MAKENSIS)
    set(CPACK_NSIS_EXECUTABLE ${PROJECT_BINARY_DIR}/package/makensis-amd64)
    file(CONFIGURE OUTPUT ${CPACK_NSIS_EXECUTABLE}.in CONTENT
      "#!/bin/sh\nexec \"${ORV_MAKENSIS}\" \"-XTarget amd64-unicode\" \"$@\"\n")
    file(COPY_FILE ${CPACK_NSIS_EXECUTABLE}.in ${CPACK_NSIS_EXECUTABLE} ONLY_IF_DIFFERENT)
    file(CHMOD ${CPACK_NSIS_EXECUTABLE} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
      GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
  set(CPACK_PACKAGE_INSTALL_DIRECTORY liborv)
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY liborv)
  set(CPACK_NSIS_PACKAGE_NAME "liborv ${PROJECT_VERSION}")
  set(CPACK_NSIS_DISPLAY_NAME "liborv ${PROJECT_VERSION}")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_MODIFY_PATH ON)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  set(CPACK_COMPONENT_RUNTIME_DISPLAY_NAME "liborv.dll")
  set(CPACK_COMPONENT_RUNTIME_REQUIRED ON)
  set(CPACK_COMPONENT_TOOLS_DISPLAY_NAME "Programs: orv, velmar_multi_device_speed")
  set(CPACK_COMPONENT_SIMULATOR_DISPLAY_NAME "Simulated instruments (lib\\orv\\sim)")
  set(CPACK_COMPONENT_DEVELOPMENT_DISPLAY_NAME "Development files and documentation")
  set(orv_uninstall_key "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}")
  # The command line is searched for /ADD_TO_PATH (case-insensitive), as the
  # template offers no option for it; the choice is stored where the
  # uninstaller looks for it.
  set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  StrCpy $R2 0
  orv_path_scan:
    StrCpy $R1 $CMDLINE 12 $R2
    StrCmp $R1 \"\" orv_path_chosen
    StrCmp $R1 /ADD_TO_PATH orv_path_requested
    IntOp $R2 $R2 + 1
    Goto orv_path_scan
  orv_path_requested:
    StrCpy $DO_NOT_ADD_TO_PATH 0
    StrCpy $ADD_TO_PATH_ALL_USERS 0
    StrCpy $ADD_TO_PATH_CURRENT_USER 1
    WriteRegStr SHCTX \"${orv_uninstall_key}\" DoNotAddToPath 0
    WriteRegStr SHCTX \"${orv_uninstall_key}\" AddToPathAllUsers 0
    WriteRegStr SHCTX \"${orv_uninstall_key}\" AddToPathCurrentUser 1
  orv_path_chosen:")
  include(CPack)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${ORV_PACKAGE_COMPONENTS})
# Debian packages install under /usr, whatever prefix the tree installs to.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr" OR NOT ORV_DEBIAN_LAYOUT)
  set(ORV_DEBIAN_TREE ${PROJECT_BINARY_DIR}/debian-tree)
  set(ORV_DEBIAN_BUILD_TYPE ${CMAKE_BUILD_TYPE})
  if(NOT ORV_DEBIAN_BUILD_TYPE)
    set(ORV_DEBIAN_BUILD_TYPE Release)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/CPackDebianTree.cmake.in
    ${PROJECT_BINARY_DIR}/package/CPackDebianTree.cmake @ONLY)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/package/CPackDebianTree.cmake)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ORV_PACKAGE_REVISION})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
# dpkg-shlibdeps names the Debian libraries each binary needs; liborv itself
# is found in the build tree and named below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(orv_exact "(= ${PROJECT_VERSION}-${ORV_PACKAGE_REVISION})")
set(orv_runtime "${ORV_PACKAGE_runtime} (>= ${PROJECT_VERSION})")
# Each package's description: its component's, whose first line is the
# synopsis (no CPACK_PACKAGE_DESCRIPTION_SUMMARY, which CPack would put first).
foreach(component IN LISTS ORV_PACKAGE_COMPONENTS)
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${ORV_PACKAGE_${component}})
  set(CPACK_DEBIAN_${upper}_FILE_NAME DEB-DEFAULT)
endforeach()

set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The ldconfig trigger, in place of the ldconfig calls CPack would write into
# postinst and postrm.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/liborv0/triggers
  ${PROJECT_SOURCE_DIR}/packaging/debian/liborv0/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/liborv0/postrm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "liborv: compact USB spectrometers behind an FTDI bridge
liborv lists FTDI devices, opens spectrometers (one process-wide or many
through handles), detects the UVVIS_ORV or NIR_LEGACY protocol and reads
spectra, settings, identity and calibration through a D2XX library, which it
loads at run time (ORV_D2XX_LIBRARY, else libftd2xx.so).")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${ORV_PACKAGE_runtime} ${orv_exact}")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "liborv: development files
The header orv.h, the link to the library, the CMake package orv (target
orv::orv), the pkg-config file orv.pc, C and Python examples and the
documentation.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION science)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${ORV_PACKAGE_runtime} ${orv_exact}")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "liborv: the orv command, the benchmark, the tty and recording providers
orv lists, inspects, configures and reads spectrometers, plots spectra and
serves a live page; velmar_multi_device_speed measures spectrum read times.
The tty D2XX provider (ORV_D2XX_LIBRARY=/usr/lib/<arch>/orv/tty/libftd2xx.so)
drives instruments through the kernel's ftdi_sio ttys; a udev rule gives the
user access to them. The recording D2XX provider
(/usr/lib/<arch>/orv/record/libftd2xx.so) writes a program's D2XX calls to a
capture file.")

set(CPACK_DEBIAN_SIMULATOR_PACKAGE_SECTION science)
set(CPACK_COMPONENT_SIMULATOR_DESCRIPTION "liborv: simulated spectrometers
A D2XX library (ORV_D2XX_LIBRARY=/usr/lib/<arch>/orv/sim/libftd2xx.so)
serving simulated FTDI bridges and instruments, and orvsim-serve, which
serves them on pseudo-terminals for the tty provider.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, python3-numpy, ${orv_runtime}")
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/python3-orv/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/python3-orv/prerm)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "liborv for Python 3: spectra as numpy arrays
The package orv drives spectrometers over liborv's handle interface, with
spectra as numpy arrays and an exception per result code.")

set(CPACK_DEBIAN_TANGO_PACKAGE_SECTION science)
set(CPACK_DEBIAN_TANGO_PACKAGE_DEPENDS "${ORV_PACKAGE_runtime} ${orv_exact}")
set(CPACK_DEBIAN_TANGO_PACKAGE_SUGGESTS "tango-starter, libtango-tools, python3-tango")
set(CPACK_COMPONENT_TANGO_DESCRIPTION "liborv: Tango device server of the spectrometers
OrvSpectrometer makes each spectrometer a device of a Tango control system:
spectrum, wavelengths, settings, temperature and identity as attributes,
Acquire, Start, Stop and Reset commands, and change and data-ready events for
every spectrum. It is installed where Starter finds servers (/usr/lib/tango).")

include(CPack)
