"""Runs Ampora against a simulated laptop and reads its tray item the way a panel does.

Needs /usr/bin/python3 with gi (UMockdev, Gio), a session bus, a display, and the umockdev
preload (umockdev-wrapper) for the simulated sysfs.
"""
import os
import subprocess
import time

import gi

gi.require_version("UMockdev", "1.0")
from gi.repository import Gio, GLib, UMockdev  # noqa: E402

MAIN_ID = "com.larchmoor.Ampora"
HELPER_ID = "io.quillfen.Ampora-Helper"
ITEM_PATH = "/org/ayatana/NotificationItem/com_larchmoor_Ampora"
ITEM_INTERFACE = "org.kde.StatusNotifierItem"
MENU_INTERFACE = "com.canonical.dbusmenu"

# A laptop on mains power, charging at 850 mA.
CHARGING_BATTERY = {
    "type": "Battery",
    "present": "1",
    "status": "Charging",
    "current_now": "850000",
    "voltage_now": "12100000",
    "charge_now": "3000000",
    "charge_full": "4000000",
    "charge_full_design": "5000000",
    "cycle_count": "321",
    "temp": "301",
    "manufacture_year": "2012",
    "manufacture_month": "11",
    "manufacture_day": "7",
    "serial_number": "AMP-0042  ",
    "capacity": "75",
    "technology": "Li-ion",
}

# What the tray shows for it.
CHARGING_LINES = [
    "Current Usage:", "\t-850 mAh (milliampere-hour)",
    "Current Capacity:", "\t4000 mAh (80.00% of Original)",
    "Original Capacity:", "\t5000 mAh",
    "Number of Charge Cycles:", "\t321",
    "Manufacture Date:", "\t07/11/2012",
    "Temperature:", "\t30.10°C  (86.18 °F)",
    "Current Charge:", "\t3000 (75.00% Charged)",
    "Open at login", "Rate Ampora", "Go To Developer's Website", "Quit",
]


def wait_until(condition, timeout=10.0, what="condition"):
    """Polls condition() until it returns something true; fails after timeout seconds."""
    deadline = time.monotonic() + timeout
    context = GLib.MainContext.default()
    while True:
        # Bus signals we subscribed to arrive through our own main context.
        while context.iteration(False):
            pass
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out waiting for {what}")
        time.sleep(0.05)


def pump(seconds):
    """Lets seconds pass while handling the bus signals we subscribed to."""
    end = time.monotonic() + seconds
    wait_until(lambda: time.monotonic() >= end, seconds + 5.0, "time to pass")


class SimulatedLaptop:
    """Power supplies in a umockdev testbed; every change is announced with a uevent."""

    def __init__(self):
        self.testbed = UMockdev.Testbed.new()
        if not UMockdev.in_mock_environment():
            raise RuntimeError("not under umockdev-wrapper: the simulated sysfs is not visible")
        self.paths = {}

    @property
    def root(self):
        return self.testbed.get_root_dir()

    def plug_in(self, name, attributes, scope=None):
        attrs = []
        for key, value in attributes.items():
            attrs += [key, value]
        props = ["POWER_SUPPLY_NAME", name]
        if scope:
            attrs += ["scope", scope]
        self.paths[name] = self.testbed.add_device("power_supply", name, None, attrs, props)
        return self.paths[name]

    def change(self, name, **attributes):
        path = self.paths[name]
        for key, value in attributes.items():
            self.testbed.set_attribute(path, key, str(value))
        self.testbed.uevent(path, "change")

    def laptop_on_mains(self):
        self.plug_in("AC", {"type": "Mains", "online": "1"})
        self.plug_in("BAT0", CHARGING_BATTERY)

    def unplug_mains(self, current_ua=1234000):
        """The cable comes out: the battery starts discharging, the adapter reports it."""
        path = self.paths["BAT0"]
        self.testbed.set_attribute(path, "status", "Discharging")
        self.testbed.set_attribute(path, "current_now", str(current_ua))
        self.change("AC", online=0)


class SessionBus:
    def __init__(self):
        self.connection = Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def call(self, name, path, interface, method, args=None, reply=None, timeout_ms=5000):
        result = self.connection.call_sync(
            name, path, interface, method, args,
            GLib.VariantType.new(reply) if reply else None,
            Gio.DBusCallFlags.NONE, timeout_ms, None)
        return result.unpack() if result is not None else None

    def bus_call(self, method, args=None, reply=None):
        return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         method, args, reply)

    def names(self):
        return self.bus_call("ListNames", None, "(as)")[0]

    def has_owner(self, name):
        return self.bus_call("NameHasOwner", GLib.Variant("(s)", (name,)), "(b)")[0]

    def pid_of(self, name):
        try:
            return self.bus_call("GetConnectionUnixProcessID", GLib.Variant("(s)", (name,)),
                                 "(u)")[0]
        except GLib.Error:
            return None


