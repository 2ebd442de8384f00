#!/usr/bin/env bash
# The Linux exerciser against two simulated tuners on a USB device tree mocked by umockdev
# (/dev/ttyUSB0 and /dev/ttyUSB1, vendor fedc, product ba98). Builds the linux preset first.
# Takes about a minute: the sequence pauses 28 s a tuner.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
probe="$root/build/linux/bin/varnelprobe"
"$root/scripts/build.sh" linux >/dev/null
exec umockdev-wrapper /usr/bin/python3 "$root/tests/linux/probe_demo.py" "$probe"
