#!/usr/bin/env python3
"""The release and development ZIPs of a Windows build, as cpack makes them.

  check_package.py --build DIR --cpack CPACK --version V --system win32|win64 --machine M
                   --cc GCC --objdump OBJDUMP [--wine-prefix DIR]

Runs cpack on the build tree into a temporary directory, then checks
  - that it made exactly the release ZIP and the kivactl stand-in's development ZIP;
  - the exact file list of each (no kivactl file in the release);
  - that examples/host.c of the unpacked release compiles with warnings as errors against the
    package's include/ and lib/ alone, and imports its functions from varnel.dll; and that the
    ostrin header and import library link too;
  - with --wine-prefix: that host.exe, run under wine64 with the package's bin/varnel.dll beside
    it and one simulated tuner, prints the count, the status and the programme name the tuner
    reports.
Every failed check is printed; the exit status is 1 if any failed.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

RELEASE_FILES = {
    "bin/varnel.dll", "bin/ostrin.dll", "bin/varnelprobe.exe", "bin/tunerctl.exe",
    "lib/libvarnel.dll.a", "lib/libostrin.dll.a", "lib/varnel.def", "lib/ostrin.def",
    "include/varnel.h", "include/ostrin.h",
    "doc/USAGE.txt", "examples/host.c",
}
STANDIN_DEV_FILES = {
    "bin/kivactl.dll", "lib/libkivactl.dll.a", "lib/kivactl.def", "include/kivactl_control.h",
    "README.txt",
}

# The programme the simulated tuner is given: 表 (95 5C) and ソ (83 5C) end in a '\' byte, which
# must reach the output unchanged. The channel is the simulator's first terrestrial one, "011".
PROGRAMME = "番組表とソフト紹介".encode("cp932")
CHANNEL = 11

# A host of ostrin: the header compiles and the import library resolves all five functions.
OSTRIN_HOST = b"""#include "ostrin.h"
int main(void) {
  int count = 0, power = 0, lock = 0, size = 1, channel = 0;
  char name[1];
  return OSTRIN_GetCount(&count) + OSTRIN_SetPower(1, 1) + OSTRIN_SetChannel(1, 1) +
         OSTRIN_GetProgramName(1, name, &size, &channel) + OSTRIN_GetStatus(1, &power, &lock);
}
"""

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message, flush=True)


def report():
    if failures:
        print("\n*** package check FAILED: %d problem(s) ***" % len(failures))
        for f in failures:
            print("  - " + f.splitlines()[0])
        return 1
    print("package check passed")
    return 0


def files_in(zip_path):
    with zipfile.ZipFile(zip_path) as z:
        return {n for n in z.namelist() if not n.endswith("/")}


def check_files(title, got, want):
    if got - want:
        fail("%s holds unexpected files: %s" % (title, ", ".join(sorted(got - want))))
    if want - got:
        fail("%s lacks: %s" % (title, ", ".join(sorted(want - got))))


def run(cmd, timeout, **kw):
    """Runs cmd; returns its CompletedProcess, or None after reporting a time-out."""
    try:
        return subprocess.run(cmd, capture_output=True, timeout=timeout, **kw)
    except subprocess.TimeoutExpired:
        fail("%s did not finish within %d s" % (os.path.basename(cmd[0]), timeout))
        return None


def output_of(r):
    return (r.stdout + r.stderr).decode(errors="replace").strip()


def compile_against_package(a, unpacked, work):
    """Builds examples/host.c and an ostrin host; returns the path of host.exe or None."""
    include, lib = os.path.join(unpacked, "include"), os.path.join(unpacked, "lib")
    flags = ["-std=c99", "-Wall", "-Wextra", "-Wpedantic", "-Werror", "-I", include, "-L", lib]
    host = os.path.join(work, "host", "host.exe")
    os.makedirs(os.path.dirname(host))
    r = run([a.cc] + flags + [os.path.join(unpacked, "examples", "host.c"), "-lvarnel", "-o", host],
            60)
    if r is None or r.returncode != 0:
        if r is not None:
            fail("examples/host.c does not build against the package:\n" + output_of(r))
        return None

    ostrin_src = os.path.join(work, "ostrin_host.c")
    with open(ostrin_src, "wb") as f:
        f.write(OSTRIN_HOST)
    r = run([a.cc] + flags + [ostrin_src, "-lostrin", "-o", os.path.join(work, "ostrin_host.exe")],
            60)
    if r is not None and r.returncode != 0:
        fail("a host of ostrin does not build against the package:\n" + output_of(r))

    r = run([sys.executable, os.path.join(ROOT, "tests", "pe", "check_pe.py"), "--objdump",
             a.objdump, "--file", host, "--machine", a.machine, "--imports-from", "varnel.dll",
             "--imports", "VARNEL_GetCount,VARNEL_GetStatus,VARNEL_GetProgramName",
             "--no-version"], 60)
    if r is not None and r.returncode != 0:
        fail("host.exe built from the package: " + output_of(r))
    return host


def run_host_under_wine(a, unpacked, host, work):
    shutil.copy(os.path.join(unpacked, "bin", "varnel.dll"), os.path.dirname(host))
    reg = os.path.join(work, "tuner.reg")
    subprocess.run([os.path.join(ROOT, "scripts", "probe-registry.sh"), "tuners", "1", reg],
                   check=True)
    r = run([os.path.join(ROOT, "tests", "wine", "run-under-wine.sh"), "--prefix", a.wine_prefix,
             "--tuners", "1", "--workdir", os.path.join(work, "wine"), "--reg", reg,
             "--control", "1", "set program " + PROGRAMME.hex(), "--", host], 120)
    if r is None:
        return
    want = b"".join(line + b"\r\n" for line in (
        b"VARNEL_GetCount=0 count=1",
        b"tuner 1: VARNEL_GetStatus=0 power=1 lock=1",
        b"tuner 1: VARNEL_GetProgramName=0 channel=%d name=%s" % (CHANNEL, PROGRAMME)))
    if r.returncode != 0 or r.stdout != want:
        show = lambda b: b.decode("cp932", errors="replace")
        fail("host.exe under wine64 with one simulated tuner: exit %d\n--- got:\n%s--- expected:\n"
             "%s--- run-under-wine said:\n%s" % (r.returncode, show(r.stdout), show(want),
                                                 r.stderr.decode(errors="replace")))
    else:
        print("ok: host.exe under wine64 printed:\n" + r.stdout.decode("cp932"), end="")


def main():
    p = argparse.ArgumentParser()
    for opt in ("--build", "--cpack", "--version", "--system", "--machine", "--cc", "--objdump"):
        p.add_argument(opt, required=True)
    p.add_argument("--wine-prefix")
    a = p.parse_args()
    a.build = os.path.abspath(a.build)

    release_zip = "tuners-%s-%s.zip" % (a.version, a.system)
    dev_zip = "tuners-kivactl-standin-dev-%s-%s.zip" % (a.version, a.system)
    with tempfile.TemporaryDirectory(prefix="package-check.") as work:
        out = os.path.join(work, "zips")
        r = run([a.cpack, "--config", os.path.join(a.build, "CPackConfig.cmake"), "-B", out], 300,
                cwd=a.build)
        if r is None or r.returncode != 0:
            if r is not None:
                fail("cpack failed:\n" + output_of(r))
            return report()
        made = {f for f in os.listdir(out) if f.endswith(".zip")}
        check_files("cpack's output", made, {release_zip, dev_zip})
        print("cpack made: " + ", ".join(sorted(made)))

        if dev_zip in made:
            check_files(dev_zip, files_in(os.path.join(out, dev_zip)), STANDIN_DEV_FILES)
        if release_zip not in made:
            return report()
        release = os.path.join(out, release_zip)
        got = files_in(release)
        standin = sorted(n for n in got if "kivactl" in n.lower())
        if standin:
            fail("the release ZIP ships stand-in files: " + ", ".join(standin))
        check_files(release_zip, got, RELEASE_FILES)

        unpacked = os.path.join(work, "release")
        with zipfile.ZipFile(release) as z:
            z.extractall(unpacked)
        if os.path.isfile(os.path.join(unpacked, "examples", "host.c")):
            host = compile_against_package(a, unpacked, work)
            dll = os.path.join(unpacked, "bin", "varnel.dll")
            if host and a.wine_prefix and os.path.isfile(dll):
                run_host_under_wine(a, unpacked, host, work)
    return report()


if __name__ == "__main__":
    sys.exit(main())
