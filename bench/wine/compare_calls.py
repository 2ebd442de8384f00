#!/usr/bin/env python3
"""Compares the platform calls of each varnel call with those of its floor.

    compare_calls.py RELAY_LOG OUT_DIR

RELAY_LOG is wine's relay trace (WINEDEBUG=+relay) of `exchange_bench.exe --calls`, which makes
each call and its floor once after a marker trace "bench: varnel NAME" / "bench: floor NAME".
The calls the program and varnel.dll make themselves are those at the outermost level of the
marker's thread (wine's own calls inside them are nested). Pointers vary between the two sides
and are shown as "ptr"; the texts, flags, sizes and handle values must agree. The C runtime's
calls are left out. Writes varnel-NAME.calls and floor-NAME.calls to OUT_DIR, prints one line a
call, and exits 1 when any pair differs.
"""
import difflib
import os
import re
import sys

CALL = re.compile(r'^([0-9a-f]+):Call ([\w.]+)\((.*)\) ret=[0-9a-f]+$')
RET = re.compile(r'^([0-9a-f]+):Ret  ')
MARKER = re.compile(r'"bench: (varnel \w+|floor \w+|end)"')
NUMBER_OUTSIDE_QUOTES = re.compile(r'\b[0-9a-f]+\b(?=(?:[^"]*"[^"]*")*[^"]*$)')


def shown(arguments):
    return NUMBER_OUTSIDE_QUOTES.sub(
        lambda m: m.group(0) if int(m.group(0), 16) < 0x10000 else "ptr", arguments)


def sections(lines):
    depth, found = {}, {}
    current, thread = None, None
    for line in lines:
        call = CALL.match(line)
        if call:
            tid, function, arguments = call.groups()
            marker = MARKER.search(arguments)
            if marker and function.endswith("OutputDebugStringA"):
                current, thread = marker.group(1), tid
                found[current] = []
                depth[tid] = 1  # inside the marker's own call
                continue
            level = depth.get(tid, 0)
            depth[tid] = level + 1
            if level == 0 and tid == thread and current not in (None, "end") \
                    and not function.lower().startswith("msvcrt."):
                found[current].append("%s(%s)" % (function, shown(arguments)))
            continue
        ret = RET.match(line)
        if ret:
            depth[ret.group(1)] = depth.get(ret.group(1), 1) - 1
    return found


def main():
    log, out = sys.argv[1], sys.argv[2]
    with open(log, errors="replace") as f:
        found = sections(f.read().splitlines())
    names = [key.split(" ", 1)[1] for key in found if key.startswith("varnel ")]
    if not names:
        sys.exit("compare_calls: no marked calls in %s" % log)
    differ = False
    for name in names:
        library, floor = found.get("varnel " + name, []), found.get("floor " + name, [])
        for side, calls in (("varnel", library), ("floor", floor)):
            with open(os.path.join(out, "%s-%s.calls" % (side, name)), "w") as f:
                f.write("\n".join(calls) + "\n")
        same = library == floor and library
        print("%-12s varnel %3d platform calls, floor %3d: %s"
              % (name, len(library), len(floor), "the same" if same else "DIFFERENT"))
        if not same:
            differ = True
            sys.stdout.writelines(line + "\n" for line in difflib.unified_diff(
                library, floor, "varnel " + name, "floor " + name, lineterm="", n=1))
    sys.exit(1 if differ else 0)


if __name__ == "__main__":
    main()
