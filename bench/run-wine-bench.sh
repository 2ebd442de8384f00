#!/usr/bin/env bash
# The wine benchmark: VARNEL_SetChannel, VARNEL_GetStatus and VARNEL_GetCount, each beside a floor
# that makes the same platform calls straight from the program, against one simulated tuner.
#
#   bench/run-wine-bench.sh [--calls] [PRESET...] [-- ROUNDS]
#
# PRESET is win32 (the i686 product under 32-bit wine) or win64 (x86_64 under wine64); both by
# default. Builds the benchmark (2 jobs) and runs it in a wine prefix of its own under the build
# tree. --calls instead makes each call and its floor once under wine's relay trace and compares
# their platform calls (bench/wine/compare_calls.py); it fails when they differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
calls=0 presets=() rounds=()
while [ $# -gt 0 ]; do
  case "$1" in
    --calls) calls=1; shift ;;
    win32 | win64) presets+=("$1"); shift ;;
    --) shift; rounds=("$@"); break ;;
    *) echo "usage: run-wine-bench.sh [--calls] [win32] [win64] [-- ROUNDS]" >&2; exit 2 ;;
  esac
done
[ ${#presets[@]} -gt 0 ] || presets=(win32 win64)

cd "$root"
work=$(mktemp -d "${TMPDIR:-/tmp}/exchange-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$root/scripts/probe-registry.sh" tuners 1 "$work/tuner.reg"

# The relay trace of one --calls run, with a simulated tuner on COM11 (run-under-wine.sh keeps
# wine's tracing off, so the tuner is started here).
relay_run() (
  preset=$1 prefix=$2 dir=$3 sim_pid=""
  stop_simulator() {
    [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
    sim_pid=""
  }
  trap stop_simulator EXIT
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
  export LANG=ja_JP.UTF-8
  "$root/tests/wine/prepare-prefix.sh" "$prefix"
  wine reg import "Z:${work//\//\\}\\tuner.reg" >>"$dir/wine-noise.log" 2>&1 </dev/null
  # The relay trace leaves out the library lock's calls unless told otherwise.
  wine reg add 'HKCU\Software\Wine\Debug' /v RelayExclude /t REG_SZ /d none /f \
    >>"$dir/wine-noise.log" 2>&1 </dev/null
  python3 "$root/tools/tunersim/tunersim.py" --link "$prefix/dosdevices/com11" --control-port 0 \
    --ready-file "$dir/tuner.ready" >"$dir/tuner.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 100); do [ -s "$dir/tuner.ready" ] && break; sleep 0.05; done
  [ -s "$dir/tuner.ready" ] || { echo "run-wine-bench: simulated tuner did not start" >&2; exit 1; }
  status=0
  (cd "$dir" && WINEDEBUG=+relay exec wine "$root/build/$preset/bin/exchange_bench.exe" --calls \
    >"$dir/stdout.txt" 2>"$dir/relay.log" </dev/null) &
  wait $! || status=$?
  stop_simulator
  cat "$dir/stdout.txt"
  exit "$status"
)

status=0
for preset in "${presets[@]}"; do
  echo "== $preset"
  { cmake --preset "$preset" && cmake --build "build/$preset" -j 2 --target exchange_bench; } \
    >"$work/build-$preset.log" 2>&1 || { cat "$work/build-$preset.log" >&2; exit 1; }
  # prepare-prefix.sh (through run-under-wine.sh or relay_run) makes it, with 32-bit support.
  prefix="$root/build/$preset/bench-wineprefix"
  mkdir -p "$work/$preset"
  if [ "$calls" = 1 ]; then
    relay_run "$preset" "$prefix" "$work/$preset" &&
      python3 "$root/bench/wine/compare_calls.py" "$work/$preset/relay.log" "$work/$preset" ||
      status=1
  else
    "$root/tests/wine/run-under-wine.sh" --prefix "$prefix" --tuners 1 --workdir "$work/$preset" \
      --reg "$work/tuner.reg" -- "$root/build/$preset/bin/exchange_bench.exe" "${rounds[@]}" ||
      status=1
  fi
done
exit "$status"
