#!/usr/bin/python3
"""Checks that a shared library defines exactly the five VARNEL_ functions among its dynamic
symbols (`nm -D --defined-only`), and that its soname carries the major version.

    check_exports.py libvarnel.so.1
"""
import re
import subprocess
import sys

FIVE = {"VARNEL_GetCount", "VARNEL_SetPower", "VARNEL_SetChannel", "VARNEL_GetProgramName",
        "VARNEL_GetStatus"}


def main(path):
    listing = subprocess.run(["nm", "-D", "--defined-only", path], capture_output=True, text=True,
                             check=True).stdout
    defined = {line.split()[-1] for line in listing.splitlines() if line.strip()}
    functions = {line.split()[-1] for line in listing.splitlines() if " T " in line}
    dynamic = subprocess.run(["readelf", "-d", path], capture_output=True, text=True,
                             check=True).stdout
    soname = re.search(r"Library soname: \[(.*?)\]", dynamic)
    problems = []
    if defined != FIVE:
        problems.append("defined symbols: %s" % sorted(defined))
    if functions != FIVE:
        problems.append("functions: %s" % sorted(functions))
    if not soname or soname.group(1) != "libvarnel.so.1":
        problems.append("soname: %s" % (soname.group(1) if soname else None))
    for p in problems:
        print("check_exports:", p)
    print("check_exports: %s" % ("ok" if not problems else "FAILED"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
