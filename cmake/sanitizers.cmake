# TESKTOQVX_SANITIZE: every target of the build (converter library, tests,
# programs) with AddressSanitizer and UndefinedBehaviorSanitizer; any finding
# ends the program. Works with g++ and clang.
# TESKTOQVX_FUZZ: the same, with the coverage instrumentation of libFuzzer on
# every object, and the fuzz targets of fuzz/. Needs clang.
option(TESKTOQVX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TESKTOQVX_FUZZ "Build the libFuzzer targets in fuzz/ (clang only)" OFF)

if(TESKTOQVX_SANITIZE OR TESKTOQVX_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(TESKTOQVX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TESKTOQVX_FUZZ needs clang (libFuzzer): configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
