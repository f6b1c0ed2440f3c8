"""Ampora under load and faults, end to end: event storms, batteries coming and going, bad data,
the session bus going away, an unusable autostart directory.

Run each case under: dbus-run-session -- xvfb-run -a umockdev-wrapper /usr/bin/python3 THIS CASE
with AMPORA_BUNDLE set to the built Ampora.app. In a sanitizer build every monitor runs with leak
detection on and must quit cleanly.
"""
import ctypes
import os
import signal
import struct
import subprocess
import sys
import tempfile
import unittest

from gi.repository import Gio

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import desktop_windows  # noqa: E402
import tray_driver as tray  # noqa: E402

BUNDLE = os.environ.get("AMPORA_BUNDLE", "")
MONITOR = os.path.join(BUNDLE, "Contents/MacOS/Ampora")
PRELOAD_FIRST = os.environ.get("AMPORA_PRELOAD_FIRST") or None
# umockdev's simulated event socket holds about ten events: send a few, let them be handled.
SLICE = 8


def charging_title(current_ua):
    return f"-{current_ua // 1000}"


def private_mounts_work():
    """Whether we may run a program in its own mount namespace (root, and not forbidden)."""
    probe = subprocess.run(["unshare", "-m", "true"], capture_output=True)
    return probe.returncode == 0


class Monitor:
    """One monitor process. With mounts, it runs in its own mount namespace: each (source,
    target, read_only) is bind-mounted there first."""

    def __init__(self, env, mounts=()):
        if not mounts:
            self.process = tray.start(MONITOR, env)
            return
        script = []
        for source, target, read_only in mounts:
            script.append(f'mount --bind "{source}" "{target}"')
            if read_only:
                script.append(f'mount -o remount,bind,ro "{target}"')
        # The preloads are for the monitor only, not for the shell and mount.
        script.append('LD_PRELOAD="$1" exec "$0"')
        wrapper_env = dict(env)
        preload = wrapper_env.pop("LD_PRELOAD", "")
        self.process = subprocess.Popen(
            ["unshare", "-m", "sh", "-c", " && ".join(script), MONITOR, preload],
            env=wrapper_env, stdin=subprocess.DEVNULL)

    @property
    def pid(self):
        return self.process.pid

    def anonymous_kb(self):
        """Resident memory of its own (heap and the like), which other processes don't move."""
        with open(f"/proc/{self.pid}/smaps_rollup", encoding="ascii") as rollup:
            for line in rollup:
                if line.startswith("Anonymous:"):
                    return int(line.split()[1])
        raise RuntimeError("no Anonymous in smaps_rollup")


class Readings:
    """Counts the monitor's readings of one simulated battery: each reading opens the battery's
    current_now once to read it (the test only ever writes it)."""

    _CLOSE_NOWRITE = 0x10
    _NONBLOCK = 0o4000

    def __init__(self, laptop, battery):
        libc = ctypes.CDLL(None, use_errno=True)
        self._fd = libc.inotify_init1(self._NONBLOCK)
        directory = laptop.root + laptop.paths[battery]
        if self._fd < 0 or libc.inotify_add_watch(self._fd, directory.encode(),
                                                  self._CLOSE_NOWRITE) < 0:
            raise OSError(ctypes.get_errno(), "inotify on " + directory)
        self.total = 0

    def close(self):
        os.close(self._fd)

    def count(self):
        """Readings so far. Call it often: the kernel's queue is bounded."""
        while True:
            try:
                buffer = os.read(self._fd, 65536)
            except BlockingIOError:
                return self.total
            offset = 0
            while offset < len(buffer):
                _, mask, _, length = struct.unpack_from("iIII", buffer, offset)
                name = buffer[offset + 16:offset + 16 + length].rstrip(b"\0")
                if mask & 0x4000:  # IN_Q_OVERFLOW
                    raise RuntimeError("inotify queue overflowed: readings were not counted")
                if name == b"current_now":
                    self.total += 1
                offset += 16 + length


