#!/usr/bin/env bash
# Builds the win64 tree and runs the exchange benchmark under wine64 against one simulated tuner.
#   bench/run-wine-bench.sh [rounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" win64 >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/exchange-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$root/scripts/probe-registry.sh" tuners 1 "$work/tuner.reg"
"$root/tests/wine/run-under-wine.sh" --prefix "$root/build/win64/wineprefix" --tuners 1 \
  --workdir "$work/run" --reg "$work/tuner.reg" -- "$root/build/win64/bin/exchange_bench.exe" "$@"
