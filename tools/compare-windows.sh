#!/usr/bin/env bash
# Converts the same Tesk files with the Linux program (build/) and with the
# Windows program under Wine (build-win/, from tools/build-windows.sh) and
# requires the same exit status, the same console output (CR LF line ends of the
# Windows console aside) and byte-identical output files.
#
# Usage: tools/compare-windows.sh [FILE.tesk...]
#   The inputs are sample files written by build/makesample, plus any files
#   given; each is converted under a plain name, under a name outside the
#   Windows ANSI code page, onto an existing output file, onto an existing
#   read-only one (the read-only attribute on Windows) and onto itself.
#   TESKTOQVX_LINUX_BUILD and TESKTOQVX_WIN_BUILD_DIR override the build directories.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux=${TESKTOQVX_LINUX_BUILD:-$root/build}
win=${TESKTOQVX_WIN_BUILD_DIR:-$root/build-win}

for f in "$linux/tesktoqvx" "$linux/makesample"; do
  [ -x "$f" ] || { echo "missing $f: build the Linux program first (bash tools/test.sh)" >&2; exit 1; }
done
[ -f "$win/tesktoqvx.exe" ] || { echo "missing $win/tesktoqvx.exe: run tools/build-windows.sh" >&2; exit 1; }

# As in cmake/mingw-i686.cmake; a UTF-8 locale so that Wine passes non-ASCII
# names on the command line through unchanged.
wine_env=(env LC_ALL=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEPREFIX="$win/wineprefix")
if [ ! -f "$win/wineprefix/system.reg" ]; then
  "${wine_env[@]}" wineboot --init
  "${wine_env[@]}" wineserver --wait
fi

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/linux" "$work/windows"

inputs=()
add_sample() { # name, makesample arguments
  local name=$1; shift
  "$linux/makesample" "$work/in/$name.tesk" "$@" >/dev/null
  inputs+=("$work/in/$name.tesk")
}
add_sample part10 --model 10 --layers 12 --pattern part
add_sample part30 --model 30 --layers 12 --pattern part
add_sample fine10 --model 10 --layers 9 --pattern fine
add_sample fine30 --model 30 --layers 9 --pattern fine
# A file cut short in its header: refused by the machine check.
head -c 100 "$work/in/part10.tesk" >"$work/in/short.tesk"
inputs+=("$work/in/short.tesk")
# Single-precision edge cases, patched into a copy of part10.tesk:
# variant name, header offset, four little-endian bytes.
patched() {
  cp "$work/in/part10.tesk" "$work/in/$1.tesk"
  printf "$3" | dd of="$work/in/$1.tesk" bs=1 seek="$2" conv=notrunc status=none
  inputs+=("$work/in/$1.tesk")
}
patched widest-plate 84 '\x94\xc3\x5d\x42'   # 55.440994: x 1000 truncates to 55440, accepted
patched too-wide-plate 84 '\x96\xc3\x5d\x42' # 55.441: refused
patched signalling-nan 140 '\x01\x00\x80\x7f' # passed on bit for bit, not quieted
patched third-second 12 '\xaa\xaa\xaa\x3e'    # exposure 0.3333333 s x 1000
for f in "$@"; do inputs+=("$(realpath "$f")"); done

failures=0
runs=0
# Runs both programs in their own directories on `input` copied there as
# `name`, writing `outname` (which holds `existing` beforehand, if given, and is
# then read-only if `readonly` is given); compares what they did.
compare() {
  local input=$1 name=$2 outname=$3 existing=${4:-} readonly=${5:-} side status_linux status_windows
  for side in linux windows; do
    chmod -R u+w "${work:?}/$side"
    rm -rf "${work:?}/$side/"*
    cp "$input" "$work/$side/$name"
    [ -z "$existing" ] || printf '%s' "$existing" >"$work/$side/$outname"
    [ -z "$readonly" ] || chmod a-w "$work/$side/$outname"
  done
  status_linux=0
  (cd "$work/linux" && "$linux/tesktoqvx" "$name" "$outname" >stdout.txt) || status_linux=$?
  status_windows=0
  (cd "$work/windows" && "${wine_env[@]}" wine "$win/tesktoqvx.exe" "$name" "$outname" >stdout.crlf) \
    || status_windows=$?
  sed 's/\r$//' "$work/windows/stdout.crlf" >"$work/windows/stdout.txt"
  rm "$work/windows/stdout.crlf"
  runs=$((runs + 1))

  local problems=()
  # Exit status -1 is 255 on Linux; Wine passes the whole 32-bit code, truncated to 8 bits.
  [ $((status_linux & 255)) -eq $((status_windows & 255)) ] ||
    problems+=("exit status $status_linux on Linux, $status_windows on Windows")
  cmp -s "$work/linux/stdout.txt" "$work/windows/stdout.txt" ||
    problems+=("console output differs: $(diff "$work/linux/stdout.txt" "$work/windows/stdout.txt" | head -n 6 | tr '\n' ' ')")
  if [ -f "$work/linux/$outname" ] || [ -f "$work/windows/$outname" ]; then
    if [ ! -f "$work/linux/$outname" ] || [ ! -f "$work/windows/$outname" ]; then
      problems+=("$outname written by one program only")
    elif ! cmp -s "$work/linux/$outname" "$work/windows/$outname"; then
      problems+=("$outname differs: $(cmp "$work/linux/$outname" "$work/windows/$outname" 2>&1 | head -n 1)")
    fi
  fi
  local label="$(basename "$input") as $name -> $outname${existing:+ (replacing a ${readonly:+read-only }file)}"
  if [ ${#problems[@]} -eq 0 ]; then
    local size=absent
    [ -f "$work/linux/$outname" ] && size="$(stat -c %s "$work/linux/$outname") bytes"
    echo "same: $label (exit $status_linux, output $size)"
  else
    failures=$((failures + 1))
    echo "DIFFERENT: $label"
    printf '  %s\n' "${problems[@]}"
  fi
}

for input in "${inputs[@]}"; do
  compare "$input" in.tesk out.qvx
  # A name in another script than the Windows ANSI code page's.
  compare "$input" "模型 ø.tesk" "出力 ø.qvx"
  compare "$input" in.tesk out.qvx "an older print"
  compare "$input" in.tesk out.qvx "an older print" readonly
  compare "$input" in.tesk in.tesk
done

echo "$runs conversions compared, $failures different"
[ "$failures" -eq 0 ]
