# What the Windows cross-builds share (cmake/mingw-i686.cmake, the program
# that ships, and cmake/mingw-x86_64.cmake, its 64-bit test build): Debian's
# MinGW-w64 (posix thread model) against the static Qt 5 that
# tools/build-windows.sh builds. The including file sets CMAKE_SYSTEM_PROCESSOR,
# _triplet, and the name of the Qt prefix variable with its environment
# variable and default cache.
# When Wine is installed, test programs run through it (CMAKE_CROSSCOMPILING_EMULATOR),
# so ctest runs the Windows tests on this machine.

set(CMAKE_SYSTEM_NAME Windows)
# The posix thread model, as Qt was built with; linked statically below.
set(CMAKE_C_COMPILER ${_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_triplet}-windres)

if(NOT ${_qt_prefix_var})
  if(DEFINED ENV{${_qt_cache_env}})
    set(${_qt_prefix_var} "$ENV{${_qt_cache_env}}/install")
  else()
    set(${_qt_prefix_var} ${_qt_cache_default}/install)
  endif()
endif()
set(${_qt_prefix_var} "${${_qt_prefix_var}}" CACHE PATH "Static Qt 5 for ${_triplet}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ${_qt_prefix_var})
set(_qt_prefix "${${_qt_prefix_var}}")

# Libraries, headers and packages come from the MinGW sysroot and the Windows Qt
# only, never from the build machine; programs (moc, rcc, wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${_triplet} "${_qt_prefix}")
list(APPEND CMAKE_PREFIX_PATH "${_qt_prefix}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: libgcc, libstdc++ and winpthread linked in;
# of the static Qt only what is used (Qt is built with a section per function),
# and no symbols in release builds.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# Single-precision arithmetic in SSE registers, as on x86-64 (where these are
# the compiler's defaults anyway).
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  # Wine's 64-bit loader, which runs where 32-bit code cannot; /usr/bin/wine
  # would take the 32-bit one whenever it is installed.
  find_program(TESKTOQVX_WINE wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  set(_wine_loader WINELOADER=${TESKTOQVX_WINE})
else()
  find_program(TESKTOQVX_WINE wine)
  set(_wine_loader)
endif()
if(TESKTOQVX_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  # A Wine prefix of the build tree's own; quiet, and without the Mono and
  # Gecko installers that a new prefix would otherwise ask for.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ${_wine_loader}
          WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix ${TESKTOQVX_WINE})
endif()
