#!/usr/bin/env bash
# Runs one cross-built Windows program under wine64 in the project's private prefix, with a number
# of simulated serial tuners attached as COM ports.
#
#   run-under-wine.sh --prefix DIR [--tuners N] [--workdir DIR] -- program.exe [arguments]
#
# Simulated tuner i (1..N) sits on COM(10+i); the program finds its COM name and the simulator's
# control port in the environment as TUNERSIM_COM_i and TUNERSIM_CONTROL_i. The program's
# standard output is passed through; its standard error, with wine's own messages, goes to
# wine-noise.log in the work directory and is shown when the program fails. The exit status is the program's.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
prefix="" tuners=0 workdir=""
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix=$2; shift 2 ;;
    --tuners) tuners=$2; shift 2 ;;
    --workdir) workdir=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "run-under-wine: unknown option $1" >&2; exit 2 ;;
  esac
done
[ -n "$prefix" ] && [ $# -ge 1 ] || { echo "usage: run-under-wine.sh --prefix DIR [--tuners N] -- program.exe [args]" >&2; exit 2; }

export WINEPREFIX=$(mkdir -p "$prefix" && cd "$prefix" && pwd)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
"$here/prepare-prefix.sh" "$WINEPREFIX"

workdir=${workdir:-$(mktemp -d "${TMPDIR:-/tmp}/wine-run.XXXXXX")}
mkdir -p "$workdir"
noise="$workdir/wine-noise.log"

sim_pids=()
stop_simulators() {
  for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${sim_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop_simulators EXIT

for i in $(seq 1 "$tuners"); do
  com=$((10 + i))
  ready="$workdir/tuner$i.ready"
  rm -f "$ready"
  python3 "$root/tools/tunersim/tunersim.py" --link "$WINEPREFIX/dosdevices/com$com" \
    --control-port 0 --ready-file "$ready" >"$workdir/tuner$i.log" 2>&1 &
  sim_pids+=($!)
  for _ in $(seq 1 100); do [ -s "$ready" ] && break; sleep 0.05; done
  [ -s "$ready" ] || { echo "run-under-wine: simulated tuner $i did not start" >&2; cat "$workdir/tuner$i.log" >&2; exit 1; }
  read -r _ control _ <"$ready"
  export "TUNERSIM_COM_$i=COM$com" "TUNERSIM_CONTROL_$i=$control"
done

# Output goes to files and we wait for the program itself: wine's helpers may hold pipes open.
program=$1; shift
status=0
(cd "$workdir" && exec wine "$program" "$@" >"$workdir/stdout.txt" 2>"$noise" </dev/null) &
wine_pid=$!
wait "$wine_pid" || status=$?
cat "$workdir/stdout.txt"
if [ "$status" -ne 0 ]; then
  echo "run-under-wine: $program exited with $status; wine's messages (last lines of $noise):" >&2
  tail -n 20 "$noise" >&2
fi
exit "$status"
