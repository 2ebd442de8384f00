#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the three presets, then runs
#   native  unit tests of the portable logic under AddressSanitizer and UBSan, and the simulator's
#           self-test;
#   win32   static checks of the 32-bit product binaries (exports, imports, version resource);
#   win64   integration tests under wine64 against the simulated tuners;
#   linux   libvarnel.so.1, the Linux exerciser and the Debian packages against simulated tuners
#           on a device tree mocked by umockdev;
#   fuzz    each fuzz target for a short bounded time (FUZZ_SECONDS, default 15).
# Ends with one line "N passed, N failed" over all of them; exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh" || { echo "test: installing the packages failed"; exit 1; }
"$root/scripts/build.sh" native win32 win64 linux || { echo "test: the build failed"; exit 1; }

passed=0 failed=0
count() {  # runs one ctest preset and adds up its results
  local log="$root/build/ctest-$1.log"
  echo "== tests $1"
  ctest --preset "$1" 2>&1 | tee "$log"
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "test: ctest $1 reported no results"
    failed=$((failed + 1))
    return
  fi
  local total bad
  bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+)/\1/')
  total=$(echo "$line" | sed -E 's/.* out of ([0-9]+)/\1/')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}
echo "== tests simulator"
if python3 tools/tunersim/test_tunersim.py; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
count native
count win32
count win64
count linux
echo "== fuzz"
if "$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-15}"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
echo
echo "suite: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
