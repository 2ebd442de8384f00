#!/usr/bin/env python3
"""End-to-end runs of tunerctl.exe under wine, against two simulated serial tuners (COM11, COM12)
and the kivactl stand-in: every command with its human line compared byte for byte and its JSON
line parsed, the exit statuses, bad usage, a missing ostrin.dll or kivactl.dll, a slow and a
silent tuner (one real 35 s time-out), and Japanese programme names as UTF-8 in a file and on a
console.

    tunerctl_e2e.py --build BUILD_DIR --prefix WINEPREFIX

Runs whichever tunerctl.exe the build made (i686 or x86_64). Each run's standard output and error
go to files (or a pseudo-terminal where a case needs one) and the script waits for the process
itself.
"""
import argparse
import json
import os
import pty
import re
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VERSION = "1.0.0.1318"

USAGE = """usage: tunerctl [--usb] [--tuner N] [--json] count
       tunerctl [--usb] [--tuner N] [--json] power on|off
       tunerctl [--usb] [--tuner N] [--json] channel 1..12|up|down|dtt|bs
       tunerctl [--usb] [--tuner N] [--json] name
       tunerctl [--usb] [--tuner N] [--json] status
       tunerctl --help | --version
"""
# The first line of the tuner simulator's DTT button 1: two of its characters have 0x5C as
# their second byte in code page 932.
FIRST_NAME = "表彰式ソング特集"


class Session:
    """A wine prefix with two simulated serial tuners listed by the driver's registry key.

    The cases below use only run, control, reset, received and text, and the folder of the
    build's binaries: the Linux session (tests/linux/tunerctl_test.py, tunerctl over a mocked
    device tree) runs the serial, usage and terminal cases with its own line ends."""
    eol = "\r\n"  # a Windows program's lines end in CR LF

    def text(self, lines):
        """The bytes of `lines` (LF-separated UTF-8 text) as the program writes them."""
        return lines.replace("\n", self.eol).encode("utf-8")

    def __init__(self, build, prefix, work):
        self.build, self.work = build, work
        self.bin = os.path.join(build, "bin")
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LANG="ja_JP.UTF-8")
        self.env.pop("KIVASIM_SETUP", None)
        self.env.pop("KIVASIM_CALL_LOG", None)
        subprocess.check_call([os.path.join(ROOT, "tests", "wine", "prepare-prefix.sh"), prefix])
        self.sims, self.controls = [], []
        for i in (1, 2):
            ready = os.path.join(work, "tuner%d.ready" % i)
            log = open(os.path.join(work, "tuner%d.log" % i), "wb")
            self.sims.append(subprocess.Popen(
                [sys.executable, os.path.join(ROOT, "tools", "tunersim", "tunersim.py"),
                 "--link", os.path.join(prefix, "dosdevices", "com%d" % (10 + i)),
                 "--control-port", "0", "--ready-file", ready], stdout=log, stderr=log))
            for _ in range(200):
                if os.path.exists(ready) and os.path.getsize(ready) > 0:
                    break
                time.sleep(0.05)
            self.controls.append(int(open(ready).read().split()[1]))
        reg = os.path.join(work, "tuners.reg")
        subprocess.check_call([os.path.join(ROOT, "scripts", "probe-registry.sh"), "tuners", "2",
                               reg])
        with open(os.path.join(work, "reg.log"), "wb") as noise:
            subprocess.check_call(["wine", "reg", "import", "Z:" + reg.replace("/", "\\")],
                                  env=self.env, stdin=subprocess.DEVNULL, stdout=noise,
                                  stderr=noise)

    def close(self):
        for sim in self.sims:
            sim.terminate()
        for sim in self.sims:
            sim.wait()

    def control(self, tuner, line):
        with socket.create_connection(("127.0.0.1", self.controls[tuner - 1]), timeout=10) as s:
            s.sendall(line.encode() + b"\n")
            answer = s.makefile("rb").readline().decode().strip()
        if not answer.startswith("ok"):
            raise RuntimeError("tuner %d: control %r answered %r" % (tuner, line, answer))
        return answer[3:]

    def reset(self):
        for tuner in (1, 2):
            self.control(tuner, "reset")

    def received(self, tuner):
        return bytes.fromhex(self.control(tuner, "received"))

    def run(self, args, folder=None, env=None, stdout_tty=False, stderr_tty=False):
        """Runs tunerctl.exe; returns (exit status, stdout bytes, stderr bytes)."""
        exe = os.path.join(folder or self.bin, "tunerctl.exe")
        files = {}
        ttys = {}
        streams = {}
        for name, tty in (("out", stdout_tty), ("err", stderr_tty)):
            if tty:
                master, slave = pty.openpty()
                ttys[name] = master
                streams[name] = slave
            else:
                files[name] = os.path.join(self.work, "run.%s" % name)
                streams[name] = open(files[name], "wb")
        process = subprocess.Popen(["wine", exe] + args, env=dict(self.env, **(env or {})),
                                   stdin=subprocess.DEVNULL, stdout=streams["out"],
                                   stderr=streams["err"], cwd=self.work)
        for name, stream in streams.items():
            if name in ttys:
                os.close(stream)
            else:
                stream.close()
        got = {name: b"" for name in ttys}
        # A terminal is read until its last holder closes it (EIO), or, since wine's console
        # helper may hold it a little longer, until it has been quiet for a second after the
        # program ended.
        open_ttys = dict(ttys)
        quiet_since_exit = 0
        while open_ttys and quiet_since_exit < 10:
            ready = select.select(list(open_ttys.values()), [], [], 0.1)[0]
            for name, master in list(open_ttys.items()):
                if master not in ready:
                    continue
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    chunk = b""
                got[name] += chunk
                if not chunk:
                    del open_ttys[name]
            if process.poll() is not None and not ready:
                quiet_since_exit += 1
        process.wait()
        for master in ttys.values():
            os.close(master)
        for name, path in files.items():
            got[name] = open(path, "rb").read()
        return process.returncode, got["out"], got["err"]


