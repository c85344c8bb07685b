# Tests that only Windows can show: code-page rules, "\" paths and drive letters, sharing.
# Each group runs in a process of its own with the code page it needs. Wine takes the ANSI
# code page from LC_ALL; on Windows itself the system's code page stands and a group whose
# code page is not the system's skips itself.
file(GLOB TESSARIN_WINDOWS_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/*_test.cpp)
add_executable(windows_tests ${TESSARIN_WINDOWS_TESTS})
target_include_directories(windows_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
target_link_libraries(windows_tests PRIVATE tessarin_app GTest::gtest_main)

foreach(group IN ITEMS "CodePage1252:en_US.UTF-8" "CodePage932:ja_JP.UTF-8"
                       "WindowsPaths:en_US.UTF-8" "WindowsSharing:en_US.UTF-8")
  # A suite and those whose names it begins ("CodePage932Paths" runs with "CodePage932").
  string(REPLACE ":" ";" group "${group}")
  list(GET group 0 suite)
  list(GET group 1 locale)
  add_test(NAME windows_${suite} COMMAND windows_tests --gtest_filter=${suite}*)
  set_tests_properties(windows_${suite} PROPERTIES ENVIRONMENT "LC_ALL=${locale}")
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    # Under Wine the code page is pinned above, so a skipped or empty group is a broken set-up.
    set_tests_properties(windows_${suite} PROPERTIES
                         FAIL_REGULAR_EXPRESSION "\\[  SKIPPED \\];Running 0 tests")
  endif()
endforeach()
