#!/usr/bin/env python3
"""The ZIPs of one Windows build, as scripts/package.sh makes them.

  check_package.py --build DIR --version V --system win32|win64 --machine i386|x86-64
                   --cc GCC --objdump OBJDUMP --clang CLANG --lld-link LLD_LINK
                   --llvm-dlltool DLLTOOL --mingw-include DIR [--wine-prefix DIR]

Makes the ZIPs of the build tree in a temporary directory (scripts/package.sh --zips-only) and
checks
  - that there are exactly the release, debug-symbols and kivactl stand-in ZIPs, each with a
    checksum file that `sha256sum -c` accepts;
  - that each ZIP unpacks into one folder named after it, holding exactly the expected files, its
    LICENSE (and the release's CHANGELOG.md) the repository's;
  - that the binaries are stripped (no debug sections, no symbol table) and keep their exports and
    version resources; that each release binary's .gnu_debuglink names its .debug file in the
    debug-symbols ZIP with that file's checksum, and that the file holds the debug information;
  - that the examples compile as C89 with warnings as errors against the unpacked release alone
    with the MinGW import libraries and import their functions from the DLL by name; and that
    host.c and ostrin_host.c compile with clang in Microsoft mode and link with lld-link against
    lib/varnel.lib and lib/ostrin.lib. The Microsoft C runtime is not installed here: its headers
    are MinGW's, and a program start (msvc_start.c) with an import library of the few msvcrt.dll
    functions used stands in for its libraries;
  - with --wine-prefix: that the programs run under wine (the i686 ones under 32-bit wine) with
    the package's DLLs beside them. host.exe of both linkers and channel.exe against one simulated
    tuner: their output and the commands the tuner received; ostrin_host.exe against the kivactl
    stand-in of the development ZIP: its output.
Every failed check is printed; the exit status is 1 if any failed.
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

BINARIES = ["bin/varnel.dll", "bin/ostrin.dll", "bin/varnelprobe.exe", "bin/tunerctl.exe"]
RELEASE_FILES = set(BINARIES) | {
    "lib/libvarnel.dll.a", "lib/libostrin.dll.a", "lib/varnel.lib", "lib/ostrin.lib",
    "lib/varnel.def", "lib/ostrin.def", "include/varnel.h", "include/ostrin.h",
    "doc/USAGE.txt", "examples/host.c", "examples/ostrin_host.c", "examples/channel.c",
    "LICENSE", "CHANGELOG.md",
}
DEBUG_FILES = {b + ".debug" for b in BINARIES} | {"LICENSE"}
STANDIN_DEV_FILES = {
    "bin/kivactl.dll", "lib/libkivactl.dll.a", "lib/kivactl.def", "include/kivactl_control.h",
    "README.txt", "LICENSE",
}
VARNEL = ["VARNEL_GetCount", "VARNEL_SetPower", "VARNEL_SetChannel", "VARNEL_GetProgramName",
          "VARNEL_GetStatus"]
OSTRIN = [n.replace("VARNEL", "OSTRIN") for n in VARNEL]
# The C runtime functions that msvc_start.c and the examples call.
MSVCRT = ["__getmainargs", "exit", "printf", "sscanf", "strcmp"]

# The programme the simulated tuner is given: 表 (95 5C) and ソ (83 5C) end in a '\' byte, which
# must reach the output unchanged. The channel is the simulator's first terrestrial one, "011";
# button 2 of the simulator is "021".
PROGRAMME = "番組表とソフト紹介".encode("cp932")


def lines(*texts):
    return b"".join(t + b"\r\n" for t in texts)


# (program, arguments, simulated tuners, expected output, expected commands at the tuner)
HOST_OUTPUT = lines(
    b"VARNEL_GetCount=0 count=1", b"tuner 1: VARNEL_SetPower=0",
    b"tuner 1: VARNEL_SetChannel=0 button=1", b"tuner 1: VARNEL_GetStatus=0 power=1 lock=1",
    b"tuner 1: VARNEL_GetProgramName=0 channel=11 name=" + PROGRAMME)
HOST_COMMANDS = b"SETPOWER on\rREMOTE 8\rGETSTAT\rGETSTAT\rGETSTAT\r"
OSTRIN_OUTPUT = lines(
    b"OSTRIN_GetCount=0 count=1", b"tuner 1: OSTRIN_SetPower=0",
    b"tuner 1: OSTRIN_SetChannel=0 button=5", b"tuner 1: OSTRIN_GetStatus=0 power=1 lock=1",
    b"tuner 1: OSTRIN_GetProgramName=0 channel=5 name=Programme 5")
RUNS = [
    ("host.exe", [], 1, HOST_OUTPUT, HOST_COMMANDS),
    ("host-msvc.exe", [], 1, HOST_OUTPUT, HOST_COMMANDS),
    ("channel.exe", ["1", "up"], 1,
     lines(b"VARNEL_SetChannel=0",
           b"VARNEL_GetProgramName=0 channel=21 name=" + "ニュース7".encode("cp932")),
     b"REMOTE 23\rGETSTAT\r"),
    ("ostrin_host.exe", ["5"], 0, OSTRIN_OUTPUT, None),
    ("ostrin_host-msvc.exe", ["5"], 0, OSTRIN_OUTPUT, None),
]

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


def run(cmd, timeout, **kw):
    """Runs cmd; returns its CompletedProcess, or None after reporting a time-out."""
    try:
        return subprocess.run(cmd, capture_output=True, timeout=timeout, **kw)
    except subprocess.TimeoutExpired:
        fail("%s did not finish within %d s" % (os.path.basename(cmd[0]), timeout))
        return None


def output_of(r):
    return (r.stdout + r.stderr).decode(errors="replace").strip()


def succeeded(r, what):
    if r is not None and r.returncode != 0:
        fail("%s:\n%s" % (what, output_of(r)))
    return r is not None and r.returncode == 0


def check_files(title, got, want):
    if got - want:
        fail("%s holds unexpected files: %s" % (title, ", ".join(sorted(got - want))))
    if want - got:
        fail("%s lacks: %s" % (title, ", ".join(sorted(want - got))))


def check_zip(path, want, work):
    """Checks the checksum file, the single top-level folder and the file list; returns the
    unpacked folder."""
    name = os.path.basename(path)
    folder = name[:-len(".zip")]
    sums = path + ".sha256"
    if not os.path.isfile(sums):
        fail(name + " has no checksum file")
    else:
        with open(sums, "rb") as f:
            text = f.read()
        with open(path, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        if text != ("%s  %s\n" % (digest, name)).encode():
            fail("%s.sha256 is not the line '<sha256>  %s': %r" % (name, name, text))
        succeeded(run(["sha256sum", "-c", name + ".sha256"], 60, cwd=os.path.dirname(path)),
                  "sha256sum -c %s.sha256" % name)

    with zipfile.ZipFile(path) as z:
        entries = z.namelist()
        z.extractall(work)
    tops = {e.split("/", 1)[0] for e in entries}
    if tops != {folder}:
        fail("%s does not unpack into the one folder %s/: its top level holds %s" %
             (name, folder, ", ".join(sorted(tops))))
    prefix = folder + "/"
    files = {e[len(prefix):] for e in entries if e.startswith(prefix) and not e.endswith("/")}
    check_files(name, files, want)
    unpacked = os.path.join(work, folder)
    for doc in ("LICENSE", "CHANGELOG.md"):
        shipped = os.path.join(unpacked, doc)
        if doc in want and os.path.isfile(shipped):
            with open(shipped, "rb") as a, open(os.path.join(ROOT, doc), "rb") as b:
                if a.read() != b.read():
                    fail("%s in %s differs from the repository's" % (doc, name))
    return unpacked


def section_names(a, path):
    r = run([a.objdump, "-h", path], 60)
    if not succeeded(r, "objdump -h " + path):
        return set()
    return set(re.findall(r"^\s*\d+\s+(\S+)", r.stdout.decode(), re.M))


def debug_link(a, path):
    """(file name, CRC) of the binary's .gnu_debuglink, or None."""
    r = run([a.objdump, "-s", "-j", ".gnu_debuglink", path], 60)
    if r is None or r.returncode != 0:
        return None
    data = b"".join(bytes.fromhex("".join(m.group(1).split()))
                    for m in re.finditer(r"^ [0-9a-f]+ ((?:[0-9a-f]{2,8} ?){1,4})",
                                         r.stdout.decode(), re.M))
    if b"\0" not in data:
        return None
    name = data.split(b"\0", 1)[0]
    crc_at = (len(name) + 1 + 3) // 4 * 4  # the name's NUL, padded to four bytes
    if len(data) < crc_at + 4:
        return None
    return name.decode(errors="replace"), int.from_bytes(data[crc_at:crc_at + 4], "little")


