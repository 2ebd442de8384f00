#!/usr/bin/env bash
# Creates the private wine prefix once (wineboot asks nothing with mscoree and mshtml disabled),
# with 32-bit support: the i686 product runs in the same 64-bit prefix as the x86_64 build. A
# prefix made before 32-bit wine (wine32:i386) was installed has no 32-bit system DLLs, and every
# i686 program fails in it with "could not load kernel32.dll, status c0000135": such a prefix is
# noticed once, by running wine's own 32-bit cmd.exe, and made afresh.
# Safe to call from several runs at once.
set -euo pipefail
prefix=$1
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
mkdir -p "$prefix"
exec 9>"$prefix.lock"
flock 9

boot() {
  wine wineboot -i >"$prefix.boot.log" 2>&1 </dev/null || { cat "$prefix.boot.log" >&2; exit 1; }
  wineserver -w
  touch "$prefix/.prepared"
}
runs_32_bit() {
  local said
  said=$(wine 'C:\windows\syswow64\cmd.exe' /c echo wow64 2>>"$prefix.boot.log" </dev/null) || true
  [[ $said == wow64* ]]
}

[ -f "$prefix/.prepared" ] || boot
if [ ! -f "$prefix/.prepared-32" ]; then
  if ! runs_32_bit; then
    echo "prepare-prefix: $prefix cannot run 32-bit programs (made before wine32 was installed?);" \
      "making it afresh" >&2
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    find "$prefix" -mindepth 1 -delete
    boot
    runs_32_bit || {
      echo "prepare-prefix: wine cannot run 32-bit programs even in a new prefix:" \
        "32-bit wine (wine32:i386) is missing; run scripts/install-deps.sh" >&2
      exit 1
    }
  fi
  wineserver -w
  touch "$prefix/.prepared-32"
fi
