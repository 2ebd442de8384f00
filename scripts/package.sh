#!/usr/bin/env bash
# Builds the Windows presets and makes their ZIPs with cpack (see cmake/Packaging.cmake): for
# each of win32 (the 32-bit product) and win64 (the product for 64-bit hosts) the release, its
# debug symbols and the kivactl stand-in's development package, each with a SHA-256 checksum
# file (<zip>.sha256, checked with `sha256sum -c`). Prints the paths of what it made.
#
#   package.sh [--output DIR] [PRESET...]     configure, build and package each PRESET
#                                              (default: win32 win64); ZIPs in DIR (default
#                                              build/packages), emptied of earlier ones first
#   package.sh --zips-only BUILD --output DIR  only makes the ZIPs of the existing build tree
#                                              BUILD (the package test uses this)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
output="" zips_only=""
presets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --output) output=$(readlink -f "$2"); shift 2 ;;
    --zips-only) zips_only=$(readlink -f "$2"); shift 2 ;;
    win32 | win64) presets+=("$1"); shift ;;
    *) echo "package: unknown option or preset $1" >&2; exit 2 ;;
  esac
done

# One cpack run a ZIP: each ZIP's top-level folder is named after it (cmake/CPackZip.cmake).
make_zips() {  # build directory, output directory
  local zip
  for zip in release debug_symbols kivactl_standin_dev; do
    (cd "$1" && cpack --config CPackConfig.cmake -B "$2" -D TUNERS_ZIP="$zip" >"$2/cpack-$zip.log" 2>&1) ||
      { echo "package: cpack of $zip in $1 failed:" >&2; cat "$2/cpack-$zip.log" >&2; return 1; }
    rm -f "$2/cpack-$zip.log"
  done
  rm -rf "$2/_CPack_Packages"
}

if [ -n "$zips_only" ]; then
  [ -n "$output" ] || { echo "package: --zips-only needs --output" >&2; exit 2; }
  mkdir -p "$output"
  make_zips "$zips_only" "$output"
  exit 0
fi

[ ${#presets[@]} -gt 0 ] || presets=(win32 win64)
output=${output:-$root/build/packages}
mkdir -p "$output"
rm -f "$output"/*.zip "$output"/*.zip.sha256
cd "$root"
for preset in "${presets[@]}"; do
  echo "== configure and build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
  echo "== package $preset into $output"
  make_zips "$root/build/$preset" "$output"
done
(cd "$output" && sha256sum -c --quiet ./*.zip.sha256) ||
  { echo "package: a checksum file does not verify" >&2; exit 1; }
ls -1 "$output"/*.zip "$output"/*.zip.sha256
