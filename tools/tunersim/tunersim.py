#!/usr/bin/env python3
"""Simulated serial TV tuner on a Linux pseudo-terminal.

The host program talks to the slave side of a pty (usually through a wine
COM-port symlink); a TCP control channel on 127.0.0.1 lets tests inspect
and steer the tuner.  Standard library only.

    tunersim.py --link ~/.wine/dosdevices/com5 --control-port 0 \
                [--ready-file F] [--record F]

Prints "READY <port> <slave-path>" on stdout once it is serving.  --record
appends every byte received from the host to a file, as it arrives, so that
a test can read what the tuner was sent after the simulator has gone.

A test driver can also serve the master side of a pseudo-terminal it already
holds (a device node mocked by umockdev, say) in its own process:

    sim = Simulator(None, 0, None, master_fd=fd); sim.start(); ...; sim.close()

Reads on such a master fail with EIO until the host opens its side; they are
retried.  "hangup" and "vanish" then close that master for good.
"""

import argparse
import collections
import copy
import errno
import fcntl
import os
import select
import signal
import socket
import struct
import sys
import termios
import threading
import time
import tty

CR = b"\r"
OK = b"OK\r"
NG_REPLY = b"NG\r\nOK\r"

# Key codes accepted by REMOTE.
KEY_BUTTON_FIRST = 8      # 8..19 = button 1..12
KEY_BUTTON_LAST = 19
KEY_CH_UP = 23
KEY_CH_DOWN = 26
KEY_NET_DTT = 5
KEY_NET_BS = 2

BUTTONS = 12


def _table(entries):
    return [(ch, name.encode("cp932")) for ch, name in entries]


# (channel, programme name) per button, one table per network.
# DTT button 1 deliberately holds double-byte characters whose second byte
# is 0x5C (表 = 95 5C, ソ = 83 5C) to catch hosts that treat it as '\'.
DEFAULT_CHANNELS = {
    "DTT": _table([
        ("011", "表彰式ソング特集"),
        ("021", "ニュース7"),
        ("031", "きょうの料理"),
        ("041", "天気予報"),
        ("051", "ドラマ「海の街」"),
        ("061", "朝の情報ワイド"),
        ("071", "サッカー中継"),
        ("081", "アニメ劇場"),
        ("091", "映画の時間"),
        ("101", "歌謡ショー"),
        ("111", "旅番組 ふるさと紀行"),
        ("121", "深夜のニュース"),
    ]),
    "BS": _table([
        ("101", "BSニュース"),
        ("103", "世界の車窓"),
        ("141", "BS時代劇"),
        ("151", "ドキュメント 地球"),
        ("161", "ゴルフ中継"),
        ("171", "韓流ドラマ"),
        ("181", "BS映画劇場"),
        ("191", "大相撲中継"),
        ("193", "音楽ライブ"),
        ("200", "ショッピング"),
        ("211", "囲碁・将棋"),
        ("222", "BS能楽堂"),
    ]),
}

DEFAULT_BER = 12

SPEEDS = {
    getattr(termios, "B%d" % b): b
    for b in (0, 50, 75, 110, 134, 150, 200, 300, 600, 1200, 1800, 2400,
              4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800,
              500000, 576000, 921600, 1000000, 1152000, 1500000, 2000000,
              2500000, 3000000, 3500000, 4000000)
    if hasattr(termios, "B%d" % b)
}
CRTSCTS = getattr(termios, "CRTSCTS", 0x80000000)
TIOCEXCL = getattr(termios, "TIOCEXCL", 0x540C)
TIOCNXCL = getattr(termios, "TIOCNXCL", 0x540D)
CSIZES = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}


def now_us():
    """Microseconds of the system-wide monotonic clock, the same in every simulator."""
    return time.monotonic_ns() // 1000


