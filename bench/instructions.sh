#!/usr/bin/env bash
# Instructions per token of the conversion's layer loop, counted by callgrind,
# so that the figure does not depend on how busy the machine is: converts the
# organic corpus file of each model (made by makesample, as bench/run.sh makes
# it) under valgrind --tool=callgrind, counting only inside the layer loop
# (TeskToQvx::convertLayers: reading, decoding, preparing, encoding and writing
# every layer), and divides by the tokens of the file (bench/tokencount).
# Then the dark-space finder's instructions per dark run: bench/findertime
# with the finder, less without it, over the dark runs it fed.
#
#   bench/instructions.sh [-b BUILD] [-c CORPUS] [-l LAYERS] [-p]
#
#   BUILD   configured with -DTESKTOQVX_BENCH=ON; default build
#   CORPUS  where the sample files are made once and kept; default
#           /tmp/tesktoqvx-corpus
#   LAYERS  layers of each organic file; default 2000
#   -p      also print the functions that take the most instructions
#
# "loop" counts the layer loop only; "whole" the whole program, start-up and
# header included.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh bench

build=build
corpus=/tmp/tesktoqvx-corpus
layers=2000
profile=
while getopts b:c:l:p option; do
  case $option in
    b) build=$OPTARG ;;
    c) corpus=$OPTARG ;;
    l) layers=$OPTARG ;;
    p) profile=1 ;;
    *) sed -n '8,14p' "$0" >&2; exit 2 ;;
  esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$corpus"

# instructions OUT_FILE: the program's total instructions (Ir) in a callgrind output.
instructions() {
  awk '/^summary:/ { print $2 }' "$1"
}

printf '%-8s %7s %11s %12s %11s %12s\n' model layers "tokens/L" "loop Ir/L" "loop Ir/tok" "whole Ir/tok"
for model in 10 30; do
  sample="$corpus/organic$model-$layers.tesk"
  [ -s "$sample" ] ||
    "$build/bin/makesample" "$sample" --model "$model" --layers "$layers" --pattern organic >/dev/null
  read -r _ tokens <<<"$("$build/bench/tokencount" "$sample")"
  valgrind --tool=callgrind --callgrind-out-file="$work/loop.out" --toggle-collect='TeskToQvx::convertLayers*' \
    "$build/bin/tesktoqvx" "$sample" "$work/out.qvx" >/dev/null 2>&1
  valgrind --tool=callgrind --callgrind-out-file="$work/whole.out" \
    "$build/bin/tesktoqvx" "$sample" "$work/out.qvx" >/dev/null 2>&1
  awk -v m="$model" -v l="$layers" -v t="$tokens" -v loop="$(instructions "$work/loop.out")" \
      -v whole="$(instructions "$work/whole.out")" \
    'BEGIN { printf "%-8s %7d %11.0f %12.0f %11.1f %12.1f\n", m, l, t / l, loop / l, loop / t, whole / t }'
  if [ -n "$profile" ]; then
    # Self cost of the functions above 1 % of the loop, inlined code by file.
    callgrind_annotate --auto=no --inclusive=no --threshold=99 "$work/loop.out" 2>/dev/null |
      grep -E '^ *[0-9,]+ +\( *[0-9.]+%\)' | grep -v 'PROGRAM TOTALS' | sort -u -t'(' -k2 -r -n | head -8
    echo
  fi
done

echo
printf '%-8s %7s %11s %12s\n' model layers "dark runs/L" "finder Ir/run"
for model in 10 30; do
  sample="$corpus/organic$model-$layers.tesk"
  runs=$("$build/bench/findertime" darkspace "$sample" | sed -n 's/.*; \([0-9]*\) dark runs.*/\1/p')
  valgrind --tool=callgrind --callgrind-out-file="$work/dark.out" \
    "$build/bench/findertime" darkspace "$sample" >/dev/null 2>&1
  valgrind --tool=callgrind --callgrind-out-file="$work/read.out" "$build/bench/findertime" none "$sample" >/dev/null 2>&1
  awk -v m="$model" -v l="$layers" -v r="$runs" -v dark="$(instructions "$work/dark.out")" \
      -v read="$(instructions "$work/read.out")" \
    'BEGIN { printf "%-8s %7d %11.0f %12.1f\n", m, l, r / l, (dark - read) / r }'
done
