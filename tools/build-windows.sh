#!/usr/bin/env bash
# Builds the 32-bit Windows console program build-win/bin/tesktoqvx.exe on Debian 12,
# from Debian's packages only, and runs the Windows tests under Wine:
#   1. installs MinGW-w64, Wine and what building Qt needs (as root);
#   2. builds a static Qt 5.15 (QtCore + QtGui) for Windows from Debian's own
#      qtbase source package, once, into a cache directory outside the
#      repository; later runs reuse it;
#   3. builds the converter (and its tests) with CMake;
#   4. checks that tesktoqvx.exe imports nothing but Windows system DLLs.
#
# Two builds of the same sources: i686 (build-win/, Qt in
# $TESKTOQVX_QT_WIN32_CACHE, default /var/cache/tesktoqvx/qt5-win32) is the
# program that ships; x86_64 (build-win64/, Qt in $TESKTOQVX_QT_WIN64_CACHE,
# default /var/cache/tesktoqvx/qt5-win64) runs the Windows tests on machines
# that cannot execute 32-bit code, under Wine's 64-bit loader.
#
# Usage: tools/build-windows.sh [--arch i686|x86_64] [--prepare] [--qt-only]
#                               [--test] [--test-arch] [--can-run-tests]
#   --arch     the build to make (default i686)
#   --prepare  only install the packages and fetch the Qt sources
#   --qt-only  stop after step 2 (Qt is built and installed in the cache)
#   --test     build the i686 program, then run the Windows tests under Wine
#              (ctest) in the build that --test-arch names, building it first
#   --test-arch  only print the build whose tests run here: x86_64 when this
#              machine cannot execute 32-bit code or TESKTOQVX_WINDOWS_TEST_ARCH
#              is x86_64, else i686
#   --can-run-tests  only tell (exit status 0 or 1) whether this machine can
#              run the 32-bit Windows programs under Wine, and why not
#
# The first run of a build spends most of its time building Qt (about 9
# minutes on two cores); the Qt build runs under `nice -n 19` and logs to
# $CACHE/qt-build.log.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

jobs=${TESKTOQVX_JOBS:-2}
arch=i686
prepare_only=0
qt_only=0
run_tests=0
probe_only=0
print_test_arch=0
while [ $# -gt 0 ]; do
  case $1 in
    --arch) arch=${2:?--arch needs i686 or x86_64}; shift ;;
    --can-run-tests) probe_only=1 ;;
    --prepare) prepare_only=1 ;;
    --qt-only) qt_only=1 ;;
    --test) run_tests=1 ;;
    --test-arch) print_test_arch=1 ;;
    -h|--help) sed -n '2,32p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done
case ${TESKTOQVX_WINDOWS_TEST_ARCH:-} in
  ""|i686|x86_64) ;;
  *) echo "TESKTOQVX_WINDOWS_TEST_ARCH is i686 or x86_64, not $TESKTOQVX_WINDOWS_TEST_ARCH" >&2; exit 2 ;;
esac

# Everything that differs between the two builds.
select_arch() {
  case $1 in
    i686)
      triplet=i686-w64-mingw32
      cache=${TESKTOQVX_QT_WIN32_CACHE:-/var/cache/tesktoqvx/qt5-win32}
      builddir=${TESKTOQVX_WIN_BUILD_DIR:-$root/build-win}
      wine_loader=(wine)
      ;;
    x86_64)
      triplet=x86_64-w64-mingw32
      cache=${TESKTOQVX_QT_WIN64_CACHE:-/var/cache/tesktoqvx/qt5-win64}
      builddir=${TESKTOQVX_WIN64_BUILD_DIR:-$root/build-win64}
      wine_loader=(env WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64)
      ;;
    *) echo "unknown --arch $1: i686 or x86_64" >&2; exit 2 ;;
  esac
  arch=$1
  prefix=$cache/install          # the installed Qt for Windows
  stamp=$prefix/.complete        # written last: Qt is usable only when present
  log=$cache/qt-build.log
  toolbin=$cache/toolbin
  toolchain=$root/cmake/mingw-$arch.cmake
  # The same environment as the emulator that the toolchain file gives ctest.
  wine_env=(env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEPREFIX="$builddir/wineprefix")
  set_qt_configure_options
}

say() { echo "build-windows: $*"; }

