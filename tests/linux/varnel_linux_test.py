#!/usr/bin/python3
"""libvarnel.so, as shipped, against simulated tuners on a device tree mocked by umockdev.

    umockdev-wrapper /usr/bin/python3 varnel_linux_test.py LIBRARY PROBE [unittest arguments]

LIBRARY is libvarnel.so.1, PROBE the Linux varnelprobe. Child processes (a second caller, the
exerciser) see the same mocked /sys and /dev.
"""
import os
import re
import subprocess
import sys
import tempfile
import termios
import threading
import time
import unittest

from linux_support import Timer, Tree, Varnel, open_fds, plain_tty, usb_tty

LIBRARY = PROBE = None
varnel = None

TIMESTAMP = rb"\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3} "
COMMANDS = re.compile(rb"((GETSTAT|REMOTE \d+|SETPOWER (on|off))\r)*")
FIRST_NAME = "表彰式ソング特集"  # the simulator's programme on button 1 of DTT, channel 011


# Runs a command without the capability that lets root open a terminal held with TIOCEXCL.
UNPRIVILEGED = ["setpriv", "--bounding-set", "-sys_admin", "--inh-caps", "-sys_admin"]


def call_in_child(function, *args, env=None, prefix=()):
    """Calls one function of the library in another process: (result, stderr)."""
    done = subprocess.run(list(prefix) + [sys.executable, os.path.abspath(__file__), "--call",
                                          LIBRARY, function] + [str(a) for a in args],
                          capture_output=True, env=env, timeout=120)
    return int(done.stdout.decode().strip() or "99"), done.stderr.decode()


class Discovery(unittest.TestCase):
    def test_count_over_device_trees(self):
        cases = [
            ("no tty class at all", [], (-8, 0)),
            ("another vendor and product", [usb_tty("ttyUSB0", 0, "0403", "6001")], (0, 0)),
            ("a tty with no USB device", [plain_tty("ttyS0", 0)], (0, 0)),
            ("upper-case identifiers", [usb_tty("ttyUSB0", 0, "FEDC", "BA98")], (0, 1)),
            ("a tuner among others", [usb_tty("ttyUSB0", 0, "0403", "6001", ports="1"),
                                      plain_tty("ttyS0", 0), usb_tty("ttyUSB1", 1, ports="4")],
             (0, 1)),
        ]
        for what, devices, want in cases:
            with self.subTest(what):
                tree = Tree(devices)
                try:
                    self.assertEqual(varnel.get_count(), want)
                finally:
                    tree.close()

    def test_tuners_are_ordered_by_usb_port_then_interface(self):
        # Names and the text order of the ports ("1-10" < "1-3") both disagree with the order
        # wanted: bus and port chain as numbers, then interface.
        tree = Tree([usb_tty("ttyUSB0", 0, ports="10"), usb_tty("ttyUSB1", 1, ports="3", interface=1),
                     usb_tty("ttyUSB2", 2, ports="3", interface=0),
                     usb_tty("ttyUSB3", 3, "0403", "6001", ports="1"), plain_tty("ttyS0", 0)],
                    ["ttyUSB0", "ttyUSB1", "ttyUSB2"])
        try:
            self.assertEqual(varnel.get_count(), (0, 3))
            for index, tty in ((1, "ttyUSB2"), (2, "ttyUSB1"), (3, "ttyUSB0"), (0, "ttyUSB2")):
                with self.subTest(index=index):
                    for sim in tree.sims:
                        tree.control(sim, "clear")
                    self.assertEqual(varnel.set_channel(index, 5), 0)
                    self.assertEqual({t: tree.received(t) for t in tree.sims},
                                     {t: b"REMOTE 12\r" if t == tty else b"" for t in tree.sims})
            for sim in tree.sims:
                tree.control(sim, "clear")
            for index in (4, -1):
                self.assertEqual(varnel.set_channel(index, 5), -5)
            self.assertEqual([tree.received(t) for t in tree.sims], [b"", b"", b""])
        finally:
            tree.close()