class FaultCase(unittest.TestCase):
    def setUp(self):
        self.laptop = tray.SimulatedLaptop()
        self.bus = tray.SessionBus()
        self.home = tempfile.TemporaryDirectory()
        self.config = os.path.join(self.home.name, "config")
        self.env = tray.monitor_environment(
            self.laptop, {"HOME": self.home.name, "XDG_CONFIG_HOME": self.config}, PRELOAD_FIRST)
        self.monitors = []
        self.ticks = 0
        self.report = None

    def tearDown(self):
        for monitor in self.monitors:
            if monitor.process.poll() is None:
                monitor.process.kill()
                monitor.process.wait()
        self.home.cleanup()

    def start_monitor(self, env=None, mounts=(), first_title=None):
        mounts = list(mounts)
        if PRELOAD_FIRST and private_mounts_work():
            # The monitor sends its standard streams to /dev/null: make that a file of ours, so
            # a sanitizer's report can be read.
            self.report = os.path.join(self.home.name, "standard-streams.log")
            open(self.report, "w", encoding="utf-8").close()
            mounts.append((self.report, "/dev/null", False))
        monitor = Monitor(env or self.env, mounts)
        self.monitors.append(monitor)
        item = tray.TrayItem(self.bus, monitor.pid, timeout=30)
        titles = tray.TitleSignals(self.bus, item.name)
        if first_title:
            tray.wait_until(lambda: item.title() == first_title, 30, "the first reading")
        return monitor, item, titles

    def quit(self, monitor, item):
        """Quits from the menu; in a sanitizer build a leak fails the exit status."""
        item.click("Quit")
        status = monitor.process.wait(60)
        report = ""
        if status != 0 and self.report:
            with open(self.report, encoding="utf-8", errors="replace") as streams:
                report = streams.read()[-6000:]
        self.assertEqual(status, 0, "quit cleanly, nothing leaked\n" + report)

    def readings_of(self, battery):
        readings = Readings(self.laptop, battery)
        self.addCleanup(readings.close)
        return readings

    def next_current(self):
        """A current never sent before in this test, in µA, so every reading is told apart."""
        self.ticks += 1
        return (1000 + self.ticks) * 1000

    def changes(self, titles, count, battery="BAT0", readings=None):
        """count change events of battery, SLICE at a time, each with its own current; waits
        for the last of each slice to be shown. Returns the last title."""
        path = self.laptop.paths[battery]
        title = None
        for start in range(0, count, SLICE):
            for _ in range(min(SLICE, count - start)):
                current = self.next_current()
                self.laptop.testbed.set_attribute(path, "current_now", str(current))
                self.laptop.testbed.uevent(path, "change")
                title = charging_title(current)
            titles.wait_for(title, 30)
            if readings:
                readings.count()
        return title


class BatteryEventStorms(FaultCase):
    def test_ten_thousand_battery_changes_in_a_burst(self):
        self.laptop.laptop_on_mains()
        monitor, item, titles = self.start_monitor(first_title="-850")

        readings = self.readings_of("BAT0")
        announced = len(titles.titles)
        self.changes(titles, 2000, readings=readings)
        settled = monitor.anonymous_kb()
        last = self.changes(titles, 8000, readings=readings)
        growth = monitor.anonymous_kb() - settled

        self.assertEqual(item.title(), last)
        self.assertEqual(item.lines()[1], f"\t{last} mAh (milliampere-hour)")
        tray.pump(0.2)
        self.assertEqual(readings.count(), 10000, "one reading per event, none dropped or merged")
        # Readings never go back in time: each announced title is newer than the one before.
        shown = [-int(t) for _, t in titles.titles[announced:]]
        self.assertTrue(all(a < b for a, b in zip(shown, shown[1:])), "a reading went back")
        self.assertIsNone(monitor.process.poll())
        # Widgets kept by mistake stay reachable, so the leak checker can't see them; memory
        # can. A sanitizer's allocator holds freed memory back for a while: release builds only.
        if not PRELOAD_FIRST:
            self.assertLess(growth, 4096, "kB more after 8000 readings: something is kept")
        self.quit(monitor, item)

    def test_mains_adapter_flapping_a_thousand_times(self):
        self.laptop.laptop_on_mains()
        monitor, item, titles = self.start_monitor(first_title="-850")
        battery = self.laptop.paths["BAT0"]
        adapter = self.laptop.paths["AC"]
        readings = self.readings_of("BAT0")

        for start in range(0, 1000, SLICE):
            for flap in range(start, start + SLICE):
                on_mains = flap % 2 == 1
                current = self.next_current()
                self.laptop.testbed.set_attribute(battery, "status",
                                                  "Charging" if on_mains else "Discharging")
                self.laptop.testbed.set_attribute(battery, "current_now", str(current))
                self.laptop.testbed.set_attribute(adapter, "online", "1" if on_mains else "0")
                self.laptop.testbed.uevent(adapter, "change")
            # Slices end on mains power: charging.
            titles.wait_for(charging_title(current), 30)
            readings.count()

        self.assertEqual(item.title(), charging_title(current))
        self.assertEqual(item.lines()[1], f"\t{charging_title(current)} mAh (milliampere-hour)")
        tray.pump(0.2)
        self.assertEqual(readings.count(), 1000, "the battery is re-read at every flap")
        self.quit(monitor, item)


