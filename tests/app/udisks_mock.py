#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A stand-in for the system's disk manager (UDisks2) on a private bus.

Usage: udisks_mock.py IMAGE [DEVICE]

Starts a bus of its own (any user may connect), owns org.freedesktop.UDisks2
on it, and lists three block devices: /dev/sdz (a removable disk) with its partition
/dev/sdz1, whose OpenDevice hands over a read-only descriptor of IMAGE, and
/dev/sdy (a fixed disk without partitions), whose OpenDevice is refused the way
polkit refuses. An OpenDevice that asks for more than reading, or that forbids
polkit to ask the user, is refused with a reason saying so. Plug() and Unplug()
on the manager's object add and remove /dev/sdx, announcing it as the service
does. DEVICE, when given, is the path listed for sdz1 in place of /dev/sdz1
(a file the test's user may not open). The manager's ResolveDevice finds a
block by its path. Prints "ready ADDRESS" once the name is owned, ADDRESS being
the bus's, to stand in for the system bus; ends, with its bus, on SIGTERM or
when the process that started it is gone.
"""

import os
import signal
import subprocess
import sys
import tempfile

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SERVICE = "org.freedesktop.UDisks2"
ROOT = "/org/freedesktop/UDisks2"
MANAGER = "org.freedesktop.DBus.ObjectManager"
BLOCK = "org.freedesktop.UDisks2.Block"
PARTITION = "org.freedesktop.UDisks2.Partition"
TABLE = "org.freedesktop.UDisks2.PartitionTable"
DRIVE = "org.freedesktop.UDisks2.Drive"
MANAGER_OBJECT = ROOT + "/Manager"
MANAGER_INTERFACE = "org.freedesktop.UDisks2.Manager"
MOCK = "org.velmora.test.UDisksMock"
REFUSAL = "Not authorized to perform operation (the test's polkit says no)"


def device_bytes(path):
    return dbus.ByteArray(path.encode() + b"\0")


def drive_path(name):
    return dbus.ObjectPath(ROOT + "/drives/" + name)


def block_path(name):
    return dbus.ObjectPath(ROOT + "/block_devices/" + name)


def block_properties(name, size, drive):
    return {
        "Device": device_bytes("/dev/" + name),
        "PreferredDevice": device_bytes("/dev/" + name),
        "Size": dbus.UInt64(size),
        "Drive": drive_path(drive),
        "IdLabel": "",
        "IdType": "vfat",
        "ReadOnly": False,
    }


class Block(dbus.service.Object):
    def __init__(self, bus, name, interfaces, image):
        super().__init__(bus, block_path(name))
        self.interfaces = interfaces
        self.image = image

    @dbus.service.method(BLOCK, in_signature="sa{sv}", out_signature="h")
    def OpenDevice(self, mode, options):
        if mode != "r":
            raise dbus.exceptions.DBusException("mode %s: only reading is allowed here" % mode,
                                                name="org.freedesktop.UDisks2.Error.NotAuthorized")
        if options.get("auth.no_user_interaction", True):
            raise dbus.exceptions.DBusException("polkit may not ask the user for a password",
                                                name="org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain")
        if self.image is None:
            raise dbus.exceptions.DBusException(REFUSAL, name="org.freedesktop.UDisks2.Error.NotAuthorized")
        fd = os.open(self.image, os.O_RDONLY)
        try:
            return dbus.types.UnixFd(fd)
        finally:
            os.close(fd)


class Resolver(dbus.service.Object):
    """The manager's own object: finds a block object by its device path."""

    def __init__(self, bus, objects):
        super().__init__(bus, MANAGER_OBJECT)
        self.objects = objects

    @dbus.service.method(MANAGER_INTERFACE, in_signature="a{sv}a{sv}", out_signature="ao")
    def ResolveDevice(self, spec, options):
        wanted = device_bytes(str(spec.get("path", "")))
        return dbus.Array([path for path, (_, interfaces) in self.objects.items()
                           if BLOCK in interfaces and bytes(interfaces[BLOCK]["Device"]) == bytes(wanted)],
                          signature="o")


class Manager(dbus.service.Object):
    def __init__(self, bus, image, device):
        super().__init__(bus, ROOT)
        self.bus = bus
        self.objects = {}
        self.resolver = Resolver(bus, self.objects)
        size = os.path.getsize(image)
        self.add_drive("removable", True)
        self.add_drive("fixed", False)
        sdz = block_properties("sdz", size, "removable")
        self.add_block("sdz", {BLOCK: sdz, TABLE: {"Type": "dos"}}, image)
        sdz1 = block_properties("sdz1", size, "removable")
        if device is not None:
            sdz1["Device"] = device_bytes(device)
        self.add_block("sdz1", {BLOCK: sdz1, PARTITION: {"Table": block_path("sdz"), "Number": dbus.UInt32(1)}}, image)
        self.add_block("sdy", {BLOCK: block_properties("sdy", size, "fixed")}, None)
        self.image = image

    def add_drive(self, name, removable):
        self.objects[drive_path(name)] = (None, {DRIVE: {"MediaRemovable": removable, "Removable": removable}})

    def add_block(self, name, interfaces, image):
        self.objects[block_path(name)] = (Block(self.bus, name, interfaces, image), interfaces)

    @dbus.service.method(MANAGER, out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        return {path: interfaces for path, (_, interfaces) in self.objects.items()}

    @dbus.service.signal(MANAGER, signature="oa{sa{sv}}")
    def InterfacesAdded(self, path, interfaces):
        pass

    @dbus.service.signal(MANAGER, signature="oas")
    def InterfacesRemoved(self, path, interfaces):
        pass

    @dbus.service.method(MOCK)
    def Plug(self):
        interfaces = {BLOCK: block_properties("sdx", os.path.getsize(self.image), "fixed")}
        self.add_block("sdx", interfaces, self.image)
        self.InterfacesAdded(block_path("sdx"), interfaces)

    @dbus.service.method(MOCK)
    def Unplug(self):
        block, interfaces = self.objects.pop(block_path("sdx"))
        block.remove_from_connection()
        self.InterfacesRemoved(block_path("sdx"), list(interfaces))


def start_bus(folder):
    """A bus of its own that any user may reach; returns the daemon and its address."""
    config = open("/usr/share/dbus-1/session.conf").read()
    config = config.replace('<policy context="default">', '<policy context="default"><allow user="*"/>', 1)
    path = os.path.join(folder, "bus.conf")
    with open(path, "w") as f:
        f.write(config)
    daemon = subprocess.Popen(["dbus-daemon", "--config-file=" + path, "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE, text=True)
    return daemon, daemon.stdout.readline().strip()


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    parent = os.getppid()
    with tempfile.TemporaryDirectory() as folder:
        daemon, address = start_bus(folder)
        try:
            dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
            bus = dbus.bus.BusConnection(address)
            manager = Manager(bus, sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else None)
            name = dbus.service.BusName(SERVICE, bus)
            loop = GLib.MainLoop()
            # Ends with whoever started it, even one that crashed.
            GLib.timeout_add(200, lambda: os.getppid() == parent or loop.quit())
            GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
            print("ready " + address, flush=True)
            loop.run()
            del manager, name
        finally:
            daemon.terminate()
            daemon.wait()


if __name__ == "__main__":
    main()
