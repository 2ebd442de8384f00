#!/usr/bin/python3
"""Runs the Linux varnelprobe against two simulated tuners on a mocked device tree; its output
goes to the terminal. Runs under umockdev-wrapper (scripts/run-probe-linux.sh).

    probe_demo.py VARNELPROBE
"""
import subprocess
import sys

from linux_support import Tree, usb_tty

tree = Tree([usb_tty("ttyUSB0", 0, ports="1"), usb_tty("ttyUSB1", 1, ports="2")],
            ["ttyUSB0", "ttyUSB1"])
try:
    status = subprocess.call([sys.argv[1]])
finally:
    tree.close()
sys.exit(status)
