#!/usr/bin/env bash
# The files that once made the programs work without bound (bench/hostilefiles
# says what each holds), timed with the programs of one build and, with -o, of
# another, whose outputs must then be the same: the converter on the files of a
# supported grid, sliceinfo on all, with --png and with --png --layers 0-19 on
# the shared block. Prints the wall time, the seconds per MB of input and the
# peak memory of each run.
#
#   bench/hostile.sh [-b BUILD] [-o OTHER_BUILD] [-c CORPUS]
#
#   BUILD        configured with -DTESKTOQVX_BENCH=ON; default build
#   OTHER_BUILD  a build of another version to compare with
#   CORPUS       where the files are made once and kept; default
#                /tmp/tesktoqvx-hostile (about 300 MB)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
other=
corpus=/tmp/tesktoqvx-hostile
while getopts b:o:c: option; do
  case $option in
    b) build=$OPTARG ;;
    o) other=$OPTARG ;;
    c) corpus=$OPTARG ;;
    *) sed -n '9,14p' "$0" >&2; exit 2 ;;
  esac
done
[ -x "$build/bench/hostilefiles" ] ||
  { echo "no $build/bench/hostilefiles: configure $build with -DTESKTOQVX_BENCH=ON and build it" >&2; exit 2; }
mkdir -p "$corpus/out"
[ -s "$corpus/shared32.tesk" ] || "$build/bench/hostilefiles" "$corpus"

# run LABEL FILE OUTPUT PROGRAM ARGS...: one timed run, its output in OUTPUT.
run() {
  local label=$1 file=$2 output=$3
  shift 3
  /usr/bin/time -f '%e %M' -o "$corpus/out/time" "$@" >"$output" 2>/dev/null || true
  # GNU time puts a line before its figures when the program exits non-zero.
  read -r wall peak < <(tail -n 1 "$corpus/out/time")
  awk -v l="$label" -v w="$wall" -v p="$peak" -v s="$(stat -c %s "$file")" \
    'BEGIN { printf "%-44s %8.2f %10.3f %9.1f\n", l, w, w / (s / 1048576), p / 1024 }'
}

printf '%-44s %8s %10s %9s\n' "program file build" "wall s" "s per MB" "peak MiB"
status=0
builds=("new $build")
[ -n "$other" ] && builds+=("old $other")
for name in alternating16 alternating64 shared32 overlapping64 tall blocks; do
  file=$corpus/$name.tesk
  for entry in "${builds[@]}"; do
    read -r label dir <<<"$entry"
    case $name in tall | blocks) ;; *)
      run "tesktoqvx $name $label" "$file" "$corpus/out/convert-$label" \
        "$dir/bin/tesktoqvx" "$file" "$corpus/out/$label.qvx" ;;
    esac
    run "sliceinfo $name $label" "$file" "$corpus/out/report-$label" "$dir/bin/sliceinfo" "$file"
    if [ "$name" = shared32 ]; then
      run "sliceinfo --png $name $label" "$file" /dev/null "$dir/bin/sliceinfo" --png "$corpus/out/png-$label" "$file"
      run "sliceinfo --png --layers 0-19 $name $label" "$file" /dev/null \
        "$dir/bin/sliceinfo" --png "$corpus/out/png20-$label" --layers 0-19 "$file"
    fi
  done
  if [ -n "$other" ]; then
    for kind in convert report; do
      cmp -s "$corpus/out/$kind-new" "$corpus/out/$kind-old" || { echo "$name: the builds' ${kind}s differ" >&2; status=1; }
    done
    [ ! -e "$corpus/out/new.qvx" ] || cmp -s "$corpus/out/new.qvx" "$corpus/out/old.qvx" ||
      { echo "$name: the builds wrote different qvx files" >&2; status=1; }
    rm -f "$corpus/out/new.qvx" "$corpus/out/old.qvx"
  fi
done
rm -rf "$corpus/out"
exit $status
