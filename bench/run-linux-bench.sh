#!/usr/bin/env bash
# One VARNEL_SetChannel and the cost per received byte, libvarnel.so.1 beside a raw termios
# program making the same system calls, on a tuner at /dev/ttyUSB0 of a device tree mocked by
# umockdev (both sides pay the same preload). Builds the linux preset first.
#   bench/run-linux-bench.sh [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench="$root/build/linux/bin/linux_exchange_bench"
"$root/scripts/build.sh" linux >/dev/null
exec umockdev-wrapper /usr/bin/python3 - "$root" "$bench" "${1:-300}" <<'PY'
import subprocess, sys
root, bench, rounds = sys.argv[1:4]
sys.path.insert(0, root + "/tests/linux")
from linux_support import Tree, usb_tty
tree = Tree([usb_tty("ttyUSB0", 0)])  # no simulator: the benchmark answers the line itself
fd = tree.testbed.get_dev_fd("/dev/ttyUSB0")
sys.exit(subprocess.call([bench, str(fd), rounds], pass_fds=[fd]))
PY