def console_text(raw):
    """What a terminal shows of wine's console output: escape sequences and CRs taken out."""
    text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", raw).replace(b"\r", b"")
    return text.decode("utf-8", "replace")


class Checks:
    def __init__(self):
        self.failed = 0
        self.passed = 0

    def expect(self, title, condition, detail=""):
        if condition:
            self.passed += 1
            print("ok   %s" % title)
        else:
            self.failed += 1
            print("FAIL %s %s" % (title, detail))

    def run(self, session, title, args, status, out=None, err=b"", json_out=None, **kwargs):
        """One run: its exit status, standard output (bytes, or a parsed JSON object) and
        standard error compared exactly."""
        got_status, got_out, got_err = session.run(args, **kwargs)
        problems = []
        if got_status != status:
            problems.append("exit %d, expected %d" % (got_status, status))
        if json_out is not None:
            try:
                lines = got_out.split(session.eol.encode())
                parsed = json.loads(got_out.decode("utf-8"))
                if len(lines) != 2 or lines[1] != b"" or parsed != json_out:
                    problems.append("stdout %r, expected %r on one line" % (got_out, json_out))
            except ValueError as e:
                problems.append("stdout %r is not JSON: %s" % (got_out, e))
        elif out is not None and got_out != out:
            problems.append("stdout %r, expected %r" % (got_out, out))
        if err is not None and got_err != err:
            problems.append("stderr %r, expected %r" % (got_err, err))
        self.expect("%s: tunerctl %s" % (title, " ".join(args)), not problems,
                    "; ".join(problems))
        return got_status, got_out, got_err