class Tuner:
    """Tuner state plus the logic that turns a command into a reply."""

    def __init__(self):
        self.reset()

    def reset(self):
        self.power = True
        self.network = "DTT"
        self.buttons = {"DTT": 1, "BS": 1}   # last button per network
        self.ber = DEFAULT_BER
        self.channels = copy.deepcopy(DEFAULT_CHANNELS)

    @property
    def button(self):
        return self.buttons[self.network]

    def current(self):
        return self.channels[self.network][self.button - 1]

    def set_button(self, n):
        self.buttons[self.network] = n

    def set_program(self, name):
        ch, _ = self.current()
        self.channels[self.network][self.button - 1] = (ch, name)

    def state_line(self):
        return "power=%s network=%s button=%d channel=%s ber=%d" % (
            "on" if self.power else "off", self.network, self.button,
            self.current()[0], self.ber)

    def status(self):
        if not self.power:
            return b"POWER:off\r\n" + OK
        ch, name = self.current()
        return (b"POWER:on\r\n"
                b"NETWORK:" + self.network.encode() + b"\r\n"
                b"CHANNEL:" + ch.encode() + b"\r\n"
                b"PROGRAM:" + name + b"\r\n"
                b"screen=1920x1080\r\n"
                b"BitErrorRate=2.0E-05 (" + str(self.ber).encode() + b")\r\n"
                + OK)

    def press(self, key):
        # Keys act whatever the power state; unknown keys are accepted and
        # do nothing.
        if KEY_BUTTON_FIRST <= key <= KEY_BUTTON_LAST:
            self.set_button(key - KEY_BUTTON_FIRST + 1)
        elif key == KEY_CH_UP:
            self.set_button(self.button % BUTTONS + 1)
        elif key == KEY_CH_DOWN:
            self.set_button((self.button - 2) % BUTTONS + 1)
        elif key == KEY_NET_DTT:
            self.network = "DTT"
        elif key == KEY_NET_BS:
            self.network = "BS"

    def handle(self, line):
        """Apply one command (without CR) and return the normal reply."""
        words = line.split(b" ")
        if line == b"GETSTAT":
            return self.status()
        if len(words) == 2 and words[0] == b"SETPOWER" \
                and words[1] in (b"on", b"off"):
            self.power = words[1] == b"on"
            return OK
        if len(words) == 2 and words[0] == b"REMOTE" and words[1].isdigit():
            self.press(int(words[1]))
            return OK
        return NG_REPLY