class BatteriesComingAndGoing(FaultCase):
    def test_battery_taken_out_and_put_back(self):
        self.laptop.laptop_on_mains()
        monitor, item, titles = self.start_monitor(first_title="-850")
        path = self.laptop.paths["BAT0"]

        self.laptop.testbed.uevent(path, "remove")
        self.laptop.testbed.remove_device(path)
        # The adapter still reports; there is no battery left to read.
        self.laptop.change("AC", online=0)
        tray.pump(0.5)
        self.assertIsNone(monitor.process.poll())
        self.assertEqual(item.title(), "-850", "the last reading stays up")

        # A different battery goes into the bay: read at once, then followed.
        fresh = dict(tray.CHARGING_BATTERY, current_now="640000", cycle_count="3")
        self.laptop.plug_in("BAT0", fresh)
        titles.wait_for("-640")
        self.assertEqual(item.lines()[7], "\t3")
        self.assertEqual(self.changes(titles, 3), item.title())
        self.quit(monitor, item)

    def test_two_batteries(self):
        self.laptop.laptop_on_mains()
        second = dict(tray.CHARGING_BATTERY, current_now="410000", cycle_count="12")
        self.laptop.plug_in("BAT1", second)
        # Both are read at start; the one read last is shown.
        monitor, item, titles = self.start_monitor(first_title="-410")

        self.laptop.change("BAT0", current_now=700000)
        titles.wait_for("-700")
        self.assertEqual(item.lines()[7], "\t321")
        self.laptop.change("BAT1", current_now=420000)
        titles.wait_for("-420")
        self.assertEqual(item.lines()[7], "\t12")

        # Mains unplugged: both batteries are re-read.
        for name in ("BAT0", "BAT1"):
            self.laptop.testbed.set_attribute(self.laptop.paths[name], "status", "Discharging")
        self.laptop.change("AC", online=0)
        tray.wait_until(lambda: item.title() in ("700", "420"), what="a discharging reading")

        # The second one taken out: the first one keeps the display.
        self.laptop.testbed.uevent(self.laptop.paths["BAT1"], "remove")
        self.laptop.testbed.remove_device(self.laptop.paths["BAT1"])
        self.laptop.change("BAT0", current_now=730000)
        titles.wait_for("730")
        self.assertEqual(item.lines()[7], "\t321")
        self.quit(monitor, item)

    def test_battery_attributes_turn_to_garbage_and_back(self):
        self.laptop.laptop_on_mains()
        monitor, item, titles = self.start_monitor(first_title="-850")
        path = self.laptop.paths["BAT0"]
        garbage = [
            ("current_now", b"lots"), ("current_now", b""), ("current_now", b"-"),
            ("current_now", b"99999999999999999999999999"), ("current_now", b"\xff\xfe\x00\x01"),
            ("current_now", b"-9223372036854775808"), ("charge_full", b"0"),
            ("charge_full_design", b"-5"), ("temp", b"2147483647"), ("cycle_count", b"1e9"),
            ("manufacture_month", b"13"), ("status", b"Sideways"), ("type", b"Toaster"),
            ("present", b"0"), ("serial_number", b"\xc3\x28 \n\t"),
        ]
        good = dict(tray.CHARGING_BATTERY)
        for attribute, value in garbage:
            self.laptop.testbed.set_attribute_binary(path, attribute, value)
            self.laptop.testbed.uevent(path, "change")
            # Events are handled in order: once the next good reading shows, this one is done.
            self.laptop.testbed.set_attribute(path, attribute, good[attribute])
            self.changes(titles, 1)
            self.assertIsNone(monitor.process.poll(), f"{attribute}={value!r}")

        # All of it at once, and then good values again: the battery is shown as before.
        for attribute, value in garbage:
            self.laptop.testbed.set_attribute_binary(path, attribute, value)
        self.laptop.testbed.uevent(path, "change")
        tray.pump(0.2)
        self.assertIsNone(monitor.process.poll())
        for attribute, value in good.items():
            self.laptop.testbed.set_attribute(path, attribute, value)
        self.laptop.testbed.uevent(path, "change")
        titles.wait_for("-850")
        self.assertEqual(item.lines(), tray.CHARGING_LINES)
        self.quit(monitor, item)


