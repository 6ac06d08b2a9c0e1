# The checked-in advance table is what make_glyph_advances writes from the
# installed font: fails when either changed without the other.
execute_process(COMMAND ${GENERATOR} ${FONT} OUTPUT_VARIABLE generated RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_glyph_advances ${FONT} failed (${status})")
endif()
file(READ ${TABLE} checked_in)
if(NOT generated STREQUAL checked_in)
  message(FATAL_ERROR "${TABLE} differs from the advances of ${FONT}: "
    "cmake --build --preset linux --target regenerate_glyph_advances, and commit the table")
endif()
