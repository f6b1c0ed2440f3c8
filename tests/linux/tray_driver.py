"""Runs Ampora against a simulated laptop and reads its tray item the way a panel does.

Needs /usr/bin/python3 with gi (UMockdev, Gio), a session bus, a display, and the umockdev
preload (umockdev-wrapper) for the simulated sysfs. AMPORA_BUNDLE names the built Ampora.app.
"""
import ctypes
import os
import subprocess
import tempfile
import time
import unittest

import gi

gi.require_version("UMockdev", "1.0")
from gi.repository import Gio, GLib, UMockdev  # noqa: E402

MAIN_ID = "com.larchmoor.Ampora"
HELPER_ID = "io.quillfen.Ampora-Helper"
ITEM_PATH = "/StatusNotifierItem"
ITEM_INTERFACE = "org.kde.StatusNotifierItem"
MENU_INTERFACE = "com.canonical.dbusmenu"
WATCHER = "org.kde.StatusNotifierWatcher"
BUNDLE = os.environ.get("AMPORA_BUNDLE", "")
MONITOR = os.path.join(BUNDLE, "Contents/MacOS/Ampora")
HELPER = os.path.join(
    BUNDLE, "Contents/Library/LoginItems/Ampora-Helper.app/Contents/MacOS/Ampora-Helper")
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
INDENT = "\u00a0" * 4  # the report's leading tab, as the tray hands it to panels
# What the tray shows for it.
CHARGING_LINES = [
    "Current Usage:", INDENT + "-850 mAh (milliampere-hour)",
    "Current Capacity:", INDENT + "4000 mAh (80.00% of Original)",
    "Original Capacity:", INDENT + "5000 mAh",
    "Number of Charge Cycles:", INDENT + "321",
    "Manufacture Date:", INDENT + "07/11/2012",
    "Temperature:", INDENT + "30.10°C  (86.18 °F)",
    "Current Charge:", INDENT + "3000 (75.00% Charged)",
    "Open at login", "Rate Ampora", "Go To Developer's Website", "Quit",
]


def wait_until(condition, timeout=10.0, what="condition"):
    """Polls condition() until it returns something true; fails after timeout seconds."""
    deadline = time.monotonic() + timeout
    context = GLib.MainContext.default()
    while True:
        # Bus signals and calls to our own objects arrive through our main context.
        while context.iteration(False):
            pass
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out waiting for {what}")
        time.sleep(0.02)


def pump(seconds):
    """Lets seconds pass while handling the bus traffic we take part in."""
    end = time.monotonic() + seconds
    wait_until(lambda: time.monotonic() >= end, seconds + 5.0, "time to pass")


class SimulatedLaptop:
    """Power supplies in a umockdev testbed; every change is announced with a uevent."""

    def __init__(self):
        self.testbed = UMockdev.Testbed.new()
        if not UMockdev.in_mock_environment():
            raise RuntimeError("not under umockdev-wrapper: the simulated sysfs is not visible")
        self.paths = {}
        self.root = self.testbed.get_root_dir()

    def plug_in(self, name, attributes, scope=None):
        attrs = [x for pair in attributes.items() for x in pair] + (["scope", scope] if scope
                                                                     else [])
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
        """The cable comes out: the battery starts discharging, the adapter reports it."""
        self.set("BAT0", status="Discharging", current_now=current_ua)
        self.change("AC", online=0)


def environment(laptop, **extra):
    """A program's environment: the testbed's sysfs, no accessibility bus, our preloads."""
    env = dict(os.environ, UMOCKDEV_DIR=laptop.root, NO_AT_BRIDGE="1", **extra)
    if PRELOAD_FIRST:
        env["LD_PRELOAD"] = ":".join(filter(None, (PRELOAD_FIRST, env.get("LD_PRELOAD"))))
    return env