def serial_cases(s, c):
    s.reset()
    c.run(s, "version", ["--version"], 0, s.text("tunerctl %s\n" % VERSION))
    code, help_text, _ = c.run(s, "help", ["--help"], 0, None)
    c.expect("help begins with the usage", help_text.startswith(s.text(USAGE)))
    readme = open(os.path.join(ROOT, "README.md"), encoding="utf-8").read()
    shown = re.search(r"```\n\$ tunerctl --help\n(.*?)```", readme, re.S)
    c.expect("README shows the --help output as it is",
             shown is not None and s.text(shown.group(1)) == help_text)

    c.run(s, "count", ["count"], 0, s.text("tuners: 2\n"))
    c.run(s, "count", ["--json", "count"], 0, json_out={"tuners": 2})

    # Power: the simulator's state shows the command arrived.
    c.run(s, "power", ["--tuner", "2", "power", "off"], 0, s.text("tuner 2: power off\n"))
    c.expect("tuner 2 is off", "power=off" in s.control(2, "state"))
    c.run(s, "status of a tuner that is off", ["--tuner", "2", "status"], 1, b"",
          s.text("tunerctl: tuner 2: VARNEL_GetStatus failed with -7 (the tuner reports power off)\n"))
    c.run(s, "power", ["--json", "--tuner=2", "power", "on"], 0,
          json_out={"tuner": 2, "power": True})
    c.expect("tuner 2 is on", "power=on" in s.control(2, "state"))
    c.run(s, "status", ["--tuner", "2", "status"], 0,
          s.text("tuner 2: power on, signal locked\n"))
    s.control(2, "set ber 1000")
    c.run(s, "status", ["status", "--tuner", "2", "--json"], 0,
          json_out={"tuner": 2, "power": True, "locked": False})
    c.expect("tuner 1 untouched", s.received(1) == b"")

    # Channels: each key as the tuner received it, and the programme it then shows.
    s.reset()
    c.run(s, "name", ["name"], 0, s.text("tuner 1: channel 11 %s\n" % FIRST_NAME))
    c.run(s, "name", ["name", "--json"], 0,
          json_out={"tuner": 1, "channel": 11, "name": FIRST_NAME})
    # Each step runs twice (a human line, then JSON): two steps up, two down.
    steps = [
        (["channel", "5"], "tuner 1: channel 5 selected", {"channel": 5}, b"REMOTE 12\r",
         "51 ドラマ「海の街」"),
        (["channel", "up"], "tuner 1: channel up", {"channel": "up"}, b"REMOTE 23\r",
         "71 サッカー中継"),
        (["channel", "down"], "tuner 1: channel down", {"channel": "down"}, b"REMOTE 26\r",
         "51 ドラマ「海の街」"),
        (["channel", "bs"], "tuner 1: network bs selected", {"network": "bs"}, b"REMOTE 2\r",
         "101 BSニュース"),
        (["channel", "12"], "tuner 1: channel 12 selected", {"channel": 12}, b"REMOTE 19\r",
         "222 BS能楽堂"),
        (["channel", "dtt"], "tuner 1: network dtt selected", {"network": "dtt"}, b"REMOTE 5\r",
         "51 ドラマ「海の街」"),
    ]
    for args, human, fields, key, shows in steps:
        for json_flag in (False, True):
            s.control(1, "clear")
            if json_flag:
                c.run(s, "channel", ["--json"] + args, 0, json_out=dict(tuner=1, **fields))
            else:
                c.run(s, "channel", args, 0, s.text(human + "\n"))
            c.expect("tuner 1 received %r" % key, s.received(1) == key, repr(s.received(1)))
        c.run(s, "name after " + " ".join(args), ["name"], 0,
              s.text("tuner 1: channel %s\n" % shows))

    # A tuner that is not there: the library's code, nothing on standard output.
    c.run(s, "no third tuner", ["--tuner", "3", "channel", "1"], 1, b"",
          s.text("tunerctl: tuner 3: VARNEL_SetChannel failed with -5\n"))
    c.run(s, "no third tuner", ["--json", "--tuner", "3", "name"], 1, b"",
          s.text("tunerctl: tuner 3: VARNEL_GetProgramName failed with -6\n"))