class Simulator:
    def __init__(self, link, control_port, ready_file, record=None, master_fd=None):
        self.link = link
        self.given_master = master_fd
        self.record = open(record, "ab", buffering=0) if record else None
        self.ready_file = ready_file
        self.lock = threading.RLock()
        self.stop = threading.Event()
        self.tuner = Tuner()
        self.received = bytearray()
        self.ncommands = 0
        self.exchanges = []        # (first byte in, last reply write began), microseconds
        self.line_start = None
        self.write_began = None
        self.replies = collections.deque()
        self.mode = ("normal",)
        self.master = self.slave = -1
        self.slave_path = None
        self.generation = 0
        self.open_pty()

        self.server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.server.bind(("127.0.0.1", control_port))
        self.server.listen(8)
        self.server.settimeout(0.2)
        self.port = self.server.getsockname()[1]

    # ---- pty --------------------------------------------------------------

    def open_pty(self):
        if self.given_master is not None:
            # Served once: the line's settings are the host's, read through the master.
            master, self.given_master = self.given_master, -1
            if master < 0:
                return
            fl = fcntl.fcntl(master, fcntl.F_GETFL)
            fcntl.fcntl(master, fcntl.F_SETFL, fl | os.O_NONBLOCK)
            self.master, self.slave = master, -1
            self.generation += 1
            self.slave_path = self.link
            return
        master, slave = os.openpty()
        tty.setraw(slave)
        # Non-blocking master so a host that never reads can't wedge us.
        fl = fcntl.fcntl(master, fcntl.F_GETFL)
        fcntl.fcntl(master, fcntl.F_SETFL, fl | os.O_NONBLOCK)
        self.master, self.slave = master, slave
        self.generation += 1   # fd numbers get reused, so count ptys
        self.slave_path = os.ttyname(slave)
        if self.link:
            tmp = "%s.tmp%d" % (self.link, os.getpid())
            if os.path.lexists(tmp):
                os.unlink(tmp)
            os.symlink(self.slave_path, tmp)
            os.replace(tmp, self.link)

    def vanish(self):
        """The port goes away: the link and the pty are removed until "appear"."""
        with self.lock:
            if self.link and self.given_master is None and os.path.lexists(self.link):
                os.unlink(self.link)
            self.close_pty()
        self.partial = bytearray()

    def appear(self):
        with self.lock:
            if self.master < 0:
                self.open_pty()
                self.mode = ("normal",)

    def close_pty(self):
        for fd in (self.master, self.slave):
            if fd >= 0:
                os.close(fd)
        self.master = self.slave = -1

    def hang_up(self):
        # Give the host a moment to pick up what was already written: the
        # kernel flushes the slave's input queue when the master goes away.
        deadline = time.monotonic() + 1.0
        self.stop.wait(0.05)
        while time.monotonic() < deadline and self.slave_pending() > 0:
            self.stop.wait(0.02)
        if self.given_master is not None:   # a served master: it goes for good
            with self.lock:
                self.close_pty()
            self.partial = bytearray()
            return
        # Open the new pty and repoint the link before dropping the old one,
        # so a host that retries as soon as it sees the hang-up finds it.
        with self.lock:
            old = (self.master, self.slave)
            self.open_pty()
            for fd in old:
                os.close(fd)
            self.mode = ("normal",)
        self.partial = bytearray()

    def slave_pending(self):
        if self.slave < 0:
            return 0
        try:
            buf = fcntl.ioctl(self.slave, termios.TIOCINQ, b"\0\0\0\0")
            return struct.unpack("i", buf)[0]
        except OSError:
            return 0

    def write_all(self, data):
        """Write to the master, giving up after 2 s without progress."""
        # The host cannot have the bytes before they are written: an exchange ends, at the
        # earliest, when its last write began (taken here, not after a write that a busy machine
        # may finish late, so that a serialised host never seems to overlap its exchanges).
        self.write_began = now_us()
        while data:
            try:
                n = os.write(self.master, data)
                data = data[n:]
            except BlockingIOError:
                r, w, _ = select.select([], [self.master], [], 2.0)
                if not w:
                    return
            except OSError:
                return

    def send(self, reply, mode):
        kind = mode[0]
        if kind == "silent":
            return
        if kind == "delay":
            self.stop.wait(mode[1] / 1000.0)
            self.write_all(reply)
        elif kind == "nul":
            self.write_all(b"".join(bytes((b, 0)) for b in reply))
        elif kind == "split":
            size, pause = mode[1], mode[2] / 1000.0
            for i in range(0, len(reply), size):
                if i:
                    self.stop.wait(pause)
                self.write_all(reply[i:i + size])
        elif kind == "hangup":
            self.write_all(reply[:mode[1]])
            self.hang_up()
        else:
            self.write_all(reply)

    def command(self, line):
        # State changes happen in every mode; a queued reply only replaces
        # the bytes sent back, and stays queued while silent.
        with self.lock:
            self.ncommands += 1
            reply = self.tuner.handle(line)
            mode = self.mode
            if self.replies and mode[0] != "silent":
                reply = self.replies.popleft()
        self.write_began = None
        self.send(reply, mode)
        with self.lock:
            end = self.write_began if self.write_began is not None else now_us()
            start, self.line_start = self.line_start, None
            self.exchanges.append((end if start is None else start, end))

    def serve_pty(self):
        self.partial = bytearray()
        while not self.stop.is_set():
            with self.lock:
                master = self.master
            if master < 0:             # vanished
                self.stop.wait(0.05)
                continue
            try:
                r, _, _ = select.select([master], [], [], 0.2)
            except (OSError, ValueError):
                continue               # closed under us by a hang-up or vanish
            if not r:
                continue
            with self.lock:
                if self.master != master:
                    continue
                try:
                    data = os.read(master, 4096)
                except (BlockingIOError, InterruptedError):
                    continue
                except OSError as e:
                    if e.errno == errno.EIO:   # no slave open; can't happen
                        time.sleep(0.05)       # while we hold one, but be safe
                        continue
                    raise
                self.received += data
                arrived = now_us()
                if self.record:
                    self.record.write(data)
            generation = self.generation
            for b in data:
                if b == 0x0D:
                    line, self.partial = bytes(self.partial), bytearray()
                    self.command(line)
                    if self.generation != generation:
                        break      # hung up: the rest belonged to the old line
                elif b not in (0x00, 0x0A):
                    if self.line_start is None:
                        self.line_start = arrived
                    self.partial.append(b)

    # ---- control channel --------------------------------------------------

    def serve_control(self):
        while not self.stop.is_set():
            try:
                conn, _ = self.server.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            threading.Thread(target=self.control_client, args=(conn,),
                             daemon=True).start()

    def control_client(self, conn):
        with conn, conn.makefile("rwb") as f:
            for raw in f:
                line = raw.decode("ascii", "replace").strip()
                if not line:
                    continue
                try:
                    answer = self.control(line.split())
                except (ValueError, IndexError) as e:
                    answer = "error bad argument: %s" % e
                f.write(answer.encode() + b"\n")
                f.flush()
                if self.stop.is_set():
                    return

    def control(self, words):
        cmd, args = words[0], words[1:]
        with self.lock:
            t = self.tuner
            if cmd == "reset":
                t.reset()
                self.mode = ("normal",)
                self.received = bytearray()
                self.ncommands = 0
                self.exchanges = []
                self.replies.clear()
                if self.slave >= 0:
                    fcntl.ioctl(self.slave, TIOCNXCL)
            elif cmd == "clear":
                self.received = bytearray()
                self.ncommands = 0
                self.exchanges = []
            elif cmd == "received":
                return "ok " + self.received.hex()
            elif cmd == "commands":
                return "ok %d" % self.ncommands
            elif cmd == "state":
                return "ok " + t.state_line()
            elif cmd == "set":
                return self.control_set(args)
            elif cmd == "termios":
                return "ok " + self.line_settings()
            elif cmd == "behave":
                return self.control_behave(args)
            elif cmd == "reply":
                self.replies.append(bytes.fromhex(args[0]) if args else b"")
            elif cmd == "exchanges":
                return "ok" + "".join(" %d,%d" % e for e in self.exchanges)
            elif cmd == "exclusive" and args and args[0] in ("on", "off"):
                # Holds the port exclusively (TIOCEXCL): nobody else can open it, bar a
                # process with CAP_SYS_ADMIN.
                fcntl.ioctl(self.slave, TIOCEXCL if args[0] == "on" else TIOCNXCL)
            elif cmd == "vanish":
                self.vanish()
            elif cmd == "appear":
                self.appear()
            elif cmd == "quit":
                self.stop.set()
            else:
                return "error unknown command %s" % cmd
        return "ok"

    def control_set(self, args):
        t = self.tuner
        what, value = args[0], args[1] if len(args) > 1 else ""
        if what == "power" and value in ("on", "off"):
            t.power = value == "on"
        elif what == "ber" and value.isdigit():
            t.ber = int(value)
        elif what == "program":
            t.set_program(bytes.fromhex(value))
        elif what == "network" and value in t.channels:
            t.network = value
        elif what == "button" and value.isdigit() \
                and 1 <= int(value) <= BUTTONS:
            t.set_button(int(value))
        else:
            return "error bad set: %s" % " ".join(args)
        return "ok"

    def control_behave(self, args):
        kind, nums = args[0], [int(a) for a in args[1:]]
        want = {"normal": 0, "silent": 0, "nul": 0, "delay": 1,
                "split": 2, "hangup": 1}
        if kind not in want or len(nums) != want[kind] \
                or any(n < 0 for n in nums) or (kind == "split" and nums[0] < 1):
            return "error bad behave: %s" % " ".join(args)
        self.mode = (kind,) + tuple(nums)
        return "ok"

    def line_settings(self):
        # Through the master when only that side is held: it reads the slave's settings.
        iflag, oflag, cflag, lflag, ispeed, ospeed, cc = \
            termios.tcgetattr(self.slave if self.slave >= 0 else self.master)
        if not cflag & termios.PARENB:
            parity = "none"
        elif cflag & termios.PARODD:
            parity = "odd"
        else:
            parity = "even"
        return "speed=%d csize=%d parity=%s stopbits=%d crtscts=%d" % (
            SPEEDS.get(ospeed, 0), CSIZES[cflag & termios.CSIZE], parity,
            2 if cflag & termios.CSTOPB else 1, 1 if cflag & CRTSCTS else 0)

    # ---- run --------------------------------------------------------------

    def announce(self):
        line = "READY %d %s\n" % (self.port, self.slave_path)
        if self.ready_file:
            tmp = self.ready_file + ".tmp"
            with open(tmp, "w") as f:
                f.write(line)
            os.replace(tmp, self.ready_file)
        sys.stdout.write(line)
        sys.stdout.flush()

    def start(self):
        """Serves the pty and the control channel on threads of this process."""
        self.threads = [threading.Thread(target=self.serve_pty, daemon=True),
                        threading.Thread(target=self.serve_control, daemon=True)]
        for th in self.threads:
            th.start()

    def close(self):
        """Stops serving and lets go of the pty and the control port."""
        self.stop.set()
        for th in self.threads:
            th.join(2.0)
        self.server.close()
        with self.lock:
            self.close_pty()

    def run(self):
        self.start()
        self.announce()
        while not self.stop.wait(0.2):
            pass
        with self.lock:
            if self.link and os.path.islink(self.link) \
                    and os.readlink(self.link) == self.slave_path:
                os.unlink(self.link)
        self.close()


def main(argv=None):
    p = argparse.ArgumentParser(description="Simulated serial TV tuner.")
    p.add_argument("--link", help="symlink to point at the pty slave")
    p.add_argument("--control-port", type=int, default=0,
                   help="TCP control port on 127.0.0.1 (0 = any free)")
    p.add_argument("--ready-file", help="also write the READY line here")
    p.add_argument("--record", help="append every byte received to this file")
    opts = p.parse_args(argv)

    sim = Simulator(opts.link, opts.control_port, opts.ready_file, opts.record)
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: sim.stop.set())
    sim.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
