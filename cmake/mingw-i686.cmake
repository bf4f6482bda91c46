# Cross-build for 32-bit Windows, the program that ships:
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
#
# The static Qt is looked for in TESKTOQVX_QT_WIN32_PREFIX, by default
# $TESKTOQVX_QT_WIN32_CACHE/install or /var/cache/tesktoqvx/qt5-win32/install.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_triplet i686-w64-mingw32)
set(_qt_prefix_var TESKTOQVX_QT_WIN32_PREFIX)
set(_qt_cache_env TESKTOQVX_QT_WIN32_CACHE)
set(_qt_cache_default /var/cache/tesktoqvx/qt5-win32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw.cmake")