def usage_cases(s, c):
    s.reset()
    for args, problem in [
        (["tune", "5"], "unknown command 'tune'"),
        (["channel", "13"], "channel takes 1..12, up, down, dtt or bs, not '13'"),
        (["--tuner", "0", "status"], "--tuner takes a number from 1 up, not '0'"),
        (["--tuner", "two", "status"], "--tuner takes a number from 1 up, not 'two'"),
        (["power"], "power needs on or off"),
        ([], "no command given"),
    ]:
        c.run(s, "bad usage", args, 2, b"", s.text("tunerctl: %s\n%s" % (problem, USAGE)))
    c.expect("bad usage sends nothing to the tuners", s.received(1) + s.received(2) == b"")


def usb_cases(s, c):
    log = os.path.join(s.work, "kivactl-calls.txt")

    def usb(title, args, status, out=None, err=b"", json_out=None, setup="", keys=None):
        if os.path.exists(log):
            os.remove(log)
        env = {"KIVASIM_SETUP": setup, "KIVASIM_CALL_LOG": log}
        c.run(s, title, ["--usb"] + args, status, out, err, json_out, env=env)
        if keys is not None:
            calls = open(log).read() if os.path.exists(log) else ""
            sent = re.findall(r"KivaDevCtrl_SendRemoteCommand 0 (0x[0-9A-F]+)", calls)
            c.expect("kivactl was sent %s" % keys, sent == keys, "sent %s" % sent)

    usb("usb count", ["count"], 0, s.text("tuners: 1\n"))
    usb("usb count", ["count", "--json"], 0, json_out={"tuners": 3}, setup="count=3")
    usb("usb power", ["power", "off"], 0, s.text("tuner 1: power off\n"))
    usb("usb power", ["--json", "power", "on"], 0, json_out={"tuner": 1, "power": True})
    usb("usb channel", ["channel", "12"], 0, s.text("tuner 1: channel 12 selected\n"),
        keys=["0x1F43"])
    usb("usb channel", ["--json", "channel", "down"], 0,
        json_out={"tuner": 1, "channel": "down"}, keys=["0x1F4A"])
    usb("usb has no network keys", ["channel", "dtt"], 1, b"",
        s.text("tunerctl: tuner 1: OSTRIN_SetChannel failed with -5 (a USB tuner has no network "
             "keys)\n"), keys=[])
    reply = ("CHANNEL:101\r\nPROGRAM:BSニュース\r\nOK\r\n").encode("cp932").hex()
    usb("usb name", ["name"], 0, s.text("tuner 1: channel 101 BSニュース\n"),
        setup="reply=" + reply)
    usb("usb name", ["name", "--json"], 0,
        json_out={"tuner": 1, "channel": 101, "name": "BSニュース"}, setup="reply=" + reply)
    usb("usb status", ["status"], 0, s.text("tuner 1: power on, signal locked\n"))
    usb("usb status", ["--json", "status"], 0,
        json_out={"tuner": 1, "power": True, "locked": False}, setup="status=128")
    usb("usb name, signal not locked", ["name"], 1, b"",
        s.text("tunerctl: tuner 1: OSTRIN_GetProgramName failed with -6\n"), setup="status=128")
    usb("usb without a device", ["status"], 1, b"",
        s.text("tunerctl: tuner 1: OSTRIN_GetStatus failed with -2 (no USB tuner attached)\n"),
        setup="count=0")
    usb("usb tuner 5", ["--tuner", "5", "power", "on"], 1, b"",
        s.text("tunerctl: tuner 5: OSTRIN_SetPower failed with -1 (no such tuner, or it could not "
             "be opened)\n"))
    usb("usb count fails", ["count"], 1, b"",
        s.text("tunerctl: OSTRIN_GetCount failed with -8\n"), setup="fail=DevCtrl_GetEnumDevice:-1")