def check_binaries(a, release, debug, standin):
    for rel in BINARIES + ["bin/kivactl.dll"]:
        path = os.path.join(standin if "kivactl" in rel else release, rel)
        if not os.path.isfile(path):
            continue
        debug_sections = sorted(s for s in section_names(a, path) if s.startswith(".debug"))
        if debug_sections:
            fail("%s is not stripped: it holds %s" % (rel, ", ".join(debug_sections)))
        r = run([a.objdump, "-f", path], 60)
        if succeeded(r, "objdump -f " + rel) and b"HAS_SYMS" in r.stdout:
            fail(rel + " is not stripped: it has a symbol table")
        if "kivactl" in rel:
            continue
        link = debug_link(a, path)
        debug_file = os.path.join(debug, rel + ".debug")
        if link is None:
            fail(rel + " has no .gnu_debuglink")
        elif link[0] != os.path.basename(debug_file):
            fail("%s links the debug file %s, not %s" % (rel, link[0], os.path.basename(debug_file)))
        elif os.path.isfile(debug_file):
            with open(debug_file, "rb") as f:
                crc = zlib.crc32(f.read())
            if crc != link[1]:
                fail("%s's debug link carries the checksum %08x, its .debug file has %08x" %
                     (rel, link[1], crc))
            if ".debug_info" not in section_names(a, debug_file):
                fail(rel + ".debug holds no .debug_info")

    pe = [sys.executable, os.path.join(ROOT, "tests", "pe", "check_pe.py"), "--objdump", a.objdump,
          "--machine", a.machine]
    for dll, exports, description in (("varnel.dll", VARNEL, "VARNEL Library"),
                                      ("ostrin.dll", OSTRIN, "OSTRIN Library")):
        path = os.path.join(release, "bin", dll)
        if os.path.isfile(path):
            succeeded(run(pe + ["--file", path, "--exports", ",".join(exports), "--version",
                                a.version, "--description", description], 60),
                      "the released " + dll)
    probe = os.path.join(release, "bin", "varnelprobe.exe")
    if os.path.isfile(probe):
        succeeded(run(pe + ["--file", probe, "--imports-from", "varnel.dll", "--imports",
                            ",".join(VARNEL), "--no-version"], 60), "the released varnelprobe.exe")


