# The project's version lives in project() of the top-level CMakeLists.txt.
# orv.h carries the same number as macros, written out so that the header
# stands alone once installed; configuring stops when the two disagree, and
# the test header_version checks the same in every build.
file(STRINGS ${PROJECT_SOURCE_DIR}/liborv/include/orv.h orv_version_lines
  REGEX "^#define ORV_VERSION(_MAJOR|_MINOR|_PATCH)? ")
set(orv_header_version "")
foreach(part MAJOR MINOR PATCH)
  string(REGEX MATCH "#define ORV_VERSION_${part} ([0-9]+)" match "${orv_version_lines}")
  list(APPEND orv_header_version "${CMAKE_MATCH_1}")
endforeach()
list(JOIN orv_header_version "." orv_header_version)
string(REGEX MATCH "#define ORV_VERSION \"([^\"]*)\"" match "${orv_version_lines}")
if(NOT orv_header_version STREQUAL PROJECT_VERSION OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "liborv/include/orv.h says version ${orv_header_version} (ORV_VERSION "
    "\"${CMAKE_MATCH_1}\"), the project says ${PROJECT_VERSION}: change both together")
endif()
