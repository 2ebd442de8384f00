#!/usr/bin/env python3
"""Static checks of a Windows binary we cannot run here (the i686 build): its export table, the
names it imports from one DLL, its machine type and its version resource.

  check_pe.py --objdump OBJDUMP --file varnel.dll --machine i386 \
      --exports VARNEL_GetCount,... --version 1.0.0.1318 --description "VARNEL Library"
  check_pe.py ... --imports-from kivactl.dll --imports A,B,...   (exactly these names)
  check_pe.py ... --no-version                                    (no version resource at all)
  check_pe.py ... --not-importing ostrin.dll,kivactl.dll          (no import from these DLLs)
Exits non-zero with a message for the first check that fails.
"""
import argparse
import re
import struct
import subprocess
import sys


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def private_headers(objdump, path):
    return subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout


def export_names(headers):
    # Lines of the "[Ordinal/Name Pointer] Table" look like "\t[   0] VARNEL_GetCount".
    part = headers.split("[Ordinal/Name Pointer] Table", 1)
    if len(part) < 2:
        return []
    names = []
    for line in part[1].splitlines()[1:]:
        m = re.match(r"\s*\[\s*\d+\]\s+(\S+)$", line)
        if not m:
            break
        names.append(m.group(1))
    return names


def imported_names(headers, dll):
    # "\tDLL Name: kivactl.dll" followed by "\tvma:  Hint/Ord Member-Name Bound-To" and entries.
    names, inside = [], False
    for line in headers.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            inside = m.group(1).lower() == dll.lower()
            continue
        if inside:
            e = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)", line)
            if e:
                names.append(e.group(1))
            elif line.strip() == "":
                inside = False
    return names


def version_resource(data):
    """VS_FIXEDFILEINFO file and product versions, and the UTF-16 strings of the file."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None
    ms, ls, pms, pls = struct.unpack_from("<IIII", data, at + 8)
    fmt = lambda hi, lo: "%d.%d.%d.%d" % (hi >> 16, hi & 0xFFFF, lo >> 16, lo & 0xFFFF)
    return fmt(ms, ls), fmt(pms, pls)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--objdump", required=True)
    p.add_argument("--file", required=True)
    p.add_argument("--machine")
    p.add_argument("--exports")
    p.add_argument("--imports-from")
    p.add_argument("--imports")
    p.add_argument("--version")
    p.add_argument("--description")
    p.add_argument("--no-version", action="store_true")
    p.add_argument("--not-importing")
    a = p.parse_args()

    headers = private_headers(a.objdump, a.file)
    data = open(a.file, "rb").read()
    if a.machine:
        m = re.search(r"architecture: (\S+?),", subprocess.run(
            [a.objdump, "-f", a.file], check=True, capture_output=True, text=True).stdout)
        want = {"i386": "i386", "x86-64": "i386:x86-64"}[a.machine]
        if not m or m.group(1) != want:
            fail("%s: architecture %s, expected %s" % (a.file, m and m.group(1), want))
    if a.exports is not None:
        got = sorted(export_names(headers))
        want = sorted(a.exports.split(","))
        if got != want:
            fail("%s exports %s, expected exactly %s" % (a.file, got, want))
    if a.imports_from:
        got = sorted(imported_names(headers, a.imports_from))
        want = sorted(a.imports.split(","))
        if got != want:
            fail("%s imports %s from %s, expected exactly %s" % (a.file, got, a.imports_from, want))
    if a.not_importing:
        dlls = [m.lower() for m in re.findall(r"^\s*DLL Name: (\S+)", headers, re.M)]
        for dll in a.not_importing.lower().split(","):
            if dll in dlls:
                fail("%s imports from %s" % (a.file, dll))
    versions = version_resource(data)
    if a.no_version and versions is not None:
        fail("%s carries a version resource" % a.file)
    if a.version:
        if versions != (a.version, a.version):
            fail("%s file/product version %s, expected %s" % (a.file, versions, a.version))
    if a.description:
        for key, value in (("FileDescription", a.description), ("FileVersion", a.version)):
            text = (key + "\0").encode("utf-16-le")
            pos = data.find(text)
            if pos < 0:
                fail("%s has no %s string" % (a.file, key))
            after = data[pos + len(text):pos + len(text) + 200]
            if (value + "\0").encode("utf-16-le") not in after:
                fail("%s: %s is not %r" % (a.file, key, value))
    print("ok: " + a.file)


if __name__ == "__main__":
    main()
