#!/usr/bin/env bash
# The main job on a fresh machine: installs what is missing, builds the 32-bit Windows product
# (preset win32), and runs its exerciser varnelprobe.exe with varnel.dll under 32-bit wine
# against two simulated serial tuners, showing its Japanese output as UTF-8. Nothing is left
# running afterwards.
#
#   demo.sh [SET-UP]   SET-UP as for scripts/run-probe.sh: --no-driver, --no-tuner, --silent, ...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
mkdir -p "$root/build"
"$root/scripts/build.sh" win32 >"$root/build/demo-build.log" 2>&1 ||
  { tail -n 30 "$root/build/demo-build.log"; echo "demo: the build failed (see build/demo-build.log)"; exit 1; }
status=0
"$root/scripts/run-probe.sh" "$@" || status=$?
WINEPREFIX="$root/build/win32/wineprefix" wineserver -k 2>/dev/null || true
exit "$status"
