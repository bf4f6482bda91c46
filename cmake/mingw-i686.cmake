# Cross-build for 32-bit Windows with Debian's MinGW-w64 (posix thread model),
# against the static Qt 5 that tools/build-windows.sh builds.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
#
# The static Qt is looked for in TESKTOQVX_QT_WIN32_PREFIX, by default
# $TESKTOQVX_QT_WIN32_CACHE/install or /var/cache/tesktoqvx/qt5-win32/install.
# When Wine is installed, test programs run through it (CMAKE_CROSSCOMPILING_EMULATOR),
# so ctest runs the Windows tests on this machine.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(_triplet i686-w64-mingw32)
# The posix thread model, as Qt was built with; linked statically below.
set(CMAKE_C_COMPILER ${_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_triplet}-windres)

if(NOT TESKTOQVX_QT_WIN32_PREFIX)
  if(DEFINED ENV{TESKTOQVX_QT_WIN32_CACHE})
    set(TESKTOQVX_QT_WIN32_PREFIX "$ENV{TESKTOQVX_QT_WIN32_CACHE}/install")
  else()
    set(TESKTOQVX_QT_WIN32_PREFIX /var/cache/tesktoqvx/qt5-win32/install)
  endif()
endif()
set(TESKTOQVX_QT_WIN32_PREFIX "${TESKTOQVX_QT_WIN32_PREFIX}" CACHE PATH "Static Qt 5 for i686 MinGW")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TESKTOQVX_QT_WIN32_PREFIX)

# Libraries, headers and packages come from the MinGW sysroot and the Windows Qt
# only, never from the build machine; programs (moc, rcc, wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${_triplet} "${TESKTOQVX_QT_WIN32_PREFIX}")
list(APPEND CMAKE_PREFIX_PATH "${TESKTOQVX_QT_WIN32_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: libgcc, libstdc++ and winpthread linked in;
# of the static Qt only what is used (Qt is built with a section per function),
# and no symbols in release builds.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# Single-precision arithmetic in SSE registers, as on x86-64.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

find_program(TESKTOQVX_WINE wine)
if(TESKTOQVX_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  # A Wine prefix of the build tree's own; quiet, and without the Mono and
  # Gecko installers that a new prefix would otherwise ask for.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
          WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix ${TESKTOQVX_WINE})
endif()
