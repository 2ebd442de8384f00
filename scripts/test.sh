#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the three presets, then runs
#   native  unit tests of the portable logic under AddressSanitizer and UBSan, and the simulator's
#           self-test;
#   win32   the i686 product under 32-bit wine against the simulated tuners, with the static
#           checks of its binaries and its release ZIP;
#   win64   the x86_64 build under wine, without the cases that only wait (see the README);
#   linux   libvarnel.so.1, the Linux exerciser, tunerctl and the Debian packages against
#           simulated tuners on a device tree mocked by umockdev;
#   fuzz    each fuzz target for a short bounded time (FUZZ_SECONDS, default 15).
# Ends with one line "suite: N passed, M failed, K skipped" over all of them, a skipped test
# never counted as passed; exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh" || { echo "test: installing the packages failed"; exit 1; }
"$root/scripts/build.sh" native win32 win64 linux || { echo "test: the build failed"; exit 1; }

passed=0 failed=0 skipped=0
count() {  # runs one ctest preset and adds up its tests' results, line by line
  local log="$root/build/ctest-$1.log"
  echo "== tests $1"
  ctest --preset "$1" 2>&1 | tee "$log"
  local results
  results=$(grep -E '^ *[0-9]+/[0-9]+ +Test +#[0-9]+: ' "$log")
  if [ -z "$results" ]; then
    echo "test: ctest $1 reported no results"
    failed=$((failed + 1))
    return
  fi
  local ok skip total
  ok=$(grep -cE ' Passed +[0-9.]+ sec' <<<"$results")
  skip=$(grep -cE '\*\*\*Skipped|  Skipped +[0-9.]+ sec' <<<"$results")
  total=$(wc -l <<<"$results")
  passed=$((passed + ok))
  skipped=$((skipped + skip))
  failed=$((failed + total - ok - skip))
}
count native
count win32
count win64
count linux
echo "== fuzz"
if "$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-15}"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
echo
echo "suite: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
