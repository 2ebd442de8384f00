#!/usr/bin/env bash
# Builds the 32-bit product (preset win32) and makes its two ZIPs with cpack: the release and the
# kivactl stand-in's development package (see cmake/Packaging.cmake). Prints the ZIPs' paths.
#
#   package.sh [--build DIR] [--output DIR]
#
# --build: the build directory (default build/win32); --output: where the ZIPs go (default
# DIR/packages, emptied of earlier ZIPs first).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/win32" output=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(readlink -f "$2"); shift 2 ;;
    --output) output=$(readlink -f "$2"); shift 2 ;;
    *) echo "package: unknown option $1" >&2; exit 2 ;;
  esac
done
output=${output:-$build/packages}

cd "$root"
echo "== configure and build win32 in $build"
# The preset's install prefix lies under build/win32; another build directory gets its own.
cmake --preset win32 -B "$build" -DCMAKE_INSTALL_PREFIX="$build/stage" >/dev/null
cmake --build "$build"

echo "== cpack into $output"
mkdir -p "$output"
rm -f "$output"/*.zip
(cd "$build" && cpack --config CPackConfig.cmake -B "$output" >/dev/null)
zips=("$output"/*.zip)
[ -f "${zips[0]}" ] || { echo "package: cpack made no ZIP" >&2; exit 1; }
printf '%s\n' "${zips[@]}"