def build_examples(a, release, out):
    """Builds the examples against the unpacked release into `out`: with MinGW, and host.c and
    ostrin_host.c with clang in Microsoft mode and lld-link. Returns the programs made."""
    include, lib = os.path.join(release, "include"), os.path.join(release, "lib")
    examples = os.path.join(release, "examples")
    made = set()
    pe = [sys.executable, os.path.join(ROOT, "tests", "pe", "check_pe.py"), "--objdump", a.objdump,
          "--machine", a.machine, "--no-version"]
    gcc_flags = ["-std=c89", "-pedantic", "-Wall", "-Wextra", "-Werror", "-I", include, "-L", lib]
    for example, library, imports in (("host", "varnel", VARNEL),
                                      ("channel", "varnel", ["VARNEL_SetChannel",
                                                             "VARNEL_GetProgramName"]),
                                      ("ostrin_host", "ostrin", OSTRIN)):
        exe = os.path.join(out, example + ".exe")
        r = run([a.cc] + gcc_flags + [os.path.join(examples, example + ".c"), "-l" + library,
                                      "-o", exe], 60)
        if succeeded(r, "examples/%s.c does not build with MinGW against the package" % example):
            if succeeded(run(pe + ["--file", exe, "--imports-from", library + ".dll", "--imports",
                                   ",".join(imports)], 60), example + ".exe (MinGW)"):
                made.add(example + ".exe")

    # Microsoft mode: the objects and the link follow the Microsoft conventions (for i686 a cdecl
    # function is the symbol _NAME), and lld-link reads the package's .lib files.
    triple = {"i386": "i686-pc-windows-msvc", "x86-64": "x86_64-pc-windows-msvc"}[a.machine]
    dlltool_machine = {"i386": "i386", "x86-64": "i386:x86-64"}[a.machine]
    msvcrt_def = os.path.join(out, "msvcrt.def")
    with open(msvcrt_def, "w") as f:
        f.write("LIBRARY msvcrt.dll\nEXPORTS\n" + "".join(n + "\n" for n in MSVCRT))
    msvcrt_lib = os.path.join(out, "msvcrt.lib")
    if not succeeded(run([a.llvm_dlltool, "-m", dlltool_machine, "-d", msvcrt_def, "-l",
                          msvcrt_lib], 60), "llvm-dlltool for msvcrt.lib"):
        return made
    clang = [a.clang, "--target=" + triple, "-Wall", "-Wextra", "-Werror", "-c"]
    start = os.path.join(out, "msvc_start.obj")
    if not succeeded(run(clang + ["-ffreestanding", os.path.join(HERE, "msvc_start.c"), "-o", start],
                         60), "msvc_start.c does not compile"):
        return made
    for example, library, imports in (("host", "varnel", VARNEL), ("ostrin_host", "ostrin", OSTRIN)):
        obj = os.path.join(out, example + ".obj")
        exe = os.path.join(out, example + "-msvc.exe")
        r = run(clang + ["-std=c89", "-pedantic", "-isystem", a.mingw_include, "-I", include,
                         os.path.join(examples, example + ".c"), "-o", obj], 60)
        if not succeeded(r, "examples/%s.c does not compile with clang --target=%s" %
                         (example, triple)):
            continue
        r = run([a.lld_link, "/nologo", "/subsystem:console", "/entry:mainCRTStartup",
                 "/nodefaultlib", "/out:" + exe, obj, start,
                 os.path.join(lib, library + ".lib"), msvcrt_lib], 60)
        if not succeeded(r, "lld-link of %s.obj with lib/%s.lib" % (example, library)):
            continue
        if succeeded(run(pe + ["--file", exe, "--imports-from", library + ".dll", "--imports",
                               ",".join(imports)], 60), example + "-msvc.exe (lld-link)"):
            made.add(example + "-msvc.exe")
    return made


