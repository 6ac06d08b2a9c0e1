# Warnings are errors on every compiler we build with (g++, mingw g++, clang).
function(orv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Werror
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
endfunction()
