#!/usr/bin/env bash
# Writes the release packages into dist/:
#   tesktoqvx_VERSION_amd64.deb   the Debian package: built the Debian way, by
#                                 dpkg-buildpackage from debian/ (debhelper
#                                 drives CMake and runs the test suite), with
#                                 its dependencies computed by dpkg-shlibdeps,
#                                 and checked by lintian (errors fail)
#   tesktoqvx-VERSION-win32.zip   the 32-bit Windows programs (from
#                                 tools/build-windows.sh), the README as text,
#                                 the licence, Qt's licence and how to relink
# VERSION is the one in CMakeLists.txt's project(). The files tracked by git, as
# they are in the work tree, are packaged. As root it installs what it lacks.
#
# Usage: tools/package.sh [--deb-only]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
deb_only=0
[ "${1:-}" = --deb-only ] && deb_only=1

version=$(sed -n 's/^project(tesktoqvx VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
dist=$root/dist
say() { echo "package: $*"; }

bash tools/setup.sh tests
missing=()
for p in debhelper dpkg-dev lintian; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "Missing packages: ${missing[*]} (run as root, or install them)" >&2; exit 1; }
  say "installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# Open to other users, so that the package build's tests that run the programs
# as the user nobody can reach them.
chmod 755 "$stage"
mkdir -p "$dist"

# The Debian package, from a copy of the tracked files. Its changelog carries the
# project's version, dated by the last commit.
build_deb() {
  local src=$stage/tesktoqvx-$version deb=tesktoqvx_${version}_amd64.deb
  mkdir -p "$src"
  git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$src"
  cat >"$src/debian/changelog" <<CHANGES
tesktoqvx ($version) unstable; urgency=medium

  * Release $version.

 -- The tesktoqvx developers <developers@tesktoqvx.example>  $(git log -1 --format=%aD)
CHANGES
  say "building $deb (log: $dist/deb-build.log)"
  if ! (cd "$src" && dpkg-buildpackage -b -uc -us) >"$dist/deb-build.log" 2>&1; then
    tail -n 40 "$dist/deb-build.log" >&2
    exit 1
  fi
  cp "$stage/$deb" "$dist/$deb"
  say "lintian:"
  lintian --fail-on error --info "$dist/$deb" | sed 's/^/  /' || { echo "lintian found errors" >&2; exit 1; }
  say "wrote $dist/$deb ($(dpkg-deb -f "$dist/$deb" Depends))"
}

build_zip() {
  local zip=tesktoqvx-$version-win32.zip dir=$stage/tesktoqvx-$version-win32
  bash tools/build-windows.sh
  mkdir -p "$dir"
  cp build-win/bin/tesktoqvx.exe build-win/bin/sliceinfo.exe "$dir/"
  # Text files with Windows line ends.
  sed 's/$/\r/' README.md >"$dir/README.txt"
  sed 's/$/\r/' LICENSE >"$dir/LICENSE.txt"
  sed 's/$/\r/' docs/windows-qt.txt >"$dir/QT-NOTE.txt"
  sed 's/$/\r/' /usr/share/common-licenses/LGPL-3 >"$dir/Qt-LGPL-3.txt"
  sed 's/$/\r/' /usr/share/common-licenses/GPL-3 >"$dir/Qt-GPL-3.txt"
  rm -f "$dist/$zip"
  (cd "$stage" && cmake -E tar cf "$dist/$zip" --format=zip "tesktoqvx-$version-win32")
  say "wrote $dist/$zip: $(cd "$dir" && ls | tr '\n' ' ')"
}

build_deb
[ "$deb_only" -eq 1 ] || build_zip
