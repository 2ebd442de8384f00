#!/usr/bin/env bash
# Builds the native benchmarks (preset bench: Release, no sanitizers, build/bench) and runs them:
# the time column is the cost of one reply through each parser and each framing loop, at reply
# sizes (the number after the name) from a few bytes up to 1023.
#
#   scripts/bench-native.sh [Google Benchmark options, e.g. --benchmark_filter=Parse]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if ! dpkg-query -W -f='${Status}' libbenchmark-dev 2>/dev/null | grep -q "ok installed"; then
  "$root/scripts/install-deps.sh"
fi
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
for program in varnel_bench ostrin_bench; do
  echo "== $program"
  "build/bench/bin/$program" "$@"
done
