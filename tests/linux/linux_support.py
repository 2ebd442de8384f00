"""Simulated tuners on a device tree mocked by umockdev, for the Linux tests of libvarnel.so.

Runs inside `umockdev-wrapper`: the preload shows this process and its children the testbed's /sys
and /dev. Each tuner is a USB device with an interface, a usb-serial port and a tty; the tty's
/dev node is a pseudo-terminal whose master side a tunersim Simulator serves on threads of this
process.
"""
import ctypes
import os
import sys
import time

import gi

gi.require_version("UMockdev", "1.0")
from gi.repository import UMockdev  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "tunersim"))
import tunersim  # noqa: E402

PCI = "/devices/pci0000:00/0000:00:14.0"

# Testbeds stay alive until the process ends: a finalised one would close its pty fds, whose
# numbers may by then belong to a later testbed. The newest testbed is the one the preload shows.
_testbeds = []


def usb_tty(tty, minor, vendor="fedc", product="ba98", bus=1, ports="2", interface=0):
    """The umockdev description of a tty below a USB device: device, interface, usb-serial port,
    tty, and the parents down to the PCI controller."""
    device = "%s/usb%d/%d-%s" % (PCI, bus, bus, ports)
    intf = "%s/%d-%s:1.%d" % (device, bus, ports, interface)
    return [
        "P: /devices/pci0000:00\nE: SUBSYSTEM=pci\n",
        "P: %s\nE: SUBSYSTEM=pci\n" % PCI,
        "P: %s/usb%d\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" % (PCI, bus),
        "P: %s\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=%s\nA: idProduct=%s\n"
        % (device, vendor, product),
        "P: %s\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=%02d\n"
        % (intf, interface),
        "P: %s/%s\nE: SUBSYSTEM=usb-serial\n" % (intf, tty),
        "P: %s/%s/tty/%s\nN: %s\nE: SUBSYSTEM=tty\nA: dev=188:%d\n" % (intf, tty, tty, tty, minor),
    ]


def plain_tty(tty, minor):
    """A tty with no USB device above it (a built-in serial port)."""
    return ["P: /devices/platform/serial8250/tty/%s\nN: %s\nE: SUBSYSTEM=tty\nA: dev=4:%d\n"
            % (tty, tty, 64 + minor)]


class Tree:
    """One testbed: `devices` are lists of description blocks (usb_tty, plain_tty); `tuners` the
    names of the ttys a simulator serves."""

    def __init__(self, devices=(), tuners=()):
        self.testbed = UMockdev.Testbed.new()
        _testbeds.append(self.testbed)
        seen, blocks = set(), []
        for device in devices:
            for block in device:
                if block not in seen:
                    seen.add(block)
                    blocks.append(block)
        if blocks and not self.testbed.add_from_string("\n".join(blocks)):
            raise RuntimeError("umockdev refused the device tree")
        self.sims = {}
        for tty in tuners:
            fd = self.testbed.get_dev_fd("/dev/" + tty)
            if fd < 0:
                raise RuntimeError("no pseudo-terminal behind /dev/" + tty)
            sim = tunersim.Simulator("/dev/" + tty, 0, None, master_fd=fd)
            sim.start()
            self.sims[tty] = sim

    def received(self, tty):
        with self.sims[tty].lock:
            return bytes(self.sims[tty].received)

    def control(self, tty, *words):
        answer = self.sims[tty].control(list(words))
        if not answer.startswith("ok"):
            raise RuntimeError("simulator: " + answer)
        return answer

    def close(self):
        for sim in self.sims.values():
            sim.stop.set()
        for sim in self.sims.values():
            for th in sim.threads:
                th.join(2.0)
            sim.server.close()


class Varnel:
    """The five functions of the shipped library, through ctypes (the GIL is let go during calls,
    so the simulators go on serving)."""

    def __init__(self, path):
        self.lib = ctypes.CDLL(path)

    def get_count(self):
        count = ctypes.c_int(-1)
        return self.lib.VARNEL_GetCount(ctypes.byref(count)), count.value

    def set_power(self, index, on):
        return self.lib.VARNEL_SetPower(index, on)

    def set_channel(self, index, selector):
        return self.lib.VARNEL_SetChannel(index, selector)

    def get_program_name(self, index, size=128):
        name = ctypes.create_string_buffer(b"untouched", 1024)
        capacity = ctypes.c_int(size)
        channel = ctypes.c_int(-1)
        result = self.lib.VARNEL_GetProgramName(index, name, ctypes.byref(capacity),
                                                ctypes.byref(channel))
        return result, name.value, channel.value

    def get_status(self, index, with_power=True):
        power = ctypes.c_int(-1)
        lock = ctypes.c_int(-1)
        result = self.lib.VARNEL_GetStatus(index, ctypes.byref(power) if with_power else None,
                                           ctypes.byref(lock))
        return result, power.value, lock.value


def open_fds():
    """The descriptors open in this process, by target."""
    fds = {}
    for fd in os.listdir("/proc/self/fd"):
        try:
            fds[int(fd)] = os.readlink("/proc/self/fd/" + fd)
        except OSError:
            pass  # the descriptor of the listing itself
    return fds


class Timer:
    def __enter__(self):
        self.start = time.monotonic()
        return self

    def __exit__(self, *exc):
        self.seconds = time.monotonic() - self.start
