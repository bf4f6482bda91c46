#!/usr/bin/env bash
# The browser test of sliceinfo's HTML page: installs what it lacks (tools/setup.sh
# browser: Debian's Chromium, Node.js and npm, and the test's npm packages),
# builds the programs and the test's helpers into build/, and runs
# tests/browser/pagetest.mjs, which opens the pages of a built print from the
# disk in Chromium, headless, and compares them with sliceinfo's PNGs.
#
#   tools/test-browser.sh [--screenshot]
#
# --screenshot also writes docs/page.png, the README's picture of the page.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh browser
args=()
for arg in "$@"; do
  case $arg in
    --screenshot) args+=(--screenshot docs/page.png) ;;
    *) echo "test-browser.sh: unknown argument '$arg' (--screenshot)" >&2; exit 2 ;;
  esac
done
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESKTOQVX_TESTS=ON >/dev/null
cmake --build build --target sliceinfo_program tesktoqvx makesample viewerprint subsetpage
node tests/browser/pagetest.mjs --build build "${args[@]}"
