#!/usr/bin/env bash
# Converts the same Tesk files with the Linux program (build/) and with the
# Windows program under Wine and requires the same exit status, the same
# console output (CR LF line ends of the Windows console aside) and
# byte-identical output files. Every difference is reported, then the script
# exits with status 1.
#
# Usage: tools/compare-windows.sh [FILE.tesk...]
#   The inputs are sample files written by build/bin/makesample, plus any files
#   given; each is converted under a plain name, under a name outside the
#   Windows ANSI code page, onto an existing output file, onto an existing
#   read-only one (the read-only attribute on Windows), onto itself and into
#   the null device (NUL on Windows, /dev/null on Linux). As root, the Linux
#   program also runs as the unprivileged user nobody.
#   The Windows build compared is the one whose tests run here
#   (tools/build-windows.sh --test-arch): build-win/ (32-bit), or build-win64/
#   where this machine cannot execute 32-bit code or
#   TESKTOQVX_WINDOWS_TEST_ARCH=x86_64. TESKTOQVX_LINUX_BUILD,
#   TESKTOQVX_WIN_BUILD_DIR and TESKTOQVX_WIN64_BUILD_DIR override the build
#   directories.
#
# One difference is expected and documented: root may write any file, so the
# Linux program run by root replaces a read-only output, which Windows refuses
# (-4) as the Linux program does for any other user.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux=${TESKTOQVX_LINUX_BUILD:-$root/build}
arch=$(bash tools/build-windows.sh --test-arch)
if [ "$arch" = x86_64 ]; then
  win=${TESKTOQVX_WIN64_BUILD_DIR:-$root/build-win64}
  wine=(env WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64)
else
  win=${TESKTOQVX_WIN_BUILD_DIR:-$root/build-win}
  wine=(wine)
fi

for f in "$linux/bin/tesktoqvx" "$linux/bin/makesample"; do
  [ -x "$f" ] || { echo "missing $f: build the Linux program first (bash tools/test.sh)" >&2; exit 1; }
done
[ -f "$win/bin/tesktoqvx.exe" ] || { echo "missing $win/bin/tesktoqvx.exe: run tools/build-windows.sh --test" >&2; exit 1; }
echo "comparing with the $arch Windows build in $win"

# As in the toolchain files; a UTF-8 locale so that Wine passes non-ASCII
# names on the command line through unchanged.
wine_env=(env LC_ALL=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEPREFIX="$win/wineprefix")
if [ ! -f "$win/wineprefix/system.reg" ]; then
  "${wine_env[@]}" "${wine[@]}" wineboot --init
  "${wine_env[@]}" wineserver --wait
fi

# The unprivileged user for the second Linux run, when there is one.
other_user=
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1 && runuser -u nobody -- test -x "$linux/bin/tesktoqvx"; then
  other_user=nobody
fi

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -p "$work/in" "$work/linux" "$work/windows"

