#!/usr/bin/python3
"""A stand-in for the UDisks2 service on a private bus, driven by the tests.

The control object /control (interface org.vorlune.test.FakeUDisks) adds and removes
volumes, mounts them as the desktop would, and says whether Mount is refused. Every
Mount, Unmount and Eject is recorded and can be read with Events().
"""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

ROOT = "/org/freedesktop/UDisks2"
OM = "org.freedesktop.DBus.ObjectManager"
PROPS = "org.freedesktop.DBus.Properties"
BLOCK = "org.freedesktop.UDisks2.Block"
FS = "org.freedesktop.UDisks2.Filesystem"
DRIVE = "org.freedesktop.UDisks2.Drive"
CONTROL = "org.vorlune.test.FakeUDisks"
NOT_AUTHORIZED = "org.freedesktop.UDisks2.Error.NotAuthorized"

events = []


class Refused(dbus.exceptions.DBusException):
    def __init__(self, name, message):
        super().__init__(message, name=name)


def mount_points(folder):
    if not folder:
        return dbus.Array([], signature="ay")
    return dbus.Array([dbus.ByteArray(folder.encode() + b"\0")], signature="ay")


class Drive(dbus.service.Object):
    def __init__(self, bus, name, kind, size):
        self.path = ROOT + "/drives/" + name
        self.name = name
        self.kind = kind
        self.size = size
        super().__init__(bus, self.path)

    def props(self):
        optical = self.kind == "optical"
        return {
            "Removable": dbus.Boolean(self.kind != "fixed"),
            "MediaRemovable": dbus.Boolean(optical),
            "Ejectable": dbus.Boolean(self.kind != "fixed"),
            "Optical": dbus.Boolean(optical),
            "Media": dbus.String("optical_dvd" if optical else ""),
            "MediaCompatibility": dbus.Array(["optical_cd", "optical_dvd"] if optical else [],
                                             signature="s"),
            "ConnectionBus": dbus.String("usb" if self.kind == "usb" else ""),
            "Size": dbus.UInt64(self.size),
        }

    def interfaces(self):
        return {DRIVE: self.props()}

    @dbus.service.method(DRIVE, in_signature="a{sv}", out_signature="")
    def Eject(self, options):
        events.append("eject " + self.name)
        for v in list(volumes.values()):
            if v.drive is self and v.mounted:
                raise Refused("org.freedesktop.UDisks2.Error.DeviceBusy",
                              "Gerät %s ist eingehängt" % v.name)
        for v in list(volumes.values()):
            if v.drive is self:
                manager.remove(v.name)

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.props()[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.props() if interface == DRIVE else {}


class Volume(dbus.service.Object):
    def __init__(self, bus, name, label, size, drive, folder):
        self.path = ROOT + "/block_devices/" + name
        self.name = name
        self.label = label
        self.size = size
        self.drive = drive
        self.folder = folder  # the mount point Mount answers with
        self.mounted = False
        self.refusal = ""
        super().__init__(bus, self.path)

    def block_props(self):
        return {
            "Device": dbus.ByteArray(("/dev/" + self.name).encode() + b"\0"),
            "IdLabel": dbus.String(self.label),
            "IdUsage": dbus.String("filesystem"),
            "IdType": dbus.String("vfat"),
            "Size": dbus.UInt64(self.size),
            "Drive": dbus.ObjectPath(self.drive.path),
            "HintIgnore": dbus.Boolean(False),
            "HintSystem": dbus.Boolean(self.drive.kind == "fixed"),
        }

    def fs_props(self):
        return {"MountPoints": mount_points(self.folder if self.mounted else "")}

    def interfaces(self):
        return {BLOCK: self.block_props(), FS: self.fs_props()}

    def set_mounted(self, on):
        self.mounted = on
        self.PropertiesChanged(FS, self.fs_props(), dbus.Array([], signature="s"))

    @dbus.service.method(FS, in_signature="a{sv}", out_signature="s")
    def Mount(self, options):
        events.append("mount " + self.name)
        if self.refusal:
            raise Refused(NOT_AUTHORIZED, self.refusal)
        if self.mounted:
            raise Refused("org.freedesktop.UDisks2.Error.AlreadyMounted",
                          "Gerät %s ist bereits eingehängt" % self.name)
        self.set_mounted(True)
        return self.folder

    @dbus.service.method(FS, in_signature="a{sv}", out_signature="")
    def Unmount(self, options):
        events.append("unmount " + self.name)
        if not self.mounted:
            raise Refused("org.freedesktop.UDisks2.Error.NotMounted", "nicht eingehängt")
        self.set_mounted(False)

    @dbus.service.signal(PROPS, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.interfaces().get(interface, {})


volumes = {}
drives = {}


class Manager(dbus.service.Object):
    def __init__(self, bus):
        self.bus = bus
        super().__init__(bus, ROOT)

    @dbus.service.method(OM, in_signature="", out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        out = {}
        for d in drives.values():
            out[dbus.ObjectPath(d.path)] = d.interfaces()
        for v in volumes.values():
            out[dbus.ObjectPath(v.path)] = v.interfaces()
        return out

    @dbus.service.signal(OM, signature="oa{sa{sv}}")
    def InterfacesAdded(self, path, interfaces):
        pass

    @dbus.service.signal(OM, signature="oas")
    def InterfacesRemoved(self, path, interfaces):
        pass

    def remove(self, name):
        v = volumes.pop(name, None)
        if not v:
            return
        self.InterfacesRemoved(dbus.ObjectPath(v.path), [BLOCK, FS])
        v.remove_from_connection()
        d = v.drive
        if not any(o.drive is d for o in volumes.values()):
            drives.pop(d.name, None)
            self.InterfacesRemoved(dbus.ObjectPath(d.path), [DRIVE])
            d.remove_from_connection()


class Control(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/control")

    @dbus.service.method(CONTROL, in_signature="ssssts", out_signature="")
    def AddVolume(self, name, drive_name, kind, label, size, folder):
        """kind: usb, optical or fixed; folder: the mount point Mount answers with."""
        d = drives.get(drive_name)
        if d is None:
            d = Drive(manager.bus, drive_name, kind, size)
            drives[drive_name] = d
            manager.InterfacesAdded(dbus.ObjectPath(d.path), d.interfaces())
        v = Volume(manager.bus, name, label, size, d, folder)
        volumes[name] = v
        manager.InterfacesAdded(dbus.ObjectPath(v.path), v.interfaces())

    @dbus.service.method(CONTROL, in_signature="s", out_signature="")
    def RemoveVolume(self, name):
        manager.remove(name)

    @dbus.service.method(CONTROL, in_signature="sb", out_signature="")
    def SetMounted(self, name, on):
        """The desktop mounts or unmounts a volume."""
        volumes[name].set_mounted(on)

    @dbus.service.method(CONTROL, in_signature="ss", out_signature="")
    def RefuseMount(self, name, message):
        volumes[name].refusal = message

    @dbus.service.method(CONTROL, in_signature="", out_signature="as")
    def Events(self):
        return events

    @dbus.service.method(CONTROL, in_signature="", out_signature="")
    def Reset(self):
        for name in list(volumes):
            manager.remove(name)
        events.clear()


DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(sys.argv[1])
manager = Manager(bus)
control = Control(bus)
bus.request_name("org.freedesktop.UDisks2")
print("READY", flush=True)
GLib.MainLoop().run()