class NameHistory:
    """Every owner change of one well-known name, in order: True when taken, False when freed."""

    def __init__(self, bus, name):
        self.changes = []
        bus.connection.signal_subscribe(
            "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
            "/org/freedesktop/DBus", name, Gio.DBusSignalFlags.NONE, self._changed)

    def _changed(self, _connection, _sender, _path, _interface, _member, args):
        _, _, new_owner = args.unpack()
        self.changes.append(bool(new_owner))


class TrayItem:
    """The monitor's StatusNotifierItem and its exported menu, found by the process id."""

    def __init__(self, bus, pid, timeout=10.0):
        self.bus = bus
        self.name = wait_until(lambda: self._find(pid), timeout, "the tray item on the bus")
        self.menu_path = self._property("Menu")

    def _find(self, pid):
        for name in self.bus.names():
            if name.startswith(":") and self.bus.pid_of(name) == pid:
                try:
                    self.bus.call(name, ITEM_PATH, "org.freedesktop.DBus.Properties", "Get",
                                  GLib.Variant("(ss)", (ITEM_INTERFACE, "Id")), "(v)")
                    return name
                except GLib.Error:
                    pass
        return None

    def _property(self, prop):
        return self.bus.call(self.name, ITEM_PATH, "org.freedesktop.DBus.Properties", "Get",
                             GLib.Variant("(ss)", (ITEM_INTERFACE, prop)), "(v)")[0]

    def title(self):
        return self._property("XAyatanaLabel")

    def entries(self):
        """The top-level menu entries as dicts: id, label, enabled, toggle-type, toggle-state."""
        _, (_, _, children) = self.bus.call(
            self.name, self.menu_path, MENU_INTERFACE, "GetLayout",
            GLib.Variant("(iias)", (0, -1, ["label", "enabled", "toggle-type", "toggle-state",
                                            "visible"])),
            "(u(ia{sv}av))")
        entries = []
        for child_id, props, _ in children:
            entry = {"id": child_id}
            entry.update(props)
            if entry.get("visible", True):
                entries.append(entry)
        return entries

    def lines(self):
        return [entry.get("label", "") for entry in self.entries()]

    def entry(self, label):
        for entry in self.entries():
            if entry.get("label") == label:
                return entry
        raise KeyError(label)

    def click(self, label):
        entry_id = self.entry(label)["id"]
        self.bus.call(self.name, self.menu_path, MENU_INTERFACE, "Event",
                      GLib.Variant("(isvu)", (entry_id, "clicked", GLib.Variant("i", 0), 0)))


def monitor_environment(laptop, extra=None, preload_first=None):
    """The environment for a program under test: the testbed's sysfs, no accessibility bus."""
    env = dict(os.environ)
    env["UMOCKDEV_DIR"] = laptop.root
    env["NO_AT_BRIDGE"] = "1"
    if preload_first:
        env["LD_PRELOAD"] = ":".join(p for p in (preload_first, env.get("LD_PRELOAD")) if p)
    env.update(extra or {})
    return env


def start(executable, env):
    return subprocess.Popen([executable], env=env, stdin=subprocess.DEVNULL)


def show(tray, heading):
    print(f"{heading}")
    print(f"  title: {tray.title()}")
    for line in tray.lines():
        print("  | " + line.replace("\t", "    "))


class TitleSignals:
    """Every new title the tray announces on the bus, with the moment it arrived.

    Waits block on our main context until a signal comes in, so a measured delay is the
    monitor's and not a polling interval's.
    """

    def __init__(self, bus, sender=None):
        self.titles = []  # (monotonic seconds, title)
        self._subscription = bus.connection.signal_subscribe(
            sender, ITEM_INTERFACE, "XAyatanaNewLabel", ITEM_PATH, None,
            Gio.DBusSignalFlags.NONE, self._changed)
        self._bus = bus

    def _changed(self, _connection, _sender, _path, _interface, _member, args):
        self.titles.append((time.monotonic(), args.unpack()[0]))

    def close(self):
        self._bus.connection.signal_unsubscribe(self._subscription)

    @property
    def last(self):
        return self.titles[-1][1] if self.titles else None

    def wait_for(self, title, timeout=10.0):
        """Blocks until title is the latest announced one; returns when it arrived."""
        context = GLib.MainContext.default()
        timer = GLib.timeout_source_new(int(timeout * 1000))
        timer.set_callback(lambda *_: False)
        timer.attach(context)
        try:
            while self.last != title:
                if timer.is_destroyed():
                    raise TimeoutError(f"timed out waiting for the title {title!r}"
                                       f" (last: {self.last!r})")
                context.iteration(True)
        finally:
            timer.destroy()
        return self.titles[-1][0]
