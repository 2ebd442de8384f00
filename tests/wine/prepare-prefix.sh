#!/usr/bin/env bash
# Creates the private wine prefix once (wineboot asks nothing with mscoree and mshtml disabled).
# Safe to call from several runs at once.
set -euo pipefail
prefix=$1
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
mkdir -p "$prefix"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.prepared" ]; then
  wine wineboot -i >"$prefix.boot.log" 2>&1 </dev/null || { cat "$prefix.boot.log" >&2; exit 1; }
  wineserver -w
  touch "$prefix/.prepared"
fi