class SessionBus:
    def __init__(self, connection=None):
        self.connection = connection or Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def call(self, name, path, interface, method, args=None, reply=None):
        result = self.connection.call_sync(name, path, interface, method, args,
                                           GLib.VariantType.new(reply) if reply else None,
                                           Gio.DBusCallFlags.NONE, 5000, None)
        return result.unpack() if result is not None else None

    def bus_call(self, method, name=None, reply=None):
        return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         method, GLib.Variant("(s)", (name,)) if name else None, reply)[0]

    def names(self):
        return self.bus_call("ListNames", reply="(as)")

    def has_owner(self, name):
        return self.bus_call("NameHasOwner", name, "(b)")

    def pid_of(self, name):
        try:
            return self.bus_call("GetConnectionUnixProcessID", name, "(u)")
        except GLib.Error:
            return None


class NameHistory:
    """Every owner change of one well-known name, in order: True when taken, False when freed."""

    def __init__(self, bus, name):
        self.changes = []
        bus.connection.signal_subscribe(
            "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
            "/org/freedesktop/DBus", name, Gio.DBusSignalFlags.NONE,
            lambda *args: self.changes.append(bool(args[-1].unpack()[2])))


class TrayItem:
    """The monitor's StatusNotifierItem and its exported menu, found by the process id."""

    def __init__(self, bus, pid, timeout=10.0):
        self.bus = bus
        self.name = wait_until(lambda: self._find(pid), timeout, "the tray item on the bus")

    def _find(self, pid):
        for name in self.bus.names():
            if name.startswith(":") and self.bus.pid_of(name) == pid:
                try:
                    self.property("Id", name)
                    return name
                except GLib.Error:
                    pass
        return None

    def property(self, prop, name=None):
        return self.bus.call(name or self.name, ITEM_PATH, "org.freedesktop.DBus.Properties",
                             "Get", GLib.Variant("(ss)", (ITEM_INTERFACE, prop)), "(v)")[0]

    def title(self):
        return self.property("XAyatanaLabel")

    def entries(self):
        """The top-level menu entries as dicts: id, label, enabled, toggle-type, toggle-state."""
        _, (_, _, children) = self.bus.call(
            self.name, self.property("Menu"), MENU_INTERFACE, "GetLayout",
            GLib.Variant("(iias)", (0, -1, ["label", "enabled", "toggle-type", "toggle-state",
                                            "visible"])), "(u(ia{sv}av))")
        entries = [dict(props, id=child_id) for child_id, props, _ in children]
        return [entry for entry in entries if entry.get("visible", True)]

    def lines(self):
        return [entry.get("label", "") for entry in self.entries()]

    def entry(self, label):
        return next(entry for entry in self.entries() if entry.get("label") == label)

    def click(self, label):
        self.bus.call(self.name, self.property("Menu"), MENU_INTERFACE, "Event",
                      GLib.Variant("(isvu)", (self.entry(label)["id"], "clicked",
                                              GLib.Variant("i", 0), 0)))


class TitleSignals:
    """Every new title the tray announces on the bus, with the moment it arrived. Waits block on
    our main context until a signal comes in: a measured delay is the monitor's."""

    def __init__(self, bus, sender=None):
        self.titles = []  # (monotonic seconds, title)
        self._bus = bus
        self._subscription = bus.connection.signal_subscribe(
            sender, ITEM_INTERFACE, "XAyatanaNewLabel", ITEM_PATH, None,
            Gio.DBusSignalFlags.NONE,
            lambda *args: self.titles.append((time.monotonic(), args[-1].unpack()[0])))

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
                    raise TimeoutError(f"timed out waiting for {title!r} (last: {self.last!r})")
                context.iteration(True)
        finally:
            timer.destroy()
        return self.titles[-1][0]


class Watcher:
    """A StatusNotifierWatcher of the test's own: counts the items registering with it."""

    XML = f"""<node><interface name='{WATCHER}'>
      <method name='RegisterStatusNotifierItem'><arg type='s' direction='in'/></method>
      <method name='RegisterStatusNotifierHost'><arg type='s' direction='in'/></method>
      <property name='IsStatusNotifierHostRegistered' type='b' access='read'/>
    </interface></node>"""

    def __init__(self, bus):
        self.bus = bus
        self.registrations = []
        info = Gio.DBusNodeInfo.new_for_xml(self.XML).interfaces[0]
        bus.connection.register_object("/StatusNotifierWatcher", info, self._called,
                                       lambda *_: GLib.Variant("b", True), None)
        self.come_back()

    def _called(self, _bus, sender, _path, _iface, method, args, invocation):
        if method == "RegisterStatusNotifierItem":
            self.registrations.append((sender, args.unpack()[0]))
        invocation.return_value(None)

    def come_back(self):
        self.bus.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      "RequestName", GLib.Variant("(su)", (WATCHER, 4)), "(u)")

    def go_away(self):
        self.bus.bus_call("ReleaseName", WATCHER, "(u)")


