#!/usr/bin/env bash
# Runs the exerciser varnelprobe.exe under wine against simulated serial tuners and shows its
# output as UTF-8 (the program itself writes code page 932). Needs a built tree: by default the
# i686 product in build/win32 (--build build/win64 runs the x86_64 build).
#
#   run-probe.sh [--build DIR] [--output FILE] [--received DIR] [SET-UP]
#
# SET-UP (default: two tuners):
#   --tuners N         N simulated tuners on COM11, COM12, ...
#   --no-tuner         the driver's registry key exists, but lists no tuner
#   --no-driver        the driver's registry key is missing
#                      (both still start two simulated tuners, unlisted, so that a run costs the
#                      same to start and stop as one with tuners)
#   --silent           one tuner that never answers (the run takes minutes: every call times out)
#   --unreadable-name  two tuners; the second one's programme name is too long to be read
# --output keeps the program's raw code page 932 output in FILE; --received DIR keeps what each
# simulated tuner received, as DIR/tuner<i>.received.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/win32"
output="" received="" tuners=2 sims="" registry=tuners controls=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(readlink -f "$2"); shift 2 ;;
    --output) output=$2; shift 2 ;;
    --received) received=$2; shift 2 ;;
    --tuners) tuners=$2; shift 2 ;;
    --no-tuner) tuners=0 sims=2; shift ;;
    --no-driver) registry=no-driver; tuners=0 sims=2; shift ;;
    --silent) tuners=1; controls+=(--control 1 "behave silent"); shift ;;
    --unreadable-name)
      tuners=2
      controls+=(--control 2 "set program $(printf 'x%.0s' $(seq 1 200) | od -v -An -tx1 | tr -d ' \n')")
      shift ;;
    *) echo "run-probe: unknown option $1" >&2; exit 2 ;;
  esac
done
probe="$build/bin/varnelprobe.exe"
[ -f "$probe" ] || { echo "run-probe: $probe not built" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/varnelprobe.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$root/scripts/probe-registry.sh" "$registry" "$tuners" "$work/tuners.reg"

"$root/tests/wine/run-under-wine.sh" --prefix "$build/wineprefix" --tuners "${sims:-$tuners}" \
  --workdir "$work/run" --reg "$work/tuners.reg" --follow "${controls[@]}" -- "$probe" |
  tee "$work/probe.out" | iconv -f CP932 -t UTF-8
status=${PIPESTATUS[0]}
[ -n "$output" ] && cp "$work/probe.out" "$output"
[ -n "$received" ] && { mkdir -p "$received"; cp "$work"/run/tuner*.received "$received"/ 2>/dev/null || true; }
exit "$status"
