#!/usr/bin/env python3
"""Self-test for tunersim: drives a real simulator process over its pty
symlink and control port.

    python3 tools/tunersim/test_tunersim.py [--can-skip | --cannot-skip]

--can-skip runs only the cases that skip where the capabilities they drop
cannot be dropped, --cannot-skip all the others. Exits 0 when everything ran
and passed, 1 on a failure, 77 when a case skipped and none failed."""

import errno
import os
import re
import select
import socket
import subprocess
import sys
import tempfile
import termios
import time
import tty
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SIM = os.path.join(HERE, "tunersim.py")

STATUS_RE = re.compile(
    rb"POWER:on\r\nNETWORK:(DTT|BS)\r\nCHANNEL:(\d{3})\r\nPROGRAM:(.*)\r\n"
    rb"screen=1920x1080\r\nBitErrorRate=2\.0E-05 \((\d+)\)\r\nOK\r\Z",
    re.S)
OFF_REPLY = b"POWER:off\r\nOK\r"


class TunerSimTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.link = os.path.join(cls.tmp.name, "com9")
        cls.ready = os.path.join(cls.tmp.name, "ready")
        cls.proc = subprocess.Popen(
            [sys.executable, SIM, "--link", cls.link, "--control-port", "0",
             "--ready-file", cls.ready],
            stdout=subprocess.PIPE)
        r, _, _ = select.select([cls.proc.stdout], [], [], 5)
        assert r, "simulator did not get ready"
        cls.ready_line = cls.proc.stdout.readline().decode()
        cls.port = int(cls.ready_line.split()[1])
        cls.first_link = os.readlink(cls.link)

    @classmethod
    def tearDownClass(cls):
        if cls.proc.poll() is None:
            cls.proc.terminate()
            cls.proc.wait(5)
        cls.tmp.cleanup()

    def setUp(self):
        self.assertEqual(self.ctl("reset"), "ok")
        self.fd = self.open_port()

    def tearDown(self):
        os.close(self.fd)

    # ---- helpers ----------------------------------------------------------

    def ctl(self, *lines):
        """Send control lines on a fresh connection; return the answers."""
        with socket.create_connection(("127.0.0.1", self.port), 2) as s, \
                s.makefile("rwb") as f:
            answers = []
            for line in lines:
                f.write(line.encode() + b"\n")
                f.flush()
                answers.append(f.readline().decode().rstrip("\n"))
        return answers[0] if len(answers) == 1 else answers

    def open_port(self):
        fd = os.open(self.link, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(fd)
        attr = termios.tcgetattr(fd)
        attr[2] = (attr[2] & ~(termios.CSIZE | termios.PARENB
                               | termios.CSTOPB)) | termios.CS8 \
            | termios.CRTSCTS | termios.CREAD | termios.CLOCAL
        attr[4] = attr[5] = termios.B115200
        termios.tcsetattr(fd, termios.TCSANOW, attr)
        return fd

    def assert_status_through_link(self):
        """Opens the port afresh through the link and asks for the status."""
        fd = self.open_port()
        try:
            os.write(fd, b"GETSTAT\r")
            self.assertTrue(STATUS_RE.match(self.read(fd)))
        finally:
            os.close(fd)

    def read(self, fd=None, until=b"OK\r", timeout=2.0):
        """Read until the buffer ends with `until`, EOF/EIO or timeout."""
        fd = self.fd if fd is None else fd
        buf = b""
        deadline = time.monotonic() + timeout
        while not (until and buf.endswith(until)):
            left = deadline - time.monotonic()
            if left <= 0:
                break
            r, _, _ = select.select([fd], [], [], left)
            if not r:
                break
            try:
                chunk = os.read(fd, 4096)
            except OSError as e:
                if e.errno != errno.EIO:
                    raise
                chunk = b""
            if not chunk:
                break
            buf += chunk
        return buf

    def ask(self, cmd):
        os.write(self.fd, cmd)
        return self.read()

    def status(self):
        m = STATUS_RE.match(self.ask(b"GETSTAT\r"))
        self.assertIsNotNone(m)
        return m.groups()

    # ---- tuner protocol ---------------------------------------------------

    def test_ready_line_and_file(self):
        self.assertRegex(self.ready_line, r"^READY \d+ /dev/pts/\d+\n$")
        with open(self.ready) as f:
            self.assertEqual(f.read(), self.ready_line)
        self.assertEqual(self.first_link, self.ready_line.split()[2])

    def test_default_status(self):
        net, ch, name, ber = self.status()
        self.assertEqual((net, ch, ber), (b"DTT", b"011", b"12"))
        # Button 1 must carry a double-byte char whose second byte is '\'.
        name.decode("cp932")
        self.assertTrue(any(name[i] >= 0x81 and name[i + 1] == 0x5C
                            for i in range(len(name) - 1)), name)

    def test_exact_status_with_set_program(self):
        name = "ソ表能".encode("cp932")
        self.ctl("set program " + name.hex(), "set ber 345")
        self.assertEqual(
            self.ask(b"GETSTAT\r"),
            b"POWER:on\r\nNETWORK:DTT\r\nCHANNEL:011\r\nPROGRAM:" + name +
            b"\r\nscreen=1920x1080\r\nBitErrorRate=2.0E-05 (345)\r\nOK\r")

    def test_remote_button_changes_channel(self):
        _, ch1, name1, _ = self.status()
        self.assertEqual(self.ask(b"REMOTE 9\r"), b"OK\r")
        _, ch2, name2, _ = self.status()
        self.assertNotEqual((ch1, name1), (ch2, name2))
        self.assertRegex(self.ctl("state"), r" button=2 channel=%s "
                         % ch2.decode())

    def test_remote_keys(self):
        # (keys pressed from the default state, expected state fragment)
        cases = [
            ([19], "network=DTT button=12"),
            ([26], "network=DTT button=12"),        # down wraps 1 -> 12
            ([19, 23], "network=DTT button=1"),     # up wraps 12 -> 1
            ([10, 23, 23], "network=DTT button=5"),
            ([2], "network=BS button=1"),
            ([2, 12, 5], "network=DTT button=1"),   # each network keeps its own
            ([2, 12, 5, 2], "network=BS button=5"),
            ([99], "network=DTT button=1"),         # unknown key: no change
        ]
        for keys, want in cases:
            with self.subTest(keys=keys):
                self.ctl("reset")
                for k in keys:
                    self.assertEqual(self.ask(b"REMOTE %d\r" % k), b"OK\r")
                self.assertIn(want, self.ctl("state"))

    def test_power(self):
        self.assertEqual(self.ask(b"SETPOWER off\r"), b"OK\r")
        self.assertEqual(self.ask(b"GETSTAT\r"), OFF_REPLY)
        self.assertIn("power=off", self.ctl("state"))
        self.assertEqual(self.ask(b"SETPOWER on\r"), b"OK\r")
        self.status()

    def test_bad_commands_get_ng(self):
        for cmd in [b"\r", b"getstat\r", b"GETSTAT x\r", b"SETPOWER maybe\r",
                    b"REMOTE\r", b"REMOTE x\r", b"SETPOWER on \r"]:
            with self.subTest(cmd=cmd):
                self.assertEqual(self.ask(cmd), b"NG\r\nOK\r")

    def test_received_log_and_noise(self):
        # NUL and LF are noise inside a command; the log keeps every byte.
        sent = b"\x00GET\x00STAT\r\n" + b"RE\nMOTE 9\r"
        os.write(self.fd, sent)
        got = self.read(until=b"OK\rOK\r")
        self.assertTrue(STATUS_RE.match(got[:-3]), got)
        self.assertEqual(self.ctl("received", "commands", "state")[:2],
                         ["ok " + sent.hex(), "ok 2"])
        self.assertEqual(self.ctl("clear", "received", "commands"),
                         ["ok", "ok ", "ok 0"])
        # A command split across writes is still one command.
        os.write(self.fd, b"REMO")
        time.sleep(0.05)
        os.write(self.fd, b"TE 8\r")
        self.assertEqual(self.read(), b"OK\r")
        self.assertEqual(self.ctl("commands"), "ok 1")

    # ---- behaviour modes --------------------------------------------------

    def test_behave_nul(self):
        self.ctl("behave nul")
        os.write(self.fd, b"SETPOWER off\rGETSTAT\r")
        want = b"".join(bytes((b, 0)) for b in b"OK\r" + OFF_REPLY)
        self.assertEqual(self.read(until=want), want)

    def test_reply_queue(self):
        # Queued replies answer the next commands in order; the commands
        # still take effect; then normal replies resume.
        self.ctl("reply 414243", "reply 0d0a")
        os.write(self.fd, b"SETPOWER off\rGETSTAT\rGETSTAT\r")
        want = b"ABC" + b"\r\n" + OFF_REPLY
        self.assertEqual(self.read(until=want), want)
        self.assertIn("power=off", self.ctl("state"))

    def test_reply_honours_behaviour(self):
        self.ctl("behave split 2 10", "reply 58595a")
        os.write(self.fd, b"GETSTAT\r")
        self.assertEqual(self.read(until=b"XYZ"), b"XYZ")
        self.ctl("behave silent", "reply 58")
        os.write(self.fd, b"GETSTAT\r")
        self.assertEqual(self.read(timeout=0.3), b"")
        self.ctl("behave normal")                 # silent left it queued
        self.assertEqual(self.ask(b"GETSTAT\r")[:1], b"X")

    def test_behave_silent(self):
        self.ctl("behave silent")
        os.write(self.fd, b"SETPOWER off\rGETSTAT\r")
        self.assertEqual(self.read(timeout=0.3), b"")
        self.assertEqual(self.ctl("commands", "state")[0], "ok 2")
        self.assertIn("power=off", self.ctl("state"))
        self.ctl("behave normal")
        self.assertEqual(self.ask(b"GETSTAT\r"), OFF_REPLY)

    def test_delay_and_split_deliver_whole_reply(self):
        for mode, min_s in [("delay 200", 0.2), ("split 3 30", 0.1)]:
            with self.subTest(mode=mode):
                self.ctl("behave " + mode)
                t0 = time.monotonic()
                self.assertEqual(self.ask(b"SETPOWER off\r"), b"OK\r")
                self.assertEqual(self.ask(b"GETSTAT\r"), OFF_REPLY)
                self.assertGreaterEqual(time.monotonic() - t0, min_s)

    def test_hangup_then_reconnect(self):
        old_slave = os.readlink(self.link)
        self.ctl("behave hangup 5")
        os.write(self.fd, b"GETSTAT\r")
        self.assertEqual(self.read(until=None, timeout=2.0), b"POWER")
        self.assertNotEqual(os.readlink(self.link), old_slave)
        # The next call through the symlink works normally again.
        self.assert_status_through_link()
        self.assertEqual(self.ctl("received"),
                         "ok " + (b"GETSTAT\r" * 2).hex())

    def test_exclusive_keeps_others_out(self):
        # Only a process without CAP_SYS_ADMIN is kept out; drop it for the one that tries.
        try_open = ["setpriv", "--bounding-set", "-sys_admin", "--inh-caps", "-sys_admin",
                    sys.executable, "-c", "import os, sys; os.open(sys.argv[1], os.O_RDWR)",
                    self.link]
        if subprocess.call(try_open[:5] + ["true"], stderr=subprocess.DEVNULL) != 0:
            self.skipTest("cannot drop CAP_SYS_ADMIN here")
        self.ctl("exclusive on")
        self.assertNotEqual(subprocess.call(try_open, stderr=subprocess.DEVNULL), 0)
        self.ctl("exclusive off")
        self.assertEqual(subprocess.call(try_open), 0)

    def test_vanish_and_appear(self):
        self.ctl("vanish")
        self.assertFalse(os.path.lexists(self.link))
        self.assertEqual(self.ctl("commands"), "ok 0")
        self.ctl("appear")
        self.assert_status_through_link()

    def test_exchanges_are_timed_from_first_byte_to_last_reply_byte(self):
        self.ctl("behave delay 200")
        os.write(self.fd, b"GETSTAT\rSETPOWER on\r")
        self.read()
        self.read()
        times = [tuple(map(int, e.split(","))) for e in self.ctl("exchanges").split()[1:]]
        self.assertEqual(len(times), 2)
        (s1, e1), (s2, e2) = times
        self.assertEqual(s1, s2)  # both commands arrived in one read
        self.assertGreaterEqual(e1 - s1, 200000)
        self.assertGreaterEqual(e2 - e1, 200000)
        self.ctl("clear")
        self.assertEqual(self.ctl("exchanges"), "ok")

    def test_termios_reports_host_settings(self):
        self.assertEqual(
            self.ctl("termios"),
            "ok speed=115200 csize=8 parity=none stopbits=1 crtscts=1")
        # (Linux ptys force CS8 and no parity, so only these can change.)
        attr = termios.tcgetattr(self.fd)
        attr[2] = (attr[2] & ~termios.CRTSCTS) | termios.CSTOPB
        attr[4] = attr[5] = termios.B9600
        termios.tcsetattr(self.fd, termios.TCSANOW, attr)
        self.assertEqual(
            self.ctl("termios"),
            "ok speed=9600 csize=8 parity=none stopbits=2 crtscts=0")

    # ---- control channel --------------------------------------------------

    def test_control_errors(self):
        for line in ["bogus", "set power maybe", "set button 13",
                     "set network CS", "set program zz", "set ber -1",
                     "behave loud", "behave delay", "behave split 0 10",
                     "reply 123"]:
            with self.subTest(line=line):
                self.assertTrue(self.ctl(line).startswith("error "))

    def test_reset_restores_everything(self):
        self.ctl("set network BS", "set button 4", "set power off",
                 "set ber 99", "set program 41", "behave silent",
                 "reply 5858")
        os.write(self.fd, b"GETSTAT\r")
        self.assertEqual(self.read(timeout=0.2), b"")
        self.assertEqual(self.ctl("reset", "state", "received", "commands"),
                         ["ok", "ok power=on network=DTT button=1 "
                          "channel=011 ber=12", "ok ", "ok 0"])
        # Normal behaviour, empty reply queue, default programme names.
        self.assertEqual(self.status()[3], b"12")
        self.ctl("set network BS", "set button 4")
        self.assertNotEqual(self.status()[2], b"A")


class QuitTest(unittest.TestCase):
    """Shutdown paths remove the symlink and exit with status 0."""

    def test_quit_and_sigterm(self):
        for how in ("quit", "sigterm"):
            with self.subTest(how=how), tempfile.TemporaryDirectory() as d:
                link = os.path.join(d, "com1")
                p = subprocess.Popen([sys.executable, SIM, "--link", link],
                                     stdout=subprocess.PIPE)
                port = int(p.stdout.readline().split()[1])
                self.assertTrue(os.path.islink(link))
                if how == "quit":
                    with socket.create_connection(("127.0.0.1", port)) as s:
                        s.sendall(b"quit\n")
                        self.assertEqual(s.makefile().readline(), "ok\n")
                else:
                    p.terminate()
                self.assertEqual(p.wait(5), 0)
                p.stdout.close()
                self.assertFalse(os.path.lexists(link))


# The cases that skip where the capabilities they drop cannot be dropped.
CAN_SKIP = {"test_exclusive_keeps_others_out"}
SKIPPED_EXIT_CODE = 77


def main():
    args = sys.argv[1:]
    suite = unittest.TestSuite()
    for case in unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__]):
        for test in case:
            can_skip = test._testMethodName in CAN_SKIP
            if "--can-skip" in args and not can_skip or "--cannot-skip" in args and can_skip:
                continue
            suite.addTest(test)
    result = unittest.TextTestRunner(verbosity=1).run(suite)
    if not result.wasSuccessful():
        return 1
    return SKIPPED_EXIT_CODE if result.skipped else 0


if __name__ == "__main__":
    sys.exit(main())