class Functions(unittest.TestCase):
    def setUp(self):
        self.tree = Tree([usb_tty("ttyUSB0", 0, ports="1"), usb_tty("ttyUSB1", 1, ports="2")],
                         ["ttyUSB0", "ttyUSB1"])

    def tearDown(self):
        self.tree.close()

    def check(self, call, want, sent):
        for tty in self.tree.sims:
            self.tree.control(tty, "clear")
        self.assertEqual(call(), want)
        self.assertEqual(self.tree.received("ttyUSB1"), sent)
        self.assertEqual(self.tree.received("ttyUSB0"), b"")

    def test_commands_and_what_each_tuner_received(self):
        cases = [
            (lambda: varnel.set_power(2, 0), 0, b"SETPOWER off\r"),
            (lambda: varnel.set_power(2, 7), 0, b"SETPOWER on\r"),
            (lambda: varnel.set_channel(2, 12), 0, b"REMOTE 19\r"),
            (lambda: varnel.set_channel(2, 1), 0, b"REMOTE 8\r"),
            (lambda: varnel.set_channel(2, 0), 0, b"REMOTE 23\r"),
            (lambda: varnel.set_channel(2, -1), 0, b"REMOTE 26\r"),
            (lambda: varnel.set_channel(2, -3), 0, b"REMOTE 2\r"),
            (lambda: varnel.set_channel(2, -2), 0, b"REMOTE 5\r"),
            (lambda: varnel.set_channel(2, 13), -5, b""),
            (lambda: varnel.set_channel(2, -4), -5, b""),
            (lambda: varnel.get_status(2), (0, 1, 1), b"GETSTAT\rGETSTAT\r"),
            (lambda: varnel.get_status(2, with_power=False), (0, -1, 1), b"GETSTAT\r"),
            # The name comes back as the tuner's code page 932 bytes (one has the trail byte 5C).
            (lambda: varnel.get_program_name(2), (0, FIRST_NAME.encode("cp932"), 11),
             b"GETSTAT\r"),
        ]
        for i, (call, want, sent) in enumerate(cases):
            with self.subTest(case=i):
                self.check(call, want, sent)
        # The line as the calls left it: 115200 baud, 8N1, hardware flow control.
        self.assertEqual(self.tree.control("ttyUSB1", "termios"),
                         "ok speed=115200 csize=8 parity=none stopbits=1 crtscts=1")

    def test_status_figures_and_null_arguments(self):
        self.tree.control("ttyUSB1", "set", "ber", "1000")
        self.tree.control("ttyUSB1", "set", "power", "off")
        self.check(lambda: varnel.get_status(2), (-7, 0, 0), b"GETSTAT\rGETSTAT\r")
        self.tree.control("ttyUSB1", "set", "power", "on")
        self.check(lambda: varnel.get_status(2), (0, 1, 0), b"GETSTAT\rGETSTAT\r")
        self.tree.control("ttyUSB1", "set", "ber", "999")
        self.check(lambda: varnel.get_status(2), (0, 1, 1), b"GETSTAT\rGETSTAT\r")
        lib = varnel.lib
        self.check(lambda: lib.VARNEL_GetCount(None), -8, b"")
        self.check(lambda: lib.VARNEL_GetProgramName(2, None, None, None), -6, b"")
        self.check(lambda: lib.VARNEL_GetStatus(2, None, None), -7, b"")
        # A name that would fill the buffer is refused, ten times over.
        self.check(lambda: varnel.get_program_name(2, size=len(FIRST_NAME.encode("cp932")) + 1),
                   (-6, b"untouched", 11), b"GETSTAT\r" * 10)


