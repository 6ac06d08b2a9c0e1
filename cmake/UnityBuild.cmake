# Unity builds: a target's sources compiled a few at a time in one translation
# unit. Targets whose files share heavy inline code (CLI11 in the orv
# subcommands, GoogleTest in the test programs) then generate it once per
# batch instead of once per file, which more than halves their compile time.
# Turn it off to compile file by file (for an editor's diagnostics, say).
option(ORV_UNITY_BUILD "Compile the heaviest targets a few files at a time" ON)

function(orv_unity_build target batch)
  if(NOT ORV_UNITY_BUILD)
    return()
  endif()
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${batch})
  # A test fixture in an anonymous namespace is the base of its test classes.
  # g++ warns about that only when the file is included, as in a batch.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-subobject-linkage>)
  endif()
endfunction()
