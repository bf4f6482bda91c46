#!/usr/bin/env bash
# The quick start: installs what building and running needs, builds the
# programs alone (no tests), writes a sample Tesk file for each printer and
# converts it to qvx.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESKTOQVX_TESTS=OFF
cmake --build build
mkdir -p sample

failed=()
for model in 10 30; do
  name="sample/vireld$model"
  build/bin/makesample "$name.tesk" --model "$model"
  echo "Converting $name.tesk:"
  build/bin/tesktoqvx "$name.tesk" "$name.qvx" || failed+=("$name.tesk")
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Could not convert ${failed[*]} (see the exit code above)."
  exit 1
fi
echo "Done: the samples and their conversions are in $PWD/sample/ (vireld10.qvx, vireld30.qvx)."
