# Each Debian package's /usr/share/doc/<package>: the copyright (LICENSE) and
# a Debian changelog naming this release, compressed the way dpkg wants it
# (gzip -9n: no name or time stamp, so the packages build reproducibly); the
# project's CHANGELOG.md as liborv-dev's upstream changelog.gz; and the
# lintian overrides, each with its reason.
find_program(ORV_GZIP gzip REQUIRED)
string(TIMESTAMP orv_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
foreach(component IN LISTS ORV_PACKAGE_COMPONENTS)
  set(package ${ORV_PACKAGE_${component}})
  set(folder ${PROJECT_BINARY_DIR}/package/doc/${package})
  file(MAKE_DIRECTORY ${folder})
  file(WRITE ${folder}/changelog.Debian
    "${package} (${PROJECT_VERSION}-${ORV_PACKAGE_REVISION}) unstable; urgency=medium\n\n"
    "  * Release ${PROJECT_VERSION}; the changes are in CHANGELOG.md of liborv-dev.\n\n"
    " -- ${ORV_PACKAGE_MAINTAINER}  ${orv_changelog_date}\n")
  execute_process(COMMAND ${ORV_GZIP} -9nf ${folder}/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
    RENAME copyright COMPONENT ${component})
  install(FILES ${folder}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  # These packages are built from the project's sources, never uploaded to
  # Debian: there is no bug that the first upload would close.
  file(WRITE ${folder}/lintian-overrides
    "# Built from the project's own sources, not uploaded to Debian: no ITP bug to close.\n"
    "${package}: initial-upload-closes-no-bugs [usr/share/doc/${package}/changelog.Debian.gz:1]\n")
  if(component STREQUAL "runtime")
    # packaging/debian/liborv0: the trigger refreshes the loader's cache.
    file(APPEND ${folder}/lintian-overrides
      "# CPack writes ldconfig calls into postinst and postrm unless the package brings\n"
      "# its own; these do nothing, as the ldconfig trigger (triggers) does the work.\n"
      "${package}: maintainer-script-empty [postinst]\n"
      "${package}: maintainer-script-empty [postrm]\n")
  endif()
  install(FILES ${folder}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
    RENAME ${package} COMPONENT ${component})
endforeach()

set(folder ${PROJECT_BINARY_DIR}/package/doc/${ORV_PACKAGE_development})
configure_file(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${folder}/changelog COPYONLY)
execute_process(COMMAND ${ORV_GZIP} -9nf ${folder}/changelog COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${folder}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${ORV_PACKAGE_development} COMPONENT development)
