#!/usr/bin/env bash
# Installs what is missing, builds the programs and the tests, and runs the
# whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh tests
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESKTOQVX_TESTS=ON
cmake --build build
status=0
ctest --test-dir build --output-on-failure -j2 || status=$?
# ctest lists the skipped tests without their reasons, which their output holds.
awk '/^\[ RUN +\]/ { name = $NF } /: Skipped$/ { getline reason; print "Skipped " name ": " reason }' \
    build/Testing/Temporary/LastTest.log
exit "$status"