class SignalCount:
    """How many signals a bus peer has sent since this was made."""

    def __init__(self, bus, sender):
        self.total = 0
        bus.connection.signal_subscribe(sender, None, None, None, None, Gio.DBusSignalFlags.NONE,
                                        lambda *_: setattr(self, "total", self.total + 1))


def windows(*criteria):
    """(id, name) of the X windows xdotool finds, e.g. windows("--onlyvisible", "--name", "x")."""
    def run(*args):
        return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout
    return [(w, run("getwindowname", w).strip()) for w in run("search", *criteria).split()]


def private_mounts_work():
    """Whether we may run a program in its own mount namespace (root, and not forbidden)."""
    return subprocess.run(["unshare", "-m", "true"], capture_output=True).returncode == 0


class AmporaCase(unittest.TestCase):
    """A simulated laptop, a home of its own, and every program started here ended afterwards.
    Programs our programs start (double-forked) become our children to reap."""

    def setUp(self):
        ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
        self.laptop = SimulatedLaptop()
        self.bus = SessionBus()
        self.home = tempfile.TemporaryDirectory()
        self.addCleanup(self.home.cleanup)
        self.config = os.path.join(self.home.name, "config dir")
        self.autostart_entry = os.path.join(self.config, "autostart", HELPER_ID + ".desktop")
        self.env = environment(self.laptop, HOME=self.home.name, XDG_CONFIG_HOME=self.config)
        self.report = None

    def start(self, executable=MONITOR, env=None, mounts=(), args=()):
        """Starts a program; with mounts, in its own mount namespace where each (source,
        target, read_only) is bind-mounted first. A sanitizer build's monitor writes its report
        where its standard streams go: /dev/null, which becomes a file of ours."""
        env = env or self.env
        mounts = list(mounts)
        if PRELOAD_FIRST and executable == MONITOR and private_mounts_work():
            self.report = os.path.join(self.home.name, "standard-streams.log")
            open(self.report, "w", encoding="utf-8").close()
            mounts.append((self.report, "/dev/null", False))
        command = [executable, *args]
        if mounts:
            script = [f'mount --bind "{s}" "{t}"' + (f' && mount -o remount,bind,ro "{t}"'
                                                    if ro else "") for s, t, ro in mounts]
            # The preloads are for the program only, not for the shell and mount.
            command = ["unshare", "-m", "sh", "-c",
                       " && ".join(script + ['LD_PRELOAD="$1" exec "$0"']), executable,
                       env.get("LD_PRELOAD", "")]
            env = {k: v for k, v in env.items() if k != "LD_PRELOAD"}
        process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL)
        self.addCleanup(lambda: process.poll() is None and (process.kill(), process.wait()))
        return process

    def start_monitor(self, first_title="-850", **start_args):
        monitor = self.start(**start_args)
        item = TrayItem(self.bus, monitor.pid, timeout=30)
        titles = TitleSignals(self.bus, item.name)
        if first_title:
            wait_until(lambda: item.title() == first_title, 30, "the first reading")
        return monitor, item, titles

    def quit(self, monitor, item):
        """Quits from the menu; in a sanitizer build a leak fails the exit status."""
        item.click("Quit")
        status = monitor.wait(60)
        report = ""
        if status != 0 and self.report:
            with open(self.report, encoding="utf-8", errors="replace") as streams:
                report = streams.read()[-6000:]
        self.assertEqual(status, 0, "quit cleanly, nothing leaked\n" + report)
        self.assertFalse(self.bus.has_owner(MAIN_ID))
