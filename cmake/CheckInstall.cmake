# ctest step: installs the build into a scratch prefix and checks what lands there.
set(prefix ${BUILD}/install-check)
file(REMOVE_RECURSE ${prefix})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix}
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${err}")
endif()
foreach(file bin/tessarin share/man/man1/tessarin.1 share/bash-completion/completions/tessarin
             share/doc/tessarin/LICENSE)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND ${prefix}/bin/tessarin --version OUTPUT_VARIABLE out)
if(NOT out STREQUAL "Tessarin ${VERSION}\n")
  message(FATAL_ERROR "installed tool reports \"${out}\", not Tessarin ${VERSION}")
endif()
file(REMOVE_RECURSE ${prefix})
