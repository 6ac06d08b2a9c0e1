# The warnings of every compiler we build with (g++, mingw g++, clang).
# Warnings are errors where the project is developed (the presets and CI turn
# ORV_WERROR on); a plain build, or one inside another project, only warns, so
# that a newer compiler's new warning does not stop it.
option(ORV_WERROR "Treat compiler warnings as errors" OFF)

function(orv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
  if(ORV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