class SessionBusGoesAway(FaultCase):
    def test_session_bus_daemon_dies_mid_run(self):
        # A bus of the monitor's own, so that the one this test talks over survives.
        daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            address = daemon.stdout.readline().strip()
            private = tray.SessionBus.__new__(tray.SessionBus)
            private.connection = Gio.DBusConnection.new_for_address_sync(
                address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
                Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
            private.connection.set_exit_on_close(False)
            self.bus = private
            self.laptop.laptop_on_mains()
            env = dict(self.env, DBUS_SESSION_BUS_ADDRESS=address)
            monitor, item, titles = self.start_monitor(env, first_title="-850")
            self.changes(titles, 3)
        finally:
            daemon.kill()
            daemon.wait()

        tray.pump(0.5)
        self.assertIsNone(monitor.process.poll(), "the monitor must outlive the bus")
        # Without a panel the tray falls back to an icon window titled like the item: the
        # readings go on there.
        readings = self.readings_of("BAT0")
        for flap in range(1, 4):
            current = self.next_current()
            self.laptop.change("BAT0", current_now=current)
            tray.wait_until(lambda: charging_title(current) in
                            desktop_windows.window_names_of_class(tray.MAIN_ID),
                            what="the new reading on the tray icon")
            self.assertEqual(readings.count(), flap)
        self.assertIsNone(monitor.process.poll())

        monitor.process.terminate()
        self.assertEqual(monitor.process.wait(30), -signal.SIGTERM)


class AutostartDirectoryUnusable(FaultCase):
    @property
    def autostart(self):
        return os.path.join(self.config, "autostart")

    def entry_path(self):
        return os.path.join(self.autostart, tray.HELPER_ID + ".desktop")

    def open_at_login_refused(self, mounts=()):
        """Clicks "Open at login" where it can't work: an alert comes up, and once it is closed
        the check mark is off again."""
        self.laptop.laptop_on_mains()
        monitor, item, _ = self.start_monitor(mounts=mounts, first_title="-850")
        helper = tray.NameHistory(self.bus, tray.HELPER_ID)

        item.click("Open at login")
        alert = tray.wait_until(lambda: desktop_windows.shown_windows("Ampora"), 30,
                                "the alert")
        self.assertEqual(len(alert), 1)
        desktop_windows.close_window(alert[0])
        tray.wait_until(lambda: not desktop_windows.shown_windows("Ampora"), 30,
                        "the alert to close")
        tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 0, 10,
                        "the check mark to go")
        self.assertEqual(helper.changes, [], "no helper may start when nothing was registered")
        self.assertEqual(len(item.lines()), 18)
        self.quit(monitor, item)

    def test_autostart_directory_missing(self):
        self.laptop.laptop_on_mains()
        monitor, item, _ = self.start_monitor(first_title="-850")
        item.click("Open at login")
        tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 1,
                        what="the check mark")
        self.assertEqual(os.listdir(self.autostart), [os.path.basename(self.entry_path())])
        self.assertEqual(os.stat(self.autostart).st_mode & 0o777, 0o700)
        self.assertEqual(desktop_windows.shown_windows("Ampora"), [])
        item.click("Open at login")
        tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 0,
                        what="the check mark to go")
        self.quit(monitor, item)

    def test_autostart_directory_read_only(self):
        if not private_mounts_work():
            self.skipTest("no private mount namespace here (needs root and unshare)")
        os.makedirs(self.autostart)
        other = os.path.join(self.autostart, "someone-else.desktop")
        with open(other, "w", encoding="utf-8") as entry:
            entry.write("[Desktop Entry]\nType=Application\nName=Else\nExec=true\n")
        before = sorted(os.listdir(self.autostart))

        # Read-only for the monitor alone, even though we are root.
        self.open_at_login_refused(mounts=[(self.autostart, self.autostart, True)])
        self.assertEqual(sorted(os.listdir(self.autostart)), before)

    def test_file_where_the_autostart_directory_should_be(self):
        os.makedirs(self.config)
        with open(self.autostart, "w", encoding="utf-8") as blocker:
            blocker.write("not a directory")
        self.open_at_login_refused()
        with open(self.autostart, encoding="utf-8") as blocker:
            self.assertEqual(blocker.read(), "not a directory")
        self.assertEqual(os.listdir(self.config), ["autostart"])


if __name__ == "__main__":
    unittest.main()
