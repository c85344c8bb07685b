# ctest step: formats the manual page with every groff warning on and fails on any output.
execute_process(COMMAND ${GROFF} -man -ww -z ${PAGE}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "groff -man -ww on ${PAGE}:\n${out}${err}")
endif()