inputs=()
add_sample() { # name, makesample arguments
  local name=$1; shift
  "$linux/bin/makesample" "$work/in/$name.tesk" "$@" >/dev/null
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
expected=0
runs=0

# Runs the Linux program as `user` (empty: this one) in its own directory.
run_linux() {
  local user=$1 name=$2 outname=$3
  if [ -n "$user" ]; then
    chown -R "$user" "$work/linux"
    (cd "$work/linux" && runuser -u "$user" -- "$linux/bin/tesktoqvx" "$name" "$outname" >stdout.txt)
  else
    (cd "$work/linux" && "$linux/bin/tesktoqvx" "$name" "$outname" >stdout.txt)
  fi
}

run_windows() {
  local name=$1 outname=$2
  (cd "$work/windows" && "${wine_env[@]}" "${wine[@]}" "$win/bin/tesktoqvx.exe" "$name" "$outname" >stdout.crlf)
}

# What differs between the two runs, one line each; nothing when they agree.
differences() {
  local outname=$1 status_linux=$2 status_windows=$3
  # Exit status -1 is 255 on Linux; Wine passes the whole 32-bit code, truncated to 8 bits.
  [ $((status_linux & 255)) -eq $((status_windows & 255)) ] ||
    echo "exit status $status_linux on Linux, $status_windows on Windows"
  cmp -s "$work/linux/stdout.txt" "$work/windows/stdout.txt" ||
    echo "console output differs: $(diff "$work/linux/stdout.txt" "$work/windows/stdout.txt" | head -n 6 | tr '\n' ' ' || true)"
  [ -n "$outname" ] || return 0
  if [ -f "$work/linux/$outname" ] || [ -f "$work/windows/$outname" ]; then
    if [ ! -f "$work/linux/$outname" ] || [ ! -f "$work/windows/$outname" ]; then
      echo "$outname written by one program only"
    elif ! cmp -s "$work/linux/$outname" "$work/windows/$outname"; then
      echo "$outname differs: $(cmp "$work/linux/$outname" "$work/windows/$outname" 2>&1 | head -n 1 || true)"
    fi
  fi
}

# Converts `input` copied into each program's directory as `name` into
# `outname` (the Linux program into `linux_out` when given: its name for the
# same device), which holds `existing` beforehand if given and is then
# read-only if `readonly` is given; `user` runs the Linux program as that user.
# `expect` is a difference that is expected, as a pattern of the report.
compare() {
  local input=$1 name=$2 outname=$3 existing=${4:-} readonly=${5:-}
  local linux_out=${linux_out:-$outname} user=${user:-} expect=${expect:-} side
  local status_linux=0 status_windows=0
  for side in linux windows; do
    chmod -R u+w "${work:?}/$side"
    rm -rf "${work:?}/$side/"*
    cp "$input" "$work/$side/$name"
    [ -z "$existing" ] || printf '%s' "$existing" >"$work/$side/$outname"
    [ -z "$readonly" ] || chmod a-w "$work/$side/$outname"
  done
  run_linux "$user" "$name" "$linux_out" || status_linux=$?
  run_windows "$name" "$outname" || status_windows=$?
  sed 's/\r$//' "$work/windows/stdout.crlf" >"$work/windows/stdout.txt"
  rm "$work/windows/stdout.crlf"
  runs=$((runs + 1))

  local problems label
  problems=$(differences "$([ "$linux_out" = "$outname" ] && echo "$outname")" "$status_linux" "$status_windows")
  label="$(basename "$input") as $name -> $outname${existing:+ (replacing a ${readonly:+read-only }file)}${user:+ (Linux as $user)}"
  if [ -z "$problems" ]; then
    local size=absent
    [ -f "$work/linux/$linux_out" ] && size="$(stat -c %s "$work/linux/$linux_out") bytes"
    echo "same: $label (exit $status_linux, output $size)"
  elif [ -n "$expect" ] && ! grep -Eqv -- "$expect" <<<"$problems"; then
    expected=$((expected + 1))
    echo "expected difference: $label"
    sed 's/^/  /' <<<"$problems"
  else
    failures=$((failures + 1))
    echo "DIFFERENT: $label"
    sed 's/^/  /' <<<"$problems"
  fi
}

for input in "${inputs[@]}"; do
  compare "$input" in.tesk out.qvx
  # A name in another script than the Windows ANSI code page's.
  compare "$input" "模型 ø.tesk" "出力 ø.qvx"
  compare "$input" in.tesk out.qvx "an older print"
  if [ "$(id -u)" -eq 0 ]; then
    expect="^exit status 0 on Linux, 255 on Windows\$|^console output differs|^out.qvx differs" \
      compare "$input" in.tesk out.qvx "an older print" readonly
  else
    compare "$input" in.tesk out.qvx "an older print" readonly
  fi
  compare "$input" in.tesk in.tesk
  linux_out=/dev/null compare "$input" in.tesk NUL
  if [ -n "$other_user" ]; then
    user=$other_user compare "$input" in.tesk out.qvx "an older print" readonly
    user=$other_user compare "$input" in.tesk in.tesk
  fi
done

echo "$runs conversions compared, $failures different, $expected with the expected difference"
[ "$failures" -eq 0 ]
