# Cross-build for 64-bit Windows: the same sources as the 32-bit program, built
# to run the Windows tests on machines that cannot execute 32-bit code.
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
#
# The static Qt is looked for in TESKTOQVX_QT_WIN64_PREFIX, by default
# $TESKTOQVX_QT_WIN64_CACHE/install or /var/cache/tesktoqvx/qt5-win64/install.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_triplet x86_64-w64-mingw32)
set(_qt_prefix_var TESKTOQVX_QT_WIN64_PREFIX)
set(_qt_cache_env TESKTOQVX_QT_WIN64_CACHE)
set(_qt_cache_default /var/cache/tesktoqvx/qt5-win64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw.cmake")
