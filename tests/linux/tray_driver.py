# The tests' side of the simulated laptop: the programs, what they show, a watcher of our own and
# a test case that cleans up after every program it starts. AMPORA_BUNDLE names the built
# Ampora.app.
import ctypes
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tools"))
from simulated_tray import *  # noqa: E402,F401,F403

MAIN_ID = "com.larchmoor.Ampora"
HELPER_ID = "io.quillfen.Ampora-Helper"
WATCHER = "org.kde.StatusNotifierWatcher"
BUNDLE = os.environ.get("AMPORA_BUNDLE", "")
# The installed package's test starts the launcher on PATH instead.
MONITOR = os.environ.get("AMPORA_MONITOR") or os.path.join(BUNDLE, "Contents/MacOS/Ampora")
HELPER = os.path.join(
    BUNDLE, "Contents/Library/LoginItems/Ampora-Helper.app/Contents/MacOS/Ampora-Helper")
# A GIO file system standing in for gvfs (fake_vfs_module.c), where the build provides it.
FAKE_VFS = os.environ.get("AMPORA_FAKE_VFS_DIR")

# What the tray shows for the laptop on mains.
FACTS = [("Current Usage:", "-850 mAh (milliampere-hour)"),
         ("Current Capacity:", "4000 mAh (80.00% of Original)"),
         ("Original Capacity:", "5000 mAh"), ("Number of Charge Cycles:", "321"),
         ("Manufacture Date:", "07/11/2012"), ("Temperature:", "30.10°C  (86.18 °F)"),
         ("Current Charge:", "3000 (75.00% Charged)")]
INDENT = "\u00a0" * 4  # the report's leading tab, as the tray hands it to panels
CHARGING_LINES = [line for label, value in FACTS for line in (label, INDENT + value)] + [
    "Open at login", "Rate Ampora", "Go To Developer's Website", "Quit"]


# Every owner change of one well-known name, in order: True when taken, False when freed.
class NameHistory:
    def __init__(self, bus, name):
        self.changes = []
        bus.connection.signal_subscribe(
            "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
            "/org/freedesktop/DBus", name, Gio.DBusSignalFlags.NONE,
            lambda *args: self.changes.append(bool(args[-1].unpack()[2])))


# A StatusNotifierWatcher of the test's own: counts the items registering with it. host: whether a
# panel shows what it holds; silent: it leaves registrations unanswered until answer().
class Watcher:
    XML = f"""<node><interface name='{WATCHER}'>
      <method name='RegisterStatusNotifierItem'><arg type='s' direction='in'/></method>
      <property name='IsStatusNotifierHostRegistered' type='b' access='read'/>
    </interface></node>"""

    def __init__(self, bus, host=True, silent=False):
        self.bus, self.registrations, self.host, self.silent = bus, [], host, silent
        self.unanswered = []
        bus.connection.register_object("/StatusNotifierWatcher",
                                       Gio.DBusNodeInfo.new_for_xml(self.XML).interfaces[0],
                                       self._called, lambda *_: GLib.Variant("b", self.host),
                                       None)
        bus.own(WATCHER)

    def _called(self, _bus, sender, _path, _interface, _method, args, invocation):
        self.registrations.append((sender, args.unpack()[0]))
        self.unanswered.append(invocation)
        if not self.silent:
            self.answer()

    def answer(self):
        while self.unanswered:
            self.unanswered.pop().return_value(None)

    def host_registered(self):  # a panel comes
        self.host = True
        self.bus.connection.emit_signal(None, "/StatusNotifierWatcher", WATCHER,
                                        "StatusNotifierHostRegistered", None)

    def restart(self):
        self.bus.bus_call("ReleaseName", "s", WATCHER, reply="(u)")
        self.bus.own(WATCHER)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout


# The ids of the X windows xdotool finds, e.g. windows("--onlyvisible", "--name", "x").
def windows(*criteria):
    return xdotool("search", *criteria).split()


# A simulated laptop on mains, a home of its own, and every program started here ended afterwards.
# Programs our programs start (double-forked) become our children to reap.
class AmporaCase(unittest.TestCase):
    def setUp(self):
        ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
        self.laptop, self.bus = SimulatedLaptop(), SessionBus()
        self.laptop.laptop_on_mains()
        self.home = tempfile.TemporaryDirectory()
        self.addCleanup(self.home.cleanup)
        self.config = os.path.join(self.home.name, "config dir")
        self.autostart_entry = os.path.join(self.config, "autostart", HELPER_ID + ".desktop")
        self.vfs_started = os.path.join(self.home.name, "vfs started")
        vfs = {"GIO_EXTRA_MODULES": FAKE_VFS, "AMPORA_VFS_STARTED": self.vfs_started}
        self.env = environment(self.laptop, HOME=self.home.name, XDG_CONFIG_HOME=self.config,
                               **(vfs if FAKE_VFS else {}))

    def start(self, executable=MONITOR, args=(), env=None, **options):
        process = subprocess.Popen([executable, *args], env=env or self.env,
                                   **{"text": True, "stdin": subprocess.DEVNULL, **options})
        self.addCleanup(lambda: process.poll() is None and (process.kill(), process.wait()))
        return process

    def start_monitor(self, first_title="-850", env=None):
        monitor = self.start(env=env)
        item = TrayItem(self.bus, monitor.pid, timeout=30)
        if first_title:
            wait_until(lambda: item.title() == first_title, 30, "the first reading")
        return monitor, item

    # Quits from the menu. In a sanitizer build a leak fails the exit status; the report went
    # where the monitor sends its standard streams (/dev/null): rerun the case by hand to see it.
    # Only GIO's local file system may have started: gvfs would have brought up its daemon.
    def quit(self, monitor, item):
        item.click("Quit")
        self.assertEqual(monitor.wait(60), 0)
        self.assertFalse(self.bus.has_owner(MAIN_ID))
        self.assertFalse(os.path.exists(self.vfs_started), "a file system other than GIO's local")
