#!/usr/bin/env bash
# Whole-file benchmark: converts a generated sample corpus with the program of
# one build (and, with -o, of another build, whose outputs must be the same
# bytes) and prints for each file its time against two floors measured in the
# same run: the I/O floor of a safe conversion of that file (bench/iofloor:
# read the whole input, write as many bytes as the output holds to a new file
# beside it, fdatasync, rename), and the pixel floor (clearing one layer bitmap
# and scanning it once, from the build's stage_benchmarks); and its peak memory.
#
#   bench/run.sh [-b BUILD] [-o OTHER_BUILD] [-c CORPUS] [-r REPEATS] [-f FINE_LAYERS]
#
#   BUILD        configured with -DTESKTOQVX_BENCH=ON; default build
#   OTHER_BUILD  a build of another version to compare with, run once per file
#   CORPUS       where the sample files are made once and kept; default
#                /tmp/tesktoqvx-corpus (about 150 MB, plus 1.1 GB for the fine and hollow files)
#   REPEATS      runs per file of BUILD's program, the fastest counts; default 3
#   FINE_LAYERS  layers of the fine-detail and the hollows worst cases; default 200
#
# "cpu" is processor time (user + system), which a shared machine does not
# disturb much; "wall" is elapsed time, which includes waiting for the disk.
# "x io" compares wall times with the I/O floor's, "x px" the processor time
# per layer with the pixel floor.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
other=
corpus=/tmp/tesktoqvx-corpus
repeats=3
fineLayers=200
while getopts b:o:c:r:f: option; do
  case $option in
    b) build=$OPTARG ;;
    o) other=$OPTARG ;;
    c) corpus=$OPTARG ;;
    r) repeats=$OPTARG ;;
    f) fineLayers=$OPTARG ;;
    *) sed -n '9,17p' "$0" >&2; exit 2 ;;
  esac
done
bash tools/setup.sh bench
[ -x "$build/bench/stage_benchmarks" ] ||
  { echo "no $build/bench/stage_benchmarks: configure $build with -DTESKTOQVX_BENCH=ON and build it" >&2; exit 2; }

# name pattern model layers
samples=(
  "organic10-2000 organic 10 2000"
  "organic30-2000 organic 30 2000"
  "part10-2000 part 10 2000"
  "part10-20 part 10 20"
  "fine10-$fineLayers fine 10 $fineLayers"
  "part30-2000 part 30 2000"
  "part30-20 part 30 20"
  "fine30-$fineLayers fine 30 $fineLayers"
  "hollows30-$fineLayers hollows 30 $fineLayers"
)
mkdir -p "$corpus/out"
for sample in "${samples[@]}"; do
  read -r name pattern model layers <<<"$sample"
  [ -s "$corpus/$name.tesk" ] ||
    "$build/bin/makesample" "$corpus/$name.tesk" --model "$model" --layers "$layers" --pattern "$pattern" >/dev/null
done

# Floor per layer in ms for each model, from the manual-time column (ns).
floors=$("$build/bench/stage_benchmarks" --benchmark_filter='^Floor' --benchmark_min_time=1 \
           --benchmark_format=csv "$corpus/part10-20.tesk" "$corpus/part30-20.tesk" 2>/dev/null |
         awk -F, '/^"Floor/ { print $3 / 1e6 }')
floor10=$(sed -n 1p <<<"$floors")
floor30=$(sed -n 2p <<<"$floors")

# measure RUNS FIELD PROGRAM ARGS...: prints "cpu_seconds wall_seconds peak_kib"
# of the best of RUNS runs, the one with the least cpu (FIELD 1) or wall (2)
# time. The shell times them (to the millisecond), /usr/bin/time gives the peak.
measure() {
  local runs=$1 field=$2 best=
  shift 2
  local TIMEFORMAT='%3U %3S %3R'
  for ((run = 0; run < runs; run++)); do
    { time /usr/bin/time -f '%M' -o "$corpus/out/peak" "$@" >/dev/null; } 2>"$corpus/out/time"
    local line
    line=$(awk -v peak="$(tail -n 1 "$corpus/out/peak")" '{ printf "%.3f %.3f %d\n", $1 + $2, $3, peak }' "$corpus/out/time")
    if [ -z "$best" ] || awk -v a="$(cut -d' ' -f"$field" <<<"$line")" -v b="$(cut -d' ' -f"$field" <<<"$best")" \
                           'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  echo "$best"
}

