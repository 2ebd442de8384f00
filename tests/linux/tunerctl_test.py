#!/usr/bin/python3
"""tunerctl on Linux end to end: the built program against two simulated tuners on a device tree
mocked by umockdev, through the same cases as under wine (tests/e2e/tunerctl_e2e.py: every serial
command, human and JSON, bad usage, a slow and a silent tuner, the still-waiting notice on a
terminal, Japanese names), and the Linux-only ones: the bytes each command sends, and --usb, which
has no library here. Runs under umockdev-wrapper.

    tunerctl_test.py TUNERCTL [--only GROUP]
"""
import argparse
import os
import pty
import select
import subprocess
import sys

from linux_support import ROOT, Tree, usb_tty

sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import tunerctl_e2e  # noqa: E402

TTYS = ("ttyUSB0", "ttyUSB1")  # tuner 1 and tuner 2: their sockets are in that order


class LinuxSession(tunerctl_e2e.Session):
    """The serial cases' session on the mocked tree: tunerctl is a child of this process, so the
    preload shows it the testbed, whose ttys the simulators serve from here."""
    eol = "\n"

    def __init__(self, program):
        self.program = program
        self.tree = Tree([usb_tty(TTYS[0], 0, ports="1"), usb_tty(TTYS[1], 1, ports="2")], TTYS)
        # The C locale: the names come out as UTF-8 whatever the locale says.
        self.env = dict(os.environ, UMOCKDEV_DIR=self.tree.testbed.get_root_dir(), LC_ALL="C")
        self.env.pop("VARNEL_DEBUG", None)

    def close(self):
        self.tree.close()

    def control(self, tuner, line):
        return self.tree.control(TTYS[tuner - 1], *line.split())[3:]

    def received(self, tuner):
        return self.tree.received(TTYS[tuner - 1])

    def run(self, args, env=None, stdout_tty=False, stderr_tty=False):
        """Runs tunerctl; returns (exit status, stdout bytes, stderr bytes). A stream that is a
        terminal is read until the program's side of it is closed."""
        masters, streams = {}, {}
        for name, tty in (("out", stdout_tty), ("err", stderr_tty)):
            if tty:
                masters[name], streams[name] = pty.openpty()
            else:
                streams[name] = subprocess.PIPE
        process = subprocess.Popen([self.program] + args, env=dict(self.env, **(env or {})),
                                   stdin=subprocess.DEVNULL, stdout=streams["out"],
                                   stderr=streams["err"])
        for name in masters:
            os.close(streams[name])
        got = {name: b"" for name in masters}
        open_masters = dict(masters)
        while open_masters:
            ready = select.select(list(open_masters.values()), [], [])[0]
            for name, master in list(open_masters.items()):
                if master in ready:
                    try:
                        chunk = os.read(master, 4096)
                    except OSError:  # EIO: every holder of the terminal has closed it
                        chunk = b""
                    got[name] += chunk
                    if not chunk:
                        del open_masters[name]
        out, err = process.communicate()
        for master in masters.values():
            os.close(master)
        return process.returncode, got.get("out", out), got.get("err", err)


def exchange_cases(s, c):
    """What each command sends, human and JSON alike: SETPOWER, one GETSTAT for the name, two for
    the status (power, then the error rate); the count only looks at the device tree."""
    s.reset()
    for args, human, fields, sent in [
        (["count"], "tuners: 2", None, b""),
        (["power", "off"], "tuner 2: power off", {"power": False}, b"SETPOWER off\r"),
        (["power", "on"], "tuner 2: power on", {"power": True}, b"SETPOWER on\r"),
        (["name"], "tuner 2: channel 11 " + tunerctl_e2e.FIRST_NAME,
         {"channel": 11, "name": tunerctl_e2e.FIRST_NAME}, b"GETSTAT\r"),
        (["status"], "tuner 2: power on, signal locked", {"power": True, "locked": True},
         b"GETSTAT\rGETSTAT\r"),
    ]:
        want_json = {"tuners": 2} if fields is None else dict(tuner=2, **fields)
        for json_flag in (False, True):
            for tuner in (1, 2):
                s.control(tuner, "clear")
            if json_flag:
                c.run(s, "sends", ["--tuner", "2", "--json"] + args, 0, json_out=want_json)
            else:
                c.run(s, "sends", ["--tuner", "2"] + args, 0, s.text(human + "\n"))
            c.expect("tuner 2 received %r" % sent, s.received(2) == sent, repr(s.received(2)))
            c.expect("tuner 1 received nothing", s.received(1) == b"", repr(s.received(1)))


def usb_cases(s, c):
    """--usb: no USB library on Linux; the serial tuners are left alone."""
    s.reset()
    for args in (["--usb", "count"], ["--usb", "--json", "--tuner", "2", "channel", "5"]):
        c.run(s, "no USB tuners on Linux", args, 1, b"",
              s.text("tunerctl: --usb: USB tuners are controlled on Windows only\n"))
    c.expect("--usb sends nothing to the serial tuners", s.received(1) + s.received(2) == b"")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--only", help="run one group: serial, exchange, usage, usb, terminal")
    options = parser.parse_args()
    session = LinuxSession(os.path.abspath(options.program))
    # The terminal group ends with the silent tuner's 35 s time-out: it comes last.
    return tunerctl_e2e.run_groups(session, [
        ("serial", tunerctl_e2e.serial_cases), ("exchange", exchange_cases),
        ("usage", tunerctl_e2e.usage_cases), ("usb", usb_cases),
        ("terminal", tunerctl_e2e.terminal_cases)], options.only)


if __name__ == "__main__":
    sys.exit(main())