class Faults(unittest.TestCase):
    def setUp(self):
        self.tree = Tree([usb_tty("ttyUSB0", 0, ports="1"), usb_tty("ttyUSB1", 1, ports="2")],
                         ["ttyUSB0", "ttyUSB1"])
        self.cwd = os.getcwd()
        self.work = tempfile.TemporaryDirectory()
        os.chdir(self.work.name)

    def tearDown(self):
        os.chdir(self.cwd)
        self.work.cleanup()
        self.tree.close()

    def test_silent_tuner_costs_seven_reads(self):
        # SetPower in another process, on the other tuner, at the same time: it still succeeds.
        for tty in self.tree.sims:
            self.tree.control(tty, "behave", "silent")
        other = {}
        child = threading.Thread(target=lambda: other.update(r=call_in_child("SetPower", 2, 1)))
        child.start()
        with Timer() as t:
            self.assertEqual(varnel.set_channel(1, 3), -5)
        child.join()
        self.assertEqual(other["r"][0], 0)
        self.assertGreater(t.seconds, 34.0)
        self.assertLess(t.seconds, 40.0)
        self.assertEqual(self.tree.received("ttyUSB0"), b"REMOTE 10\r")
        self.assertEqual(self.tree.received("ttyUSB1"), b"SETPOWER on\r")

    def test_nul_bytes_and_split_replies(self):
        for behaviour in (["nul"], ["split", "3", "40"], ["delay", "1500"]):
            with self.subTest(behaviour=behaviour):
                self.tree.control("ttyUSB0", "behave", *behaviour)
                self.assertEqual(varnel.get_program_name(1), (0, FIRST_NAME.encode("cp932"), 11))
                self.assertEqual(varnel.get_status(1), (0, 1, 1))

    def test_hang_up_ends_the_exchange_at_once(self):
        self.tree.control("ttyUSB0", "behave", "hangup", "1")  # "O", then the line drops
        with Timer() as t:
            self.assertEqual(varnel.set_channel(1, 3), -5)
        self.assertLess(t.seconds, 5.0)
        self.assertEqual(varnel.set_channel(2, 3), 0)  # the other tuner is untouched

    def test_write_held_back_gives_up_in_bounded_time(self):
        # Output stopped on the line, as a tuner that never raises CTS would hold it.
        held = os.open("/dev/ttyUSB0", os.O_RDWR | os.O_NOCTTY)
        try:
            termios.tcflow(held, termios.TCOOFF)
            with Timer() as t:
                self.assertEqual(varnel.set_channel(1, 3), -5)
                self.assertEqual(varnel.set_power(1, 1), 0)  # whatever the exchange did
            termios.tcflow(held, termios.TCOON)
        finally:
            os.close(held)
        self.assertGreater(t.seconds, 9.0)
        self.assertLess(t.seconds, 15.0)
        self.assertEqual(self.tree.received("ttyUSB0"), b"")
        self.assertEqual(varnel.set_channel(1, 3), 0)

    def test_transcript_when_logfile_exists(self):
        self.assertEqual(varnel.set_channel(1, 3), 0)
        self.assertFalse(os.path.exists("logfile.txt"))
        open("logfile.txt", "wb").write(b"older text that goes\r\n")
        self.tree.control("ttyUSB0", "reply", (b"A\0OK\r").hex())
        before = time.localtime()
        self.assertEqual(varnel.set_channel(1, 3), 0)
        data = open("logfile.txt", "rb").read()
        lines = re.findall(TIMESTAMP + rb"(.*?)\r\n(?=" + TIMESTAMP + rb"|\Z)", data, re.S)
        self.assertEqual(lines, [b"[Resp]:", b"A", b"NULL\r\n", b"O", b"K", b"\r"])
        self.assertTrue(re.fullmatch(rb"(" + TIMESTAMP + rb".*?\r\n)+", data, re.S))
        stamp = time.strftime("%Y/%m/%d %H:", before).encode()
        self.assertTrue(data.startswith(stamp) or before.tm_min == 59, data[:24])

    def test_traces_only_with_varnel_debug(self):
        # os.environ was copied at start-up: the testbed's directory is added by hand.
        quiet = dict(os.environ, UMOCKDEV_DIR=self.tree.testbed.get_root_dir())
        quiet.pop("VARNEL_DEBUG", None)
        self.assertEqual(call_in_child("GetCount", env=quiet), (0, ""))
        loud = dict(quiet, VARNEL_DEBUG="1")
        result, traces = call_in_child("GetCount", env=loud)
        self.assertEqual(result, 0)
        self.assertIn("unknown: Count:2\n", traces)
        self.assertIn("unknown: Port Name:/dev/ttyUSB1\n", traces)


