#!/usr/bin/env bash
# Benchmark of sliceinfo's HTML page: for the samples of the quick start (the
# calibration part, 300 layers, each model) and the realistic 2,000-layer
# organic prints (model 30, and model 10, whose qvx holds a quarter of the Tesk
# file's pixels), as Tesk and as qvx, the time and memory that
# `sliceinfo --html` takes, the page's size against the qvx file of the same
# print, and the time Debian's Chromium takes to open the page from the disk and
# show its first layer (best of 3, headless; tests/browser/pagebench.mjs).
# The page should take at most 1.5 x the qvx and open within 2 s.
#
#   bench/page.sh [-b BUILD] [-c CORPUS]
#
#   BUILD   default build (the programs are built there if they are missing)
#   CORPUS  where the prints are made once and kept, as bench/run.sh does;
#           default /tmp/tesktoqvx-corpus
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
corpus=/tmp/tesktoqvx-corpus
while getopts b:c: option; do
  case $option in
    b) build=$OPTARG ;;
    c) corpus=$OPTARG ;;
    *) sed -n '10,14p' "$0" >&2; exit 2 ;;
  esac
done
bash tools/setup.sh browser
[ -x "$build/bin/sliceinfo" ] || { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null &&
                                   cmake --build "$build" --target sliceinfo_program tesktoqvx makesample; }

# name pattern model layers
prints=(
  "part10-300 part 10 300"
  "part30-300 part 30 300"
  "organic30-2000 organic 30 2000"
  "organic10-2000 organic 10 2000"
)
mkdir -p "$corpus/out"
pages=()
echo "print | sliceinfo --html: wall s | cpu s | peak MiB"
echo "---|---|---|---"
for p in "${prints[@]}"; do
  read -r name pattern model layers <<<"$p"
  [ -s "$corpus/$name.tesk" ] ||
    "$build/bin/makesample" "$corpus/$name.tesk" --model "$model" --layers "$layers" --pattern "$pattern" >/dev/null
  [ -s "$corpus/$name.qvx" ] || "$build/bin/tesktoqvx" "$corpus/$name.tesk" "$corpus/$name.qvx" >/dev/null
  for format in tesk qvx; do
    page="$corpus/out/$name-$format.html"
    /usr/bin/time -f '%e %U %S %M' -o "$corpus/out/time" "$build/bin/sliceinfo" "$corpus/$name.$format" --html "$page" >/dev/null ||
      [ $? -eq 3 ]
    read -r wall user system peak <"$corpus/out/time"
    echo "$name.$format | $wall | $(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }') | $((peak / 1024))"
    pages+=("$page:$corpus/$name.qvx")
  done
done
echo
node tests/browser/pagebench.mjs "${pages[@]}"
