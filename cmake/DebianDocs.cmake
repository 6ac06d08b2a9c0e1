# Each Debian package's /usr/share/doc/<package>: the copyright (LICENSE) and
# a Debian changelog naming this release, compressed the way dpkg wants it
# (gzip -9n: no name or time stamp, so the packages build reproducibly).
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
endforeach()
