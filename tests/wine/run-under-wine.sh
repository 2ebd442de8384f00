#!/usr/bin/env bash
# Runs one cross-built Windows program (i686 or x86_64) under wine in the project's private
# prefix, with a number of simulated serial tuners attached as COM ports.
#
#   run-under-wine.sh --prefix DIR [--tuners N] [--workdir DIR] [--reg FILE]
#                     [--control I LINE]... -- program.exe [arguments]
#
# --reg imports a registry file into the prefix first; --control sends a control line to
# simulated tuner I before the program starts (see tools/tunersim/tunersim.py); --follow shows
# the program's output as it is written instead of when it ends. --unprivileged runs the program
# and a wine server of its own without the capabilities that let root open a terminal another
# process holds exclusively or write a read-only file (CAP_SYS_ADMIN, CAP_DAC_OVERRIDE), as an
# ordinary user would; where they cannot be dropped, it runs as usual and says so.
#
# Simulated tuner i (1..N) sits on COM(10+i); the program finds its COM name and the simulator's
# control port in the environment as TUNERSIM_COM_i and TUNERSIM_CONTROL_i. The program's
# standard output is passed through; its standard error, with wine's own messages, goes to
# wine-noise.log in the work directory and is shown when the program fails. The exit status is
# the program's (77 from a test program: a case skipped, none failed).
# Every byte simulated tuner i received is kept in tuner<i>.received in the work directory.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
prefix="" tuners=0 workdir="" regfile="" follow=0 unprivileged=0
controls=()
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix=$2; shift 2 ;;
    --tuners) tuners=$2; shift 2 ;;
    --workdir) workdir=$2; shift 2 ;;
    --follow) follow=1; shift ;;
    --unprivileged) unprivileged=1; shift ;;
    --reg) regfile=$(readlink -f "$2"); shift 2 ;;
    --control) controls+=("$2" "$3"); shift 3 ;;
    --) shift; break ;;
    *) echo "run-under-wine: unknown option $1" >&2; exit 2 ;;
  esac
done
[ -n "$prefix" ] && [ $# -ge 1 ] || { echo "usage: run-under-wine.sh --prefix DIR [--tuners N] -- program.exe [args]" >&2; exit 2; }

export WINEPREFIX=$(mkdir -p "$prefix" && cd "$prefix" && pwd)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Code page 932 is the ANSI code page of the programs run here, as on a Japanese system.
export LANG=ja_JP.UTF-8
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
  rm -f "$ready" "$workdir/tuner$i.received"
  python3 "$root/tools/tunersim/tunersim.py" --link "$WINEPREFIX/dosdevices/com$com" \
    --control-port 0 --ready-file "$ready" --record "$workdir/tuner$i.received" \
    >"$workdir/tuner$i.log" 2>&1 &
  sim_pids+=($!)
  for _ in $(seq 1 100); do [ -s "$ready" ] && break; sleep 0.05; done
  [ -s "$ready" ] || { echo "run-under-wine: simulated tuner $i did not start" >&2; cat "$workdir/tuner$i.log" >&2; exit 1; }
  read -r _ control _ <"$ready"
  export "TUNERSIM_COM_$i=COM$com" "TUNERSIM_CONTROL_$i=$control"
done

send_control() {  # tuner number, control line
  local var="TUNERSIM_CONTROL_$1"
  python3 - "${!var}" "$2" <<'PY'
import socket, sys
with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10) as s:
    s.sendall(sys.argv[2].encode() + b"\n")
    answer = s.makefile().readline().strip()
if not answer.startswith("ok"):
    sys.exit("run-under-wine: control '%s' answered '%s'" % (sys.argv[2], answer))
PY
}
for ((c = 0; c < ${#controls[@]}; c += 2)); do send_control "${controls[c]}" "${controls[c + 1]}"; done

if [ -n "$regfile" ]; then
  # Z: is the whole Unix file system in every prefix.
  wine reg import "Z:${regfile//\//\\}" >>"$noise" 2>&1 </dev/null ||
    { echo "run-under-wine: cannot import $regfile" >&2; tail -n 5 "$noise" >&2; exit 1; }
fi

# Output goes to files and we wait for the program itself: wine's helpers may hold pipes open.
program=$(readlink -f "$1"); shift
stop_wineserver() {  # this prefix's server, which our own wine commands started
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
launch=(wine)
if [ "$unprivileged" = 1 ]; then
  drop=(setpriv --bounding-set -sys_admin,-dac_override,-dac_read_search
    --inh-caps -sys_admin,-dac_override,-dac_read_search)
  if "${drop[@]}" true 2>/dev/null; then
    # The wine server opens files for its programs: it must run without them too.
    stop_wineserver
    launch=("${drop[@]}" wine)
  else
    echo "run-under-wine: cannot drop capabilities here; running with them" >&2
  fi
fi
status=0
(cd "$workdir" && exec "${launch[@]}" "$program" "$@" >"$workdir/stdout.txt" 2>"$noise" </dev/null) &
wine_pid=$!
if [ "$follow" = 1 ]; then
  sleep 0.2
  tail -s 0.1 -c +1 -f --pid="$wine_pid" "$workdir/stdout.txt" 2>/dev/null
  wait "$wine_pid" || status=$?
else
  wait "$wine_pid" || status=$?
  cat "$workdir/stdout.txt"
fi
[ "${#launch[@]}" -gt 1 ] && stop_wineserver  # later runs get an ordinary server
if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
  echo "run-under-wine: $program exited with $status; wine's messages (last lines of $noise):" >&2
  tail -n 20 "$noise" >&2
fi
exit "$status"