def run_under_wine(a, release, standin, out, made, work):
    for dll in ("varnel.dll", "ostrin.dll"):
        shutil.copy(os.path.join(release, "bin", dll), out)
    shutil.copy(os.path.join(standin, "bin", "kivactl.dll"), out)
    reg = os.path.join(work, "tuner.reg")
    subprocess.run([os.path.join(ROOT, "scripts", "probe-registry.sh"), "tuners", "1", reg],
                   check=True)
    show = lambda b: b.decode("cp932", errors="replace")
    for program, args, tuners, want, commands in RUNS:
        if program not in made:
            continue
        runs = os.path.join(work, "wine-" + program)
        cmd = [os.path.join(ROOT, "tests", "wine", "run-under-wine.sh"), "--prefix", a.wine_prefix,
               "--tuners", str(tuners), "--workdir", runs]
        if tuners:
            cmd += ["--reg", reg, "--control", "1", "set program " + PROGRAMME.hex()]
        r = run(cmd + ["--", os.path.join(out, program)] + args, 180)
        if r is None:
            continue
        if r.returncode != 0 or r.stdout != want:
            fail("%s %s under wine: exit %d\n--- got:\n%s--- expected:\n%s--- run-under-wine "
                 "said:\n%s" % (program, " ".join(args), r.returncode, show(r.stdout), show(want),
                                r.stderr.decode(errors="replace")))
            continue
        if commands is not None:
            with open(os.path.join(runs, "tuner1.received"), "rb") as f:
                received = f.read()
            if received != commands:
                fail("%s: the simulated tuner received %r, expected %r" %
                     (program, received, commands))
                continue
        print("ok: %s %s under wine printed:\n%s" % (program, " ".join(args), show(r.stdout)),
              end="")


def main():
    p = argparse.ArgumentParser()
    for opt in ("--build", "--version", "--system", "--machine", "--cc", "--objdump", "--clang",
                "--lld-link", "--llvm-dlltool", "--mingw-include"):
        p.add_argument(opt, required=True)
    p.add_argument("--wine-prefix")
    a = p.parse_args()

    release_name = "tuners-%s-%s" % (a.version, a.system)
    want = {
        release_name + ".zip": RELEASE_FILES,
        release_name + "-debug-symbols.zip": DEBUG_FILES,
        "tuners-kivactl-standin-dev-%s-%s.zip" % (a.version, a.system): STANDIN_DEV_FILES,
    }
    with tempfile.TemporaryDirectory(prefix="package-check.") as work:
        zips = os.path.join(work, "zips")
        r = run([os.path.join(ROOT, "scripts", "package.sh"), "--zips-only", a.build, "--output",
                 zips], 300)
        if not succeeded(r, "scripts/package.sh --zips-only failed"):
            return report()
        made = set(os.listdir(zips))
        check_files("the package output", made, set(want) | {z + ".sha256" for z in want})
        print("made: " + ", ".join(sorted(made)))

        unpacked = {}
        for name, files in want.items():
            if name in made:
                unpacked[name] = check_zip(os.path.join(zips, name), files,
                                           os.path.join(work, "unpacked"))
        if len(unpacked) != len(want):
            return report()
        release, debug, standin = (unpacked[n] for n in want)
        standin_in_release = sorted(f for _, _, names in os.walk(release) for f in names
                                    if "kivactl" in f.lower())
        if standin_in_release:
            fail("the release ZIP ships stand-in files: " + ", ".join(standin_in_release))
        check_binaries(a, release, debug, standin)

        out = os.path.join(work, "programs")
        os.makedirs(out)
        made_programs = build_examples(a, release, out)
        if a.wine_prefix:
            run_under_wine(a, release, standin, out, made_programs, work)
    return report()


if __name__ == "__main__":
    sys.exit(main())