# ---------------------------------------------------------------------------
# 1. Packages
# ---------------------------------------------------------------------------
# MinGW for the build, Wine for its tests; the i386 libraries that wine32
# brings also tell whether this machine can execute 32-bit code.
packages() {
  local debarch=${triplet%%-*}
  echo "g++-mingw-w64-${debarch//_/-} binutils-mingw-w64-${debarch//_/-} mingw-w64-${debarch//_/-}-dev"
  echo "dpkg-dev cmake make perl python3 pkg-config g++ googletest wine wine32:i386"
  [ "$arch" = i686 ] || echo wine64
}

missing_packages() {
  local p
  for p in $(packages | tr ' ' '\n' | sort -u); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# Debian's own Qt 5 sources for `apt-get source`: deb-src entries derived from
# the machine's configured deb entries of its Debian release (the same servers,
# suites, components and keys), so that whatever mirror apt uses serves them.
debsrc_file=/etc/apt/sources.list.d/tesktoqvx-deb-src.sources
derive_deb_src() {
  local codename=$1 f
  # deb822 stanzas: each "Types: deb" stanza of this release becomes deb-src.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$debsrc_file" ] || continue
    awk -v release="$codename" '
      function flush() {
        if (stanza != "" && types ~ /(^| )deb( |$)/ && suites ~ ("(^| )" release "([- ]|$)"))
          printf "%s\n", stanza
        stanza = ""; types = ""; suites = ""
      }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      /^Types:/ { types = $0; sub(/^Types:[[:space:]]*/, "", types); stanza = stanza "Types: deb-src\n"; next }
      /^Suites:/ { suites = $0; sub(/^Suites:[[:space:]]*/, "", suites) }
      { stanza = stanza $0 "\n" }
      END { flush() }' "$f"
  done
  # One-line entries: "deb [options] URI SUITE COMPONENTS..." of this release.
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v release="$codename" '
      $1 == "deb" {
        i = 2
        if ($2 ~ /^\[/) { opts = ""; while (i <= NF) { opts = opts " " $i; if ($i ~ /\]$/) break; i++ }; i++ }
        else opts = ""
        uri = $i; suite = $(i + 1); comps = ""
        for (j = i + 2; j <= NF; j++) comps = comps " " $j
        if (suite !~ ("^" release "([-/]|$)")) next
        signed = ""
        if (match(opts, /signed-by=[^] ]+/)) signed = "Signed-By: " substr(opts, RSTART + 10, RLENGTH - 10) "\n"
        printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n%s\n", uri, suite, comps, signed
      }' "$f"
  done
}

ensure_deb_src() {
  if apt-get source --print-uris -qq qtbase-opensource-src >/dev/null 2>&1; then
    return 0
  fi
  local codename entries
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  entries=$(derive_deb_src "$codename")
  [ -n "$entries" ] || { echo "no deb entry for Debian $codename in the apt sources to derive deb-src from" >&2; exit 1; }
  say "adding deb-src entries beside the deb entries for Debian $codename ($debsrc_file)"
  printf '# Added by tesktoqvx tools/build-windows.sh: the deb entries of this machine as deb-src.\n%s\n' \
    "$entries" >"$debsrc_file"
  apt-get update -qq
  apt-get source --print-uris -qq qtbase-opensource-src >/dev/null
}

