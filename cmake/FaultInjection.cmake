# The program once more, linked with the fault injection of tests/faults: the end-to-end tests
# make chosen system calls fail through it. The program itself is built without it.
if(NOT WIN32 AND NOT TESSARIN_GTEST_MISSING)
  add_executable(tessarin_faults ${CMAKE_SOURCE_DIR}/app/main.cpp
                                 ${CMAKE_SOURCE_DIR}/tests/faults/FaultInjection.cpp)
  target_link_libraries(tessarin_faults PRIVATE tessarin_app)
  target_compile_definitions(e2e_tests PRIVATE
                             TESSARIN_FAULTS_BINARY="$<TARGET_FILE:tessarin_faults>")
  add_dependencies(e2e_tests tessarin_faults)
endif()
