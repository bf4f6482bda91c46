#!/usr/bin/env bash
# Checks the packages that tools/package.sh wrote into dist/ (as root): installs
# the Debian package with apt, converts the sample with the installed
# /usr/bin/tesktoqvx and requires the bytes of build/bin/tesktoqvx's conversion,
# runs the installed sliceinfo and man on it, and removes the package again;
# then runs the zip's tesktoqvx.exe under Wine on the same sample, where this
# machine can, with the same requirement.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(tesktoqvx VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=dist/tesktoqvx_${version}_amd64.deb
zip=dist/tesktoqvx-$version-win32.zip
say() { echo "check-packages: $*"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/bin/makesample "$work/sample.tesk" --model 10 --layers 30 >/dev/null
build/bin/tesktoqvx "$work/sample.tesk" "$work/build-tree.qvx" >/dev/null

if dpkg-query -W -f='${Status}' tesktoqvx 2>/dev/null | grep -q "install ok installed"; then
  echo "tesktoqvx is installed already; remove it first" >&2
  exit 1
fi
say "installing $deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
status=0
/usr/bin/tesktoqvx "$work/sample.tesk" "$work/installed.qvx" >/dev/null || status=$?
if [ "$status" -eq 0 ] && cmp "$work/build-tree.qvx" "$work/installed.qvx"; then
  say "the installed tesktoqvx wrote the same bytes as the build tree's"
else
  say "the installed tesktoqvx failed (status $status) or wrote other bytes"
  status=1
fi
# Sound, with warnings or without: the sample's base has blind holes, which
# are suction cups while it prints.
report=0
/usr/bin/sliceinfo "$work/installed.qvx" >"$work/report.txt" || report=$?
if [ "$report" -eq 0 ] || [ "$report" -eq 3 ]; then
  say "installed sliceinfo: $(tail -n 1 "$work/report.txt")"
else
  say "the installed sliceinfo exited with status $report"
  status=1
fi
/usr/bin/sliceinfo --version | grep -qx "sliceinfo $version" || { say "sliceinfo --version is not $version"; status=1; }
man -w tesktoqvx sliceinfo >/dev/null || { say "the manual pages are not installed"; status=1; }
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tesktoqvx >/dev/null
[ ! -e /usr/bin/tesktoqvx ] || { say "removing the package left /usr/bin/tesktoqvx"; status=1; }
[ "$status" -eq 0 ] || exit 1

if [ -f "$zip" ] && bash tools/build-windows.sh --can-run-tests; then
  (cd "$work" && cmake -E tar xf "$OLDPWD/$zip")
  exe=$work/tesktoqvx-$version-win32/tesktoqvx.exe
  # The Wine prefix of the Windows build, which tools/build-windows.sh made.
  prefix=$PWD/build-win/wineprefix
  (cd "$work" && env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEPREFIX="$prefix" \
     wine "$exe" sample.tesk zip.qvx >/dev/null)
  cmp "$work/build-tree.qvx" "$work/zip.qvx"
  say "the zip's tesktoqvx.exe under Wine wrote the same bytes"
fi