def missing_library_cases(s, c):
    # Folders in the build tree holding only some of the files.
    def folder(name, files):
        path = os.path.join(s.work, name)
        os.makedirs(path, exist_ok=True)
        for f in files:
            shutil.copy(os.path.join(s.bin, f), path)
        return path

    s.reset()
    no_ostrin = folder("no-ostrin", ["tunerctl.exe", "varnel.dll", "kivactl.dll"])
    no_kivactl = folder("no-kivactl", ["tunerctl.exe", "varnel.dll", "ostrin.dll"])
    c.run(s, "ostrin.dll missing", ["--usb", "count"], 1, b"",
          s.text("tunerctl: --usb needs ostrin.dll beside tunerctl.exe; it is missing (error 126)\n"),
          folder=no_ostrin)
    c.run(s, "kivactl.dll missing", ["--usb", "--json", "status"], 1, b"",
          s.text("tunerctl: --usb needs kivactl.dll, the USB tuner's device-control library, "
               "beside ostrin.dll or on the DLL search path; it is missing (error 126)\n"),
          folder=no_kivactl)
    for name, path in (("ostrin.dll", no_ostrin), ("kivactl.dll", no_kivactl)):
        c.run(s, "serial tuners without %s" % name, ["count"], 0, s.text("tuners: 2\n"),
              folder=path)


def terminal_cases(s, c):
    # The console path: the name reaches a terminal as its characters, through wine's console.
    s.reset()
    status, out, _ = s.run(["name"], stdout_tty=True)
    c.expect("name on a console", status == 0 and
             "tuner 1: channel 11 %s\n" % FIRST_NAME in console_text(out), repr(out))

    # A slow answer: the notice only when standard error is a terminal.
    notice = "tunerctl: tuner 1: still waiting for VARNEL_SetChannel...\n"
    s.control(1, "behave delay 3000")
    c.run(s, "slow tuner, stderr a file", ["channel", "2"], 0,
          s.text("tuner 1: channel 2 selected\n"), b"")
    status, out, err = s.run(["channel", "3"], stderr_tty=True)
    c.expect("slow tuner, stderr a terminal: notice, then the result",
             status == 0 and out == s.text("tuner 1: channel 3 selected\n") and
             console_text(err) == notice, "exit %d, %r, %r" % (status, out, err))

    # A silent tuner: one real 35 s time-out.
    s.control(1, "behave silent")
    start = time.monotonic()
    status, out, err = s.run(["channel", "4"], stderr_tty=True)
    elapsed = time.monotonic() - start
    c.expect("silent tuner: the notice, then the failure after the time-out",
             status == 1 and out == b"" and console_text(err) ==
             notice +
             "tunerctl: tuner 1: VARNEL_SetChannel failed with -5\n",
             "exit %d, %r, %r" % (status, out, err))
    print("     the silent tuner's call took %.1f s" % elapsed)


def run_groups(session, groups, only):
    """Runs the named groups of cases (only the one called `only`, when given) in one session,
    closes it, prints the count and returns the exit status."""
    checks = Checks()
    try:
        for name, group in groups:
            if only in (None, name):
                group(session, checks)
    finally:
        session.close()
    print("%d passed, %d failed" % (checks.passed, checks.failed))
    return 1 if checks.failed else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--only", help="run one group: serial, usage, usb, missing, terminal")
    options = parser.parse_args()
    build = os.path.abspath(options.build)
    os.makedirs(os.path.join(build, "tmp"), exist_ok=True)
    with tempfile.TemporaryDirectory(dir=os.path.join(build, "tmp")) as work:
        session = Session(build, os.path.abspath(options.prefix), work)
        return run_groups(session, [("serial", serial_cases), ("usage", usage_cases),
                                    ("usb", usb_cases), ("missing", missing_library_cases),
                                    ("terminal", terminal_cases)], options.only)


if __name__ == "__main__":
    sys.exit(main())