printf 'floor per layer: model 10 %.4f ms, model 30 %.4f ms\n\n' "$floor10" "$floor30"
printf '%-15s %6s %-5s %7s %7s %9s %7s %7s %7s %8s\n' file layers build "cpu s" "wall s" "cpu ms/L" "x px" "io s" "x io" "peak MiB"
declare -A cpuOf
status=0
for sample in "${samples[@]}"; do
  read -r name pattern model layers <<<"$sample"
  floor=$([ "$model" = 10 ] && echo "$floor10" || echo "$floor30")
  builds=("new $build $repeats")
  [ -n "$other" ] && builds+=("old $other 1")
  for entry in "${builds[@]}"; do
    read -r label dir runs <<<"$entry"
    read -r cpu wall peak <<<"$(measure "$runs" 1 "$dir/bin/tesktoqvx" "$corpus/$name.tesk" "$corpus/out/$label.qvx")"
    cpuOf[$name-$label]=$cpu
    # The I/O floor of this very conversion, right after it.
    read -r _ ioWall _ <<<"$(measure "$runs" 2 "$build/bench/iofloor" "$corpus/$name.tesk" \
                              "$(stat -c %s "$corpus/out/$label.qvx")" "$corpus/out/floor.bin")"
    awk -v n="$name" -v l="$layers" -v b="$label" -v c="$cpu" -v w="$wall" -v p="$peak" -v f="$floor" -v io="$ioWall" \
      'BEGIN { printf "%-15s %6d %-5s %7.3f %7.3f %9.4f %7.2f %7.3f %7.2f %8.1f\n", n, l, b, c, w, 1000 * c / l, 1000 * c / l / f, io, w / io, p / 1024 }'
  done
  if [ -n "$other" ] && ! cmp -s "$corpus/out/new.qvx" "$corpus/out/old.qvx"; then
    echo "$name: the two builds wrote different files" >&2
    status=1
  fi
done

echo
for model in 10 30; do
  floor=$([ "$model" = 10 ] && echo "$floor10" || echo "$floor30")
  awk -v a="${cpuOf[part$model-2000-new]}" -v b="${cpuOf[part$model-20-new]}" -v f="$floor" -v m="$model" \
    'BEGIN { t = 1000 * (a - b) / 1980; printf "model %s, per layer without start-up ((2000 layers - 20 layers) / 1980): %.4f ms = %.2f x floor\n", m, t, t / f }'
  if [ -n "$other" ]; then
    for name in organic$model-2000 part$model-2000 fine$model-$fineLayers; do
      awk -v a="${cpuOf[$name-old]}" -v b="${cpuOf[$name-new]}" -v n="$name" \
        'BEGIN { printf "%s: %.1f times faster than the other build\n", n, a / b }'
    done
  fi
done

# sliceinfo's whole report (summary, checks, warnings with islands, traps and
# cups) with its peak memory, the same with --png (the preview, contact sheet
# and height plot besides), the islands alone (bench/findertime islands) and
# the traps and cups alone (bench/findertime darkspace), against the conversion
# of the same file in this run: on the organic model-30 file the bounds are
# 1.5 x and 64 MiB, 2 x and 1 x; the fine worst case (a run every one to three
# pixels) and the many small hollows (every dark run sealed) are shown beside it.
for name in organic30-2000 fine30-$fineLayers hollows30-$fineLayers; do
  read -r textCpu textWall textPeak <<<"$(measure "$repeats" 1 "$build/bin/sliceinfo" "$corpus/$name.tesk")"
  read -r reportCpu reportWall _ <<<"$(measure "$repeats" 1 "$build/bin/sliceinfo" "$corpus/$name.tesk" --png "$corpus/out/png")"
  read -r islandCpu islandWall _ <<<"$(measure "$repeats" 1 "$build/bench/findertime" islands "$corpus/$name.tesk")"
  read -r darkCpu darkWall darkPeak <<<"$(measure "$repeats" 1 "$build/bench/findertime" darkspace "$corpus/$name.tesk")"
  awk -v n="$name" -v x="$textCpu" -v xw="$textWall" -v xp="$textPeak" -v c="$reportCpu" -v w="$reportWall" \
      -v i="$islandCpu" -v iw="$islandWall" -v d="$darkCpu" -v dw="$darkWall" -v dp="$darkPeak" -v t="${cpuOf[$name-new]}" \
    'BEGIN { printf "%s: sliceinfo       cpu %.3f s, wall %.3f s = %.2f x the conversion (cpu; bound 1.5 on organic30), peak %.1f MiB\n", n, x, xw, x / t, xp / 1024
             printf "%s: sliceinfo --png cpu %.3f s, wall %.3f s = %.2f x the conversion (cpu; bound 2 on organic30)\n", n, c, w, c / t
             printf "%s: islands alone   cpu %.3f s, wall %.3f s = %.2f x the conversion (cpu; bound 1 on organic30)\n", n, i, iw, i / t
             printf "%s: dark space alone cpu %.3f s, wall %.3f s = %.2f x the conversion (cpu), peak %.1f MiB\n", n, d, dw, d / t, dp / 1024 }'
done
rm -rf "$corpus/out"
exit $status
