#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz, clang with libFuzzer, ASan and UBSan) and runs each for
# SECONDS_PER_TARGET seconds (default 60) over a fresh copy of its seeds in tests/fuzz/corpus/,
# so that the committed seeds stay as they are. Prints one line per target: its name, the inputs
# run and the crashes found. An input that crashes is kept in build/fuzz/crashes/<target>/.
# Exits non-zero when the build fails or any target crashes.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]
set -uo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fuzzer_runtime=(/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a)
if ! command -v clang++ >/dev/null || [ ! -e "${fuzzer_runtime[0]}" ]; then
  "$root/scripts/install-deps.sh" || { echo "fuzz: installing the packages failed"; exit 1; }
fi
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null ||
  { echo "fuzz: the build failed"; cmake --build --preset fuzz 2>&1 | tail -n 40; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
targets=(receive_response varnel_parsers port_list text_mb ostrin_parse_reply ostrin_receive_reply)
failed=0
for target in "${targets[@]}"; do
  corpus="$work/$target/corpus" artifacts="$work/$target/artifacts"
  mkdir -p "$corpus" "$artifacts"
  cp -r "tests/fuzz/corpus/$target/." "$corpus/"
  log="$work/$target/log"
  "build/fuzz/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  crashes=$(find "$artifacts" -type f | wc -l)
  if [ "$rc" -ne 0 ] && [ "$crashes" -eq 0 ]; then crashes=1; fi  # died without an artifact
  printf '%-22s %12s runs %4d crashes\n' "$target" "${runs:-?}" "$crashes"
  if [ "$crashes" -ne 0 ]; then
    failed=1
    mkdir -p "build/fuzz/crashes/$target"
    cp "$artifacts"/* "build/fuzz/crashes/$target/" 2>/dev/null
    grep -A 20 -E '^==[0-9]+==|check failed|runtime error|deadly signal' "$log" | head -n 40
  fi
done
[ "$failed" -eq 0 ]
