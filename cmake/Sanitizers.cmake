# Instrumented builds, each in a build folder of its own:
#   TESSARIN_SANITIZE  every target with AddressSanitizer and UndefinedBehaviorSanitizer, so the
#                      unit and end-to-end tests run against an instrumented library and binary;
#   TESSARIN_FUZZ      the libFuzzer targets of fuzz/ (clang only), the code under test
#                      instrumented the same way plus coverage for the fuzzer.
option(TESSARIN_SANITIZE "Build everything with AddressSanitizer and UBSan" OFF)
option(TESSARIN_FUZZ "Build the libFuzzer targets in fuzz/ (clang)" OFF)

set(TESSARIN_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
                             -fno-omit-frame-pointer -g -O1)

if(TESSARIN_SANITIZE OR TESSARIN_FUZZ)
  add_compile_options(${TESSARIN_SANITIZER_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()

if(TESSARIN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TESSARIN_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_subdirectory(${CMAKE_SOURCE_DIR}/fuzz ${CMAKE_BINARY_DIR}/fuzz)
endif()
