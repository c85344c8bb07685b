# The unit and end-to-end tests. Every test case is registered with ctest on its own.
# Debian's googletest package ships the sources only; they are built along with the tests.
set(TESSARIN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, when no build is installed")
find_package(GTest QUIET)
if(NOT GTest_FOUND AND EXISTS ${TESSARIN_GTEST_SOURCE}/CMakeLists.txt)
  add_subdirectory(${TESSARIN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(GTest_FOUND TRUE)
endif()
if(NOT GTest_FOUND)
  # The tool still configures and builds; only asking for the tests fails, with the one thing
  # to do. After installing the package a new configure (`make test` runs one) finds it.
  message(STATUS "GoogleTest not found: the tests need libgtest-dev")
  set(TESSARIN_GTEST_MISSING 1 CACHE INTERNAL "The Makefile's test target reads this")
  foreach(target unit_tests e2e_tests)
    add_custom_target(${target}
                      COMMAND ${CMAKE_COMMAND} -E echo
                              "tessarin: GoogleTest not found: install libgtest-dev to run the tests"
                      COMMAND ${CMAKE_COMMAND} -E false)
  endforeach()
  return()
endif()
set(TESSARIN_GTEST_MISSING 0 CACHE INTERNAL "The Makefile's test target reads this")
include(GoogleTest)
enable_testing()

file(GLOB TESSARIN_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
if(WIN32)
  # These call POSIX directly; tests/windows holds the Win32 platform tests.
  list(FILTER TESSARIN_UNIT_TESTS EXCLUDE REGEX ".*/Platform_test\\.cpp$")
endif()
add_executable(unit_tests ${TESSARIN_UNIT_TESTS})
target_link_libraries(unit_tests PRIVATE tessarin_app GTest::gtest_main)
if(CMAKE_CROSSCOMPILING)
  # Under an emulator (Wine) every process start costs; one run holds every case.
  add_test(NAME unit_tests COMMAND unit_tests)
else()
  gtest_discover_tests(unit_tests TEST_PREFIX "unit." DISCOVERY_TIMEOUT 60)
endif()

if(WIN32)
  # The end-to-end harness, the manual page and the install check are POSIX's.
  include(${CMAKE_SOURCE_DIR}/cmake/WindowsTests.cmake)
  return()
endif()

file(GLOB TESSARIN_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
add_executable(e2e_tests ${TESSARIN_E2E_TESTS})
target_link_libraries(e2e_tests PRIVATE tessarin_lib GTest::gtest_main)
target_compile_definitions(e2e_tests PRIVATE TESSARIN_BINARY="$<TARGET_FILE:tessarin>"
                                            TESSARIN_EXAMPLES="${CMAKE_SOURCE_DIR}/examples"
                                            TESSARIN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(e2e_tests tessarin)
gtest_discover_tests(e2e_tests TEST_PREFIX "e2e." DISCOVERY_TIMEOUT 60)

# The manual page must format without a warning wherever groff is there to check it.
find_program(TESSARIN_GROFF groff)
if(TESSARIN_GROFF)
  add_test(NAME man.formats_without_warnings
           COMMAND ${CMAKE_COMMAND} -DGROFF=${TESSARIN_GROFF}
                   -DPAGE=${CMAKE_SOURCE_DIR}/man/tessarin.1
                   -P ${CMAKE_SOURCE_DIR}/cmake/CheckManPage.cmake)
endif()

# `cmake --install` into a scratch prefix puts the tool, its manual page and its completion in
# place, and the installed tool reports the project's version.
add_test(NAME install.puts_the_tool_manual_and_completion_in_place
         COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DVERSION=${PROJECT_VERSION}
                 -P ${CMAKE_SOURCE_DIR}/cmake/CheckInstall.cmake)
