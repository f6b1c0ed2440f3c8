# Runs Ampora against a simulated laptop and reads its tray item the way a panel does: what
# run-ampora shows on a machine without a battery or a display, and what the tests drive.
#
# Needs /usr/bin/python3 with gi (UMockdev, Gio), a session bus, a display, and the umockdev
# preload (umockdev-wrapper) for the simulated sysfs.
import os
import time

import gi

gi.require_version("UMockdev", "1.0")
from gi.repository import Gio, GLib, UMockdev  # noqa: E402

ITEM_PATH = "/StatusNotifierItem"
ITEM_INTERFACE = "org.kde.StatusNotifierItem"
MENU_INTERFACE = "com.canonical.dbusmenu"
# Sanitizer builds need their runtime ahead of umockdev's preload in every program we start.
PRELOAD_FIRST = os.environ.get("AMPORA_PRELOAD_FIRST") or None

# A laptop on mains power, charging at 850 mA.
CHARGING_BATTERY = {
    "type": "Battery", "present": "1", "status": "Charging", "current_now": "850000",
    "voltage_now": "12100000", "charge_now": "3000000", "charge_full": "4000000",
    "charge_full_design": "5000000", "cycle_count": "321", "temp": "301",
    "manufacture_year": "2012", "manufacture_month": "11", "manufacture_day": "7",
    "serial_number": "AMP-0042  ", "capacity": "75", "technology": "Li-ion",
}

# Polls condition() every 20 ms and whenever bus traffic we take part in comes in; fails after
# timeout seconds.
def wait_until(condition, timeout=10.0, what="condition"):
    deadline = time.monotonic() + timeout
    tick = GLib.timeout_add(20, lambda: True)
    try:
        while not (value := condition()):
            if time.monotonic() > deadline:
                raise TimeoutError(f"timed out waiting for {what}")
            GLib.MainContext.default().iteration(True)
        return value
    finally:
        GLib.source_remove(tick)


def pump(seconds):
    end = time.monotonic() + seconds
    wait_until(lambda: time.monotonic() >= end, seconds + 5.0, "time to pass")


# Power supplies in a umockdev testbed; every change is announced with a uevent.
class SimulatedLaptop:
    def __init__(self):
        self.testbed = UMockdev.Testbed.new()
        if not UMockdev.in_mock_environment():
            raise RuntimeError("not under umockdev-wrapper: the simulated sysfs is not visible")
        self.paths = {}
        self.root = self.testbed.get_root_dir()

    def plug_in(self, name, attributes, scope=None):
        attrs = [x for pair in attributes.items() for x in pair] + ["scope", scope] * bool(scope)
        self.paths[name] = self.testbed.add_device("power_supply", name, None, attrs,
                                                   ["POWER_SUPPLY_NAME", name])

    def set(self, name, **attributes):
        for key, value in attributes.items():
            self.testbed.set_attribute(self.paths[name], key, str(value))

    def change(self, name, **attributes):
        self.set(name, **attributes)
        self.testbed.uevent(self.paths[name], "change")

    def take_out(self, name):
        self.testbed.uevent(self.paths[name], "remove")
        self.testbed.remove_device(self.paths.pop(name))

    def laptop_on_mains(self):
        self.plug_in("AC", {"type": "Mains", "online": "1"})
        self.plug_in("BAT0", CHARGING_BATTERY)

    def unplug_mains(self, current_ua=1234000):
        self.set("BAT0", status="Discharging", current_now=current_ua)
        self.change("AC", online=0)


# A program's environment: the testbed's sysfs, no accessibility bus, our preloads.
def environment(laptop, **extra):
    env = dict(os.environ, UMOCKDEV_DIR=laptop.root, NO_AT_BRIDGE="1", **extra)
    if PRELOAD_FIRST:
        env["LD_PRELOAD"] = ":".join(filter(None, (PRELOAD_FIRST, env.get("LD_PRELOAD"))))
    return env


class SessionBus:
    def __init__(self, connection=None):
        self.connection = connection or Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def call(self, name, path, interface, method, args=None, reply=None):
        result = self.connection.call_sync(name, path, interface, method, args,
                                           reply and GLib.VariantType.new(reply),
                                           Gio.DBusCallFlags.NONE, 5000, None)
        return result and result.unpack()

    def bus_call(self, method, signature="", *args, reply=None):
        return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         method, GLib.Variant(f"({signature})", args), reply)[0]

    def has_owner(self, name):
        return self.bus_call("NameHasOwner", "s", name, reply="(b)")

    def pid_of(self, name):
        try:
            return self.bus_call("GetConnectionUnixProcessID", "s", name, reply="(u)")
        except GLib.Error:
            return None

    def own(self, name):  # without queueing
        return self.bus_call("RequestName", "su", name, 4, reply="(u)")


# The monitor's StatusNotifierItem and its exported menu, found by the process id; the titles it
# announces, and how many signals it sent.
class TrayItem:
    def __init__(self, bus, pid, timeout=10.0):
        self.bus, self.titles, self.signals = bus, [], 0
        self.name = wait_until(lambda: next((n for n in bus.bus_call("ListNames", reply="(as)")
                                             if n[0] == ":" and bus.pid_of(n) == pid), None),
                               timeout, "the tray item on the bus")
        bus.connection.signal_subscribe(self.name, None, None, None, None,
                                        Gio.DBusSignalFlags.NONE, self._signal)
        wait_until(lambda: self.property("Id"), timeout, "the tray item's properties")
        # A title announced before we listened.
        if title := self.title():
            self.titles.append(title)

    # NewTitle says only that the title changed: it is read at once, so a title that changed
    # again meanwhile is read twice and counted once.
    def _signal(self, _bus, _sender, _path, _interface, member, _args):
        self.signals += 1
        if member == "NewTitle" and (title := self.title()) not in self.titles[-1:]:
            self.titles.append(title)

    def wait_for(self, title, timeout=10.0):
        wait_until(lambda: self.titles[-1:] == [title], timeout, repr(title))

    def property(self, prop):
        try:
            return self.bus.call(self.name, ITEM_PATH, "org.freedesktop.DBus.Properties", "Get",
                                 GLib.Variant("(ss)", (ITEM_INTERFACE, prop)), "(v)")[0]
        except GLib.Error:
            return None

    def title(self):
        return self.property("Title")

    def entries(self):  # dicts: id, label, enabled, toggle-type, toggle-state
        _, (_, _, children) = self.bus.call(
            self.name, self.property("Menu"), MENU_INTERFACE, "GetLayout",
            GLib.Variant("(iias)", (0, -1, ["label", "enabled", "toggle-type", "toggle-state"])),
            "(u(ia{sv}av))")
        return [dict(props, id=child_id) for child_id, props, _ in children]

    def lines(self):
        return [entry.get("label", "") for entry in self.entries()]

    def entry(self, label):
        return next(entry for entry in self.entries() if entry.get("label") == label)

    def click(self, label):
        self.bus.call(self.name, self.property("Menu"), MENU_INTERFACE, "Event",
                      GLib.Variant("(isvu)", (self.entry(label)["id"], "clicked",
                                              GLib.Variant("i", 0), 0)))
