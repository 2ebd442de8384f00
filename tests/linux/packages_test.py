#!/usr/bin/python3
"""The Debian packages of the Linux build: made by cpack, their names, dependencies and contents
checked, their dependencies resolved by apt (simulated: the machine's packages stay as they are),
unpacked, and the example host program compiled against the unpacked files with
`pkg-config --cflags --libs varnel` and with find_package(varnel), each run against a simulated
tuner, and so is the packaged tunerctl. Runs under umockdev-wrapper.

    packages_test.py BUILD_DIR unpacked|installed

"installed" installs the packages for real with apt-get, builds and runs the example against the
system's copy, and purges them again; it needs root and is skipped (exit code 77) without it, or
when packages of these names are installed already.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

from linux_support import ROOT, Tree, usb_tty

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGES = {
    "libvarnel1": {"./usr/lib/{arch}/libvarnel.so.1", "./usr/lib/{arch}/libvarnel.so.1.0.0"},
    "libvarnel-dev": {"./usr/include/varnel.h", "./usr/lib/{arch}/libvarnel.so",
                      "./usr/lib/{arch}/pkgconfig/varnel.pc",
                      "./usr/lib/{arch}/cmake/varnel/varnelConfig.cmake",
                      "./usr/lib/{arch}/cmake/varnel/varnelConfigVersion.cmake",
                      "./usr/lib/{arch}/cmake/varnel/varnelTargets.cmake"},
    "varnel-tools": {"./usr/bin/varnelprobe", "./usr/bin/tunerctl",
                     "./usr/share/man/man1/tunerctl.1.gz"},
}
failures = []


def run(command, **kwargs):
    done = subprocess.run(command, capture_output=True, **kwargs)
    if done.returncode != 0:
        raise RuntimeError("%s failed:\n%s%s" % (" ".join(command), done.stdout.decode(errors="replace"),
                                                 done.stderr.decode(errors="replace")))
    return done.stdout.decode(errors="replace")


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)


SKIPPED = 77


def main(build, mode):
    if mode == "installed":
        if os.geteuid() != 0:
            print("skipped: installing the packages needs root")
            return SKIPPED
        if subprocess.call(["dpkg-query", "-W", "libvarnel1"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL) == 0:
            print("skipped: libvarnel1 is installed already; left as it is")
            return SKIPPED
    work = tempfile.mkdtemp(prefix="varnel-debs-")
    try:
        check_packages(build, work, mode)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


def check_packages(build, work, mode):
    arch = run(["dpkg-architecture", "-qDEB_HOST_MULTIARCH"]).strip()
    run(["cpack", "-G", "DEB", "-B", work], cwd=build)
    debs = {}
    for path in glob.glob(os.path.join(work, "*.deb")):
        debs[run(["dpkg-deb", "-f", path, "Package"]).strip()] = path
    check(set(debs) == set(PACKAGES), "packages %s" % sorted(debs))
    if set(debs) != set(PACKAGES):
        return

    if mode == "installed":
        install_and_use(debs, work, arch)
        return

    version = run(["dpkg-deb", "-f", debs["libvarnel1"], "Version"]).strip()
    depends = {name: run(["dpkg-deb", "-f", path, "Depends"]).strip() for name, path in debs.items()}
    check("libc6" in depends["libvarnel1"] and "libstdc++6" in depends["libvarnel1"],
          "libvarnel1 depends on the C and C++ runtimes: " + depends["libvarnel1"])
    check(depends["libvarnel-dev"] == "libvarnel1 (= %s)" % version,
          "libvarnel-dev depends on its library: " + depends["libvarnel-dev"])
    check("libvarnel1 (= %s)" % version in depends["varnel-tools"] and "libc6" in depends["varnel-tools"],
          "varnel-tools depends on the library: " + depends["varnel-tools"])
    synopses = set()
    for name, path in sorted(debs.items()):
        # A synopsis of its own; an extended description of plain lines (two blanks would make
        # one shown as it is, unwrapped).
        lines = run(["dpkg-deb", "-f", path, "Description"]).rstrip("\n").split("\n")
        synopses.add(lines[0])
        check(len(lines) > 1 and all(re.match(r" \S", line) for line in lines[1:]),
              "%s has a plain extended description: %r" % (name, lines[1:]))
    check(len(synopses) == len(debs), "each package has its own synopsis: %s" % sorted(synopses))
    for name, wanted in PACKAGES.items():
        listing = run(["dpkg-deb", "-c", debs[name]])
        files = {line.split()[5] for line in listing.splitlines()}
        missing = {w.format(arch=arch) for w in wanted} - files
        check(not missing, "%s holds its files (missing: %s)" % (name, sorted(missing)))

    simulated = subprocess.run(["apt-get", "install", "--simulate", "-y"] +
                               [debs[n] for n in sorted(debs)], capture_output=True, text=True)
    check(simulated.returncode == 0 and "Inst libvarnel1" in simulated.stdout,
          "apt-get install --simulate of the three packages" +
          ("" if simulated.returncode == 0 else ":\n" + simulated.stdout + simulated.stderr))

    root = os.path.join(work, "root")
    for path in debs.values():
        run(["dpkg-deb", "-x", path, root])
    libdir = os.path.join(root, "usr", "lib", arch)
    check(subprocess.call([sys.executable, os.path.join(HERE, "check_exports.py"),
                           os.path.join(libdir, "libvarnel.so.1")]) == 0,
          "the packaged library exports the five functions only")
    # varnel.pc finds its prefix from where it lies, so the unpacked tree works as it is.
    build_and_run_hosts(os.path.join(work, "unpacked"), "unpacked", libdir,
                        {"PKG_CONFIG_LIBDIR": os.path.join(libdir, "pkgconfig"),
                         "LD_LIBRARY_PATH": libdir}, os.path.join(root, "usr"),
                        os.path.join(root, "usr", "bin", "tunerctl"))
    page = run(["gzip", "-dc", os.path.join(root, "usr", "share", "man", "man1", "tunerctl.1.gz")])
    check(page == open(os.path.join(ROOT, "doc", "tunerctl.1"), encoding="utf-8").read(),
          "the packaged manual page is doc/tunerctl.1")


def install_and_use(debs, work, arch):
    """Installs the packages as a user would, uses them, and purges them again."""
    run(["apt-get", "install", "-y", "--no-install-recommends", "-o", "DPkg::Lock::Timeout=300"] +
        [debs[n] for n in sorted(debs)], env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    try:
        system_libdir = os.path.join("/usr/lib", arch)
        check(os.path.exists("/usr/bin/varnelprobe"), "varnel-tools installed its exerciser")
        check(subprocess.run(["man", "-w", "tunerctl"], capture_output=True).stdout ==
              b"/usr/share/man/man1/tunerctl.1.gz\n", "man finds tunerctl's manual page")
        build_and_run_hosts(os.path.join(work, "installed"), "installed", system_libdir, {}, None,
                            "/usr/bin/tunerctl")
    finally:
        run(["apt-get", "purge", "-y", "-o", "DPkg::Lock::Timeout=300"] + sorted(debs),
            env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


def build_and_run_hosts(work, what, libdir, env_extra, prefix, tunerctl):
    """Builds examples/host.c with `pkg-config --cflags --libs varnel` and with find_package(varnel)
    (CMAKE_PREFIX_PATH `prefix`, when given), and runs both and the packaged `tunerctl` against a
    simulated tuner."""
    os.makedirs(work)
    env = dict(os.environ, **env_extra)
    host_c = os.path.join(ROOT, "examples", "host.c")
    flags = run(["pkg-config", "--cflags", "--libs", "varnel"], env=env).split()
    host_pc = os.path.join(work, "host-pkgconfig")
    run(["cc", "-std=c99", "-Wall", "-Werror", host_c, "-o", host_pc] + flags, env=env)
    consumer = os.path.join(work, "consumer")
    run(["cmake", "-S", os.path.join(HERE, "consumer"), "-B", consumer, "-G", "Ninja"] +
        (["-DCMAKE_PREFIX_PATH=" + prefix] if prefix else []), env=env)
    run(["cmake", "--build", consumer], env=env)
    host_cmake = os.path.join(consumer, "host")

    tree = Tree([usb_tty("ttyUSB0", 0)], ["ttyUSB0"])
    env["UMOCKDEV_DIR"] = tree.testbed.get_root_dir()
    name = "表彰式ソング特集".encode("cp932")
    want = (b"VARNEL_GetCount=0 count=1\ntuner 1: VARNEL_SetPower=0\n"
            b"tuner 1: VARNEL_SetChannel=0 button=1\ntuner 1: VARNEL_GetStatus=0 power=1 lock=1\n"
            b"tuner 1: VARNEL_GetProgramName=0 channel=11 name=" + name + b"\n")
    try:
        for host, how in ((host_pc, "pkg-config"), (host_cmake, "find_package")):
            loaded = re.search(r"libvarnel\.so\.1 => (\S+)", run(["ldd", host], env=env))
            check(loaded is not None and os.path.realpath(loaded.group(1)) ==
                  os.path.realpath(os.path.join(libdir, "libvarnel.so.1")),
                  "%s, built with %s, loads %s/libvarnel.so.1" % (what, how, libdir))
            done = subprocess.run([host], capture_output=True, env=env, timeout=120)
            check(done.returncode == 0 and done.stdout == want,
                  "%s, built with %s, against a simulated tuner: %r" % (what, how, done.stdout))
        loaded = re.search(r"libvarnel\.so\.1 => (\S+)", run(["ldd", tunerctl], env=env))
        check(loaded is not None and os.path.realpath(loaded.group(1)) ==
              os.path.realpath(os.path.join(libdir, "libvarnel.so.1")),
              "%s tunerctl loads %s/libvarnel.so.1" % (what, libdir))
        done = subprocess.run([tunerctl, "name"], capture_output=True, env=env, timeout=120)
        check(done.returncode == 0 and
              done.stdout == "tuner 1: channel 11 表彰式ソング特集\n".encode("utf-8"),
              "%s tunerctl against a simulated tuner: %r" % (what, done.stdout))
    finally:
        tree.close()


if __name__ == "__main__":
    try:
        if main(sys.argv[1], sys.argv[2]) == SKIPPED:
            sys.exit(SKIPPED)
    except RuntimeError as e:
        check(False, str(e))
    print("packages: %s" % ("ok" if not failures else "%d FAILED" % len(failures)))
    sys.exit(1 if failures else 0)