class Sharing(unittest.TestCase):
    def setUp(self):
        self.tree = Tree([usb_tty("ttyUSB0", 0, ports="1"), usb_tty("ttyUSB1", 1, ports="2")],
                         ["ttyUSB0", "ttyUSB1"])

    def tearDown(self):
        self.tree.close()

    def test_second_process_fails_while_the_port_is_held(self):
        self.tree.control("ttyUSB0", "behave", "delay", "3000")
        first = {}
        holder = threading.Thread(target=lambda: first.update(r=varnel.set_channel(1, 1)))
        holder.start()
        time.sleep(0.7)
        # As root (TIOCEXCL does not stop root; the flock does) and as an ordinary user would.
        with Timer() as t:
            self.assertEqual(call_in_child("SetChannel", 1, 2)[0], -5)
            self.assertEqual(call_in_child("SetChannel", 1, 3, prefix=UNPRIVILEGED)[0], -5)
        holder.join()
        self.assertEqual(first["r"], 0)
        self.assertLess(t.seconds, 2.5)
        self.assertEqual(self.tree.received("ttyUSB0"), b"REMOTE 8\r")  # nothing interleaved
        self.tree.control("ttyUSB0", "behave", "normal")
        self.assertEqual(call_in_child("SetChannel", 1, 2)[0], 0)  # free again

    def test_threads_share_the_library_and_leave_nothing_open(self):
        varnel.get_count()  # anything the first call sets up for good, before counting
        before = open_fds()
        deadline = time.monotonic() + 4.0
        failures = []

        def work(n):
            calls = [lambda: varnel.get_status(1) == (0, 1, 1),
                     lambda: varnel.set_channel(2, 1 + n % 12) == 0,
                     lambda: varnel.get_program_name(1)[0] == 0,
                     lambda: varnel.get_count() == (0, 2)]
            i = 0
            while time.monotonic() < deadline:
                if not calls[(n + i) % len(calls)]():
                    failures.append((n, i))
                i += 1

        threads = [threading.Thread(target=work, args=(n,)) for n in range(4)]
        for th in threads:
            th.start()
        for th in threads:
            th.join()
        self.assertEqual(failures, [])
        after = open_fds()
        self.assertEqual(sorted(set(after.items()) - set(before.items())), [])
        for tty in self.tree.sims:
            received = self.tree.received(tty)
            self.assertTrue(received and COMMANDS.fullmatch(received), received[:200])


class Exerciser(unittest.TestCase):
    def test_probe_over_two_tuners_prints_utf8(self):
        sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                        "e2e"))
        import probe_e2e
        tree = Tree([usb_tty("ttyUSB0", 0, ports="1"), usb_tty("ttyUSB1", 1, ports="2")],
                    ["ttyUSB0", "ttyUSB1"])
        try:
            done = subprocess.run([PROBE], capture_output=True, timeout=300)
            want = probe_e2e.HEADER.format(count=2, result=0)
            for i in (1, 2):
                want += probe_e2e.TUNER.format(i=i, name_result=0, name=FIRST_NAME, channel="011")
            self.assertEqual(done.returncode, 0)
            self.assertEqual(done.stdout.decode("utf-8"), want)
            for tty in tree.sims:
                self.assertEqual(tree.received(tty), probe_e2e.commands(1))
        finally:
            tree.close()


def call_main(argv):
    """--call LIBRARY FUNCTION ARGS...: one call, its result on standard output."""
    lib = Varnel(argv[0])
    name, args = argv[1], [int(a) for a in argv[2:]]
    result = {"GetCount": lambda: lib.get_count()[0],
              "SetPower": lambda: lib.set_power(*args),
              "SetChannel": lambda: lib.set_channel(*args)}[name]()
    print(result)


if __name__ == "__main__":
    if sys.argv[1] == "--call":
        call_main(sys.argv[2:])
        sys.exit(0)
    LIBRARY, PROBE = sys.argv[1], sys.argv[2]
    varnel = Varnel(LIBRARY)
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
