#!/usr/bin/env bash
# Installs what a Debian 12 machine lacks, as root; otherwise lists it and fails.
# Idempotent: installs nothing when everything is there.
#
#   tools/setup.sh [tests] [sanitizers] [bench]
#
# Without a word: what building and running the programs needs (the quick
# start). Each word adds what one script needs besides:
#   tests       GoogleTest, for the test suite (tools/test.sh)
#   sanitizers  the tests' libraries, and clang with its sanitizer and libFuzzer
#               runtimes (tools/check-sanitized.sh)
#   bench       Google Benchmark, GNU time and valgrind (bench/run.sh,
#               bench/instructions.sh)
set -euo pipefail

packages=(cmake ninja-build g++ qtbase5-dev)
for set in "$@"; do
  case $set in
    tests) packages+=(libgtest-dev libgmock-dev) ;;
    sanitizers) packages+=(libgtest-dev libgmock-dev clang libclang-rt-14-dev) ;;
    bench) packages+=(libbenchmark-dev time valgrind) ;;
    *) echo "setup.sh: unknown set '$set' (tests, sanitizers or bench)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
