#!/usr/bin/env bash
# Runs the whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan/, g++), then each libFuzzer target for a bounded time
# (build-fuzz/, clang; FUZZ_SECONDS per target, 60 by default). Fails on any
# test failure or fuzzer finding; a finding's input is kept in
# build-fuzz/artifacts/. Prints the executions and coverage of each target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh sanitizers

fuzz_seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-2}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "== Unit and end-to-end tests under ASan+UBSan (build-asan/)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ \
      -DTESKTOQVX_SANITIZE=ON -DTESKTOQVX_FUZZ=OFF
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== Fuzz targets, ${fuzz_seconds} s each (build-fuzz/)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DTESKTOQVX_FUZZ=ON -DTESKTOQVX_SANITIZE=OFF -DTESKTOQVX_TESTS=OFF
targets=(fuzz_decoder fuzz_layerruns fuzz_encoder fuzz_qvxreader fuzz_convert fuzz_convert_model fuzz_sliceinfo fuzz_islands fuzz_darkspace)
cmake --build build-fuzz -j"$jobs" --target "${targets[@]}" fuzz_seeds

fuzz=build-fuzz/fuzz
work=build-fuzz/fuzz-run
rm -rf "$work"
mkdir -p "$work/artifacts"
"$fuzz/fuzz_seeds" "$work/seeds"

# target, seed corpora (space-separated), extra options
run_target() {
  local target=$1 seeds=() name
  for name in $2; do seeds+=("$work/seeds/$name"); done
  shift 2
  local corpus="$work/corpus/$target" log="$work/$target.log"
  mkdir -p "$corpus"
  local status=0
  "$fuzz/$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/$target-" "$@" "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
  # libFuzzer's last status line (DONE, or the last before a finding) holds the coverage.
  local coverage runs
  coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1 || true)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  printf '%-20s runs: %-10s %s\n' "$target" "${runs:-?}" "${coverage:-cov: ?}"
  if [ "$status" -ne 0 ]; then
    echo "FINDING in $target (exit status $status); log $log:" >&2
    grep -E -A40 '^==[0-9]+==ERROR|runtime error|deadly signal|timeout|out-of-memory' "$log" | head -n 80 >&2 || tail -n 60 "$log" >&2
    ls -l "$work/artifacts" >&2
    failed=1
  fi
}

failed=0
run_target fuzz_decoder decoder -max_len=4096 -timeout=10
run_target fuzz_layerruns "layerruns" -max_len=65536 -timeout=30
run_target fuzz_encoder encoder -max_len=4096 -timeout=10
run_target fuzz_qvxreader qvxreader -max_len=65536 -timeout=10
run_target fuzz_convert convert -max_len=32768 -timeout=60 -dict=fuzz/convert.dict
run_target fuzz_convert_model convert -max_len=32768 -timeout=60 -dict=fuzz/convert.dict
run_target fuzz_sliceinfo "convert qvxreader" -max_len=65536 -timeout=60 -dict=fuzz/convert.dict
run_target fuzz_islands islands -max_len=4096 -timeout=10
run_target fuzz_darkspace darkspace -max_len=4096 -timeout=10
exit "$failed"