install_packages() {
  local missing need_update=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    [ "$(id -u)" -eq 0 ] || { echo "Run as root to add the i386 architecture (for wine32)." >&2; exit 1; }
    say "adding the i386 architecture (wine32)"
    dpkg --add-architecture i386
    need_update=1
  fi
  mapfile -t missing < <(missing_packages)
  if [ "${#missing[@]}" -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "Missing packages: ${missing[*]}" >&2
      echo "Run this script as root, or: sudo apt-get install ${missing[*]}" >&2
      exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    if [ "$need_update" -eq 1 ] || ! apt-get install -s -qq "${missing[@]}" >/dev/null 2>&1; then
      apt-get update -qq
    fi
    say "installing: ${missing[*]}"
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# ---------------------------------------------------------------------------
# 2. Static Qt 5 for MinGW
# ---------------------------------------------------------------------------

# Qt and the program must use the same MinGW thread model; use the posix one
# (static libwinpthread) for both, whatever the machine's alternatives say.
make_toolbin() {
  mkdir -p "$toolbin"
  local t
  for t in gcc g++; do
    ln -sfn "/usr/bin/$triplet-$t-posix" "$toolbin/$triplet-$t"
  done
}


# Of what configure sets up, only what the programs link is built and
# installed: QtCore and QtGui with their bundled libraries, qtmain, and the
# host tools that Qt's CMake files name (qmake, moc, rcc); no platform
# integration, platform support or image-format plugin.
qt_make_targets=(sub-gui sub-winmain)

# What the converter does not use is left out: widgets, OpenGL, network,
# SQL, D-Bus, ICU, printing, every platform integration and image plugin but
# the bundled PNG support that QImage needs.
# Set for the build that select_arch chose: the options name its compiler and
# prefix, so they are made anew for each build.
set_qt_configure_options() {
  qt_configure_options=(
    -xplatform win32-g++
    -device-option CROSS_COMPILE=$triplet-
    -prefix "$prefix"
    -static -release -opensource -confirm-license
    -make libs -nomake examples -nomake tests
    -no-widgets -no-opengl -no-dbus -no-icu
    -no-feature-network -no-feature-sql -no-feature-testlib -no-feature-xml
    -no-feature-concurrent
    -no-openssl -no-harfbuzz -no-freetype -no-zstd
    -no-libjpeg -no-gif -no-ico -qt-libpng -qt-zlib -qt-pcre -qt-doubleconversion
    -no-direct2d -no-angle -no-vulkan
    # Tablet input needs wintab.h, which Debian's source package leaves out.
    -no-feature-tabletevent
    # Qt's own floating-point code must round like the x86-64 build does.
    "QMAKE_CFLAGS+=-msse2 -mfpmath=sse"
    "QMAKE_CXXFLAGS+=-msse2 -mfpmath=sse"
  )
}

qt_options_id() { printf '%s\n' "${qt_configure_options[@]}" | sed "s|$cache|CACHE|g" | sha256sum | cut -c1-16; }

qt_is_built() {
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(qt_options_id)" ]
}

fetch_qt_source() {
  local srcroot=$cache/src dir
  dir=$(find "$srcroot" -maxdepth 1 -type d -name 'qtbase-opensource-src-*' 2>/dev/null | head -n1 || true)
  if [ -n "$dir" ] && [ -x "$dir/configure" ]; then
    echo "$dir"; return 0
  fi
  ensure_deb_src >&2
  mkdir -p "$srcroot"
  say "fetching Debian's Qt 5 source package into $srcroot" >&2
  (cd "$srcroot" && apt-get source -qq qtbase-opensource-src >&2)
  dir=$(find "$srcroot" -maxdepth 1 -type d -name 'qtbase-opensource-src-*' | head -n1)
  [ -n "$dir" ] || { echo "apt-get source gave no qtbase source tree" >&2; exit 1; }
  echo "$dir"
}

# configure, make, make install; stops at the first failure.
qt_build_steps() (
  src=$1 objdir=$2 start=$3
  export PATH=$toolbin:$PATH
  echo "== $(date -u '+%F %T') configure ${qt_configure_options[*]}"
  (cd "$objdir" && nice -n 19 "$src/configure" "${qt_configure_options[@]}") || return 1
  echo "== $(date -u '+%F %T') make -j$jobs ${qt_make_targets[*]}"
  # The Makefiles of src/ first, which a plain make would write on its way.
  nice -n 19 make -C "$objdir" sub-src-qmake_all || return 1
  nice -n 19 make -C "$objdir/src" -j"$jobs" "${qt_make_targets[@]}" || return 1
  echo "== $(date -u '+%F %T') make install"
  nice -n 19 make -C "$objdir/src" "${qt_make_targets[@]/%/-install_subtargets}" || return 1
  nice -n 19 make -C "$objdir" sub-qmake-qmake-aux-pro-install_subtargets install_mkspecs || return 1
  echo "== $(date -u '+%F %T') done in $(( $(date +%s) - start )) s"
)

build_qt() {
  if qt_is_built; then
    say "using the static Qt for Windows in $prefix"
    return 0
  fi
  mkdir -p "$cache"
  local src objdir=$cache/build start
  src=$(fetch_qt_source)
  make_toolbin
  say "building a static Qt 5 for $triplet (long; log: $log)"
  start=$(date +%s)
  rm -rf "$objdir" "$prefix"
  mkdir -p "$objdir"
  if ! qt_build_steps "$src" "$objdir" "$start" >"$log" 2>&1; then
    echo "Qt build failed; the end of $log:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
  qt_options_id >"$stamp"
  say "static Qt for Windows built in $(( ($(date +%s) - start) / 60 )) min"
}

# ---------------------------------------------------------------------------
# 3. The converter
# ---------------------------------------------------------------------------
build_converter() {
  say "building the converter into $builddir"
  cmake -S "$root" -B "$builddir" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$builddir" -j"$jobs"
}

# ---------------------------------------------------------------------------
# 4. Only Windows system DLLs may be imported
# ---------------------------------------------------------------------------
system_dlls='^(kernel32|msvcrt|user32|advapi32|shell32|ole32|oleaut32|ws2_32|gdi32|comdlg32|winmm|version|userenv|netapi32|mpr|uuid|shlwapi|crypt32|secur32|bcrypt|rpcrt4|imm32|dwmapi|uxtheme|setupapi|iphlpapi|dnsapi|ntdll|api-ms-win-[a-z0-9-]+)\.dll$'

check_imports() {
  local exe=$1 dlls bad
  dlls=$("$triplet-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  bad=$(echo "$dlls" | tr 'A-Z' 'a-z' | grep -Ev "$system_dlls" || true)
  if [ -n "$bad" ]; then
    echo "$exe imports DLLs that are not part of Windows:" >&2
    echo "$bad" | sed 's/^/  /' >&2
    exit 1
  fi
  say "$(basename "$exe") imports only Windows system DLLs: $(echo "$dlls" | tr '\n' ' ')"
}

# ---------------------------------------------------------------------------
# 5. Under Wine: the program starts, and the test suite passes
# ---------------------------------------------------------------------------

run_windows_tests() {
  if [ ! -f "$builddir/wineprefix/system.reg" ]; then
    say "creating the Wine prefix $builddir/wineprefix"
    "${wine_env[@]}" "${wine_loader[@]}" wineboot --init
    "${wine_env[@]}" wineserver --wait
  fi
  local usage
  usage=$("${wine_env[@]}" "${wine_loader[@]}" "$builddir/bin/tesktoqvx.exe" | tr -d '\r' | head -n1 || true)
  case $usage in
    "error:Invalid parameter,format:"*" input output") say "under Wine: $usage" ;;
    *) echo "tesktoqvx.exe under Wine printed: $usage" >&2; exit 1 ;;
  esac
  ctest --test-dir "$builddir" --output-on-failure -j"$jobs" --timeout 300
}

# Wine runs a 32-bit Windows program in a 32-bit Linux process. Some virtual
# machines (a PVM guest, for one) cannot execute 32-bit x86 code at all, and
# there Wine fails with "Exec format error". Needs the i386 C library, which
# wine32 brings.
can_run_32bit() {
  if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    say "this machine cannot execute 32-bit x86 programs (/lib/ld-linux.so.2: $(/lib/ld-linux.so.2 --version 2>&1 | head -n1 | sed 's/.*: //'))" >&2
    return 1
  fi
}

# The build whose tests run here.
test_arch() {
  case ${TESKTOQVX_WINDOWS_TEST_ARCH:-} in
    x86_64|i686) echo "$TESKTOQVX_WINDOWS_TEST_ARCH" ;;
    *) if can_run_32bit; then echo i686; else echo x86_64; fi ;;
  esac
}

build() {
  install_packages
  build_qt
  [ "$qt_only" -eq 1 ] && return 0
  build_converter
  check_imports "$builddir/bin/tesktoqvx.exe"
}

main() {
  select_arch "$arch"
  if [ "$probe_only" -eq 1 ] || [ "$print_test_arch" -eq 1 ]; then
    select_arch i686
    install_packages
    [ "$probe_only" -eq 1 ] && { can_run_32bit; exit; }
    test_arch; exit
  fi
  if [ "$prepare_only" -eq 1 ]; then
    install_packages; mkdir -p "$cache"; fetch_qt_source >/dev/null; exit 0
  fi
  if [ "$run_tests" -eq 0 ]; then
    build; exit 0
  fi
  # The 32-bit program ships, so it is built whichever build is tested.
  select_arch i686
  build
  local tested
  tested=$(test_arch)
  if [ "$tested" = x86_64 ]; then
    say "the Windows tests run in the 64-bit test build of the same sources"
    select_arch x86_64
    build
  fi
  [ "$qt_only" -eq 1 ] && exit 0
  run_windows_tests
}

main; exit
