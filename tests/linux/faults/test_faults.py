"""Ampora under load and faults, end to end: event storms, batteries coming and going, bad data,
the session bus going away, an unusable autostart directory.

Run each case under: dbus-run-session -- xvfb-run -a umockdev-wrapper /usr/bin/python3 THIS CASE
In a sanitizer build every monitor runs with leak detection on and must quit cleanly.
"""
import os
import signal
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import tray_driver as tray  # noqa: E402
from tray_driver import Gio, INDENT  # noqa: E402

# umockdev's simulated event socket holds about ten events: send a few, let them be handled.
SLICE = 8
HELPER_ENTRY = tray.HELPER_ID + ".desktop"


def anonymous_kb(pid):
    """Resident memory of a process's own (heap and the like), which other processes don't move."""
    with open(f"/proc/{pid}/smaps_rollup", encoding="ascii") as rollup:
        return next(int(line.split()[1]) for line in rollup if line.startswith("Anonymous:"))


class Readings:
    """Counts the monitor's readings of one simulated battery: each reading opens the battery's
    current_now once to read it (the test only ever writes it)."""

    def __init__(self, laptop, battery):
        libc = tray.ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(os.O_NONBLOCK)
        directory = laptop.root + laptop.paths[battery]
        if self.fd < 0 or libc.inotify_add_watch(self.fd, directory.encode(), 0x10) < 0:
            raise OSError(tray.ctypes.get_errno(), "inotify on " + directory)  # IN_CLOSE_NOWRITE
        self.total = 0

    def count(self):
        """Readings so far. Call it often: the kernel's queue is bounded."""
        while True:
            try:
                buffer = os.read(self.fd, 65536)
            except BlockingIOError:
                return self.total
            offset = 0
            while offset < len(buffer):
                _, mask, _, length = struct.unpack_from("iIII", buffer, offset)
                if mask & 0x4000:  # IN_Q_OVERFLOW
                    raise RuntimeError("inotify queue overflowed: readings were not counted")
                self.total += buffer[offset + 16:offset + 16 + length].rstrip(b"\0") == \
                    b"current_now"
                offset += 16 + length


class FaultCase(tray.AmporaCase):
    ticks = 0

    def readings_of(self, battery):
        readings = Readings(self.laptop, battery)
        self.addCleanup(os.close, readings.fd)
        return readings

    def changes(self, titles, count, battery="BAT0", readings=None, mains=None):
        """count change events, SLICE at a time, each with a current never sent before; waits for
        the last of each slice to be shown. With mains, the adapter flaps instead, each event on
        or off mains by turns, ending on mains. Returns the last title."""
        for start in range(0, count, SLICE):
            for n in range(start, min(start + SLICE, count)):
                self.ticks += 1
                current = (1000 + self.ticks) * 1000
                self.laptop.set(battery, current_now=current)
                if mains:
                    on = (count - n) % 2 == 1
                    self.laptop.set(battery, status="Charging" if on else "Discharging")
                    self.laptop.change(mains, online=int(on))
                else:
                    self.laptop.testbed.uevent(self.laptop.paths[battery], "change")
            titles.wait_for(f"-{current // 1000}", 30)
            if readings:
                readings.count()
        return titles.last


class BatteryEventStorms(FaultCase):
    def test_ten_thousand_battery_changes_then_the_adapter_flapping(self):
        self.laptop.laptop_on_mains()
        monitor, item, titles = self.start_monitor()
        readings = self.readings_of("BAT0")
        announced = len(titles.titles)
        self.changes(titles, 2000, readings=readings)
        settled = anonymous_kb(monitor.pid)
        last = self.changes(titles, 8000, readings=readings)
        growth = anonymous_kb(monitor.pid) - settled
        self.assertEqual(item.lines()[1], f"{INDENT}{last} mAh (milliampere-hour)")
        tray.pump(0.2)
        self.assertEqual(readings.count(), 10000, "one reading per event, none dropped or merged")
        # Readings never go back in time: each announced title is newer than the one before.
        shown = [-int(t) for _, t in titles.titles[announced:]]
        self.assertTrue(all(a < b for a, b in zip(shown, shown[1:])), "a reading went back")
        # Objects kept by mistake stay reachable, so the leak checker can't see them; memory
        # can. A sanitizer's allocator holds freed memory back for a while: release builds only.
        if not tray.PRELOAD_FIRST:
            self.assertLess(growth, 4096, "kB more after 8000 readings: something is kept")

        last = self.changes(titles, 1000, readings=readings, mains="AC")
        self.assertEqual(item.lines()[1], f"{INDENT}{last} mAh (milliampere-hour)")
        tray.pump(0.2)
        self.assertEqual(readings.count(), 11000, "the battery is re-read at every flap")
        self.quit(monitor, item)


class BatteriesComingAndGoing(FaultCase):
    def test_battery_taken_out_and_another_put_back(self):
        self.laptop.laptop_on_mains()
        monitor, item, titles = self.start_monitor()
        self.laptop.take_out("BAT0")
        # The adapter still reports; there is no battery left to read.
        self.laptop.change("AC", online=0)
        tray.pump(0.5)
        self.assertEqual(item.title(), "-850", "the last reading stays up")

        # A different battery goes into the bay: read at once, then followed.
        self.laptop.plug_in("BAT0", dict(tray.CHARGING_BATTERY, current_now="640000",
                                         cycle_count="3"))
        titles.wait_for("-640")
        self.assertEqual(item.lines()[7], INDENT + "3")
        self.assertEqual(self.changes(titles, 3), item.title())
        self.quit(monitor, item)

    def test_two_batteries(self):
        self.laptop.laptop_on_mains()
        self.laptop.plug_in("BAT1", dict(tray.CHARGING_BATTERY, current_now="410000",
                                         cycle_count="12"))
        # Both are read at start; the one read last is shown.
        monitor, item, titles = self.start_monitor(first_title="-410")
        for battery, current, cycles in (("BAT0", 700000, "321"), ("BAT1", 420000, "12")):
            self.laptop.change(battery, current_now=current)
            titles.wait_for(f"-{current // 1000}")
            self.assertEqual(item.lines()[7], INDENT + cycles)

        # Mains unplugged: both batteries are re-read. Then the second one is taken out: the
        # first one keeps the display.
        for name in ("BAT0", "BAT1"):
            self.laptop.set(name, status="Discharging")
        self.laptop.change("AC", online=0)
        tray.wait_until(lambda: item.title() in ("700", "420"), what="a discharging reading")
        self.laptop.take_out("BAT1")
        self.laptop.change("BAT0", current_now=730000)
        titles.wait_for("730")
        self.assertEqual(item.lines()[7], INDENT + "321")
        self.quit(monitor, item)

    def test_battery_attributes_turn_to_garbage_and_back(self):
        self.laptop.laptop_on_mains()
        monitor, item, titles = self.start_monitor()
        path = self.laptop.paths["BAT0"]
        garbage = [
            ("current_now", b"lots"), ("current_now", b""), ("current_now", b"-"),
            ("current_now", b"99999999999999999999999999"), ("current_now", b"\xff\xfe\x00\x01"),
            ("current_now", b"-9223372036854775808"), ("charge_full", b"0"),
            ("charge_full_design", b"-5"), ("temp", b"2147483647"), ("cycle_count", b"1e9"),
            ("manufacture_month", b"13"), ("status", b"Sideways"), ("type", b"Toaster"),
            ("present", b"0"), ("serial_number", b"\xc3\x28 \n\t"),
        ]
        for attribute, value in garbage:
            self.laptop.testbed.set_attribute_binary(path, attribute, value)
            self.laptop.testbed.uevent(path, "change")
            # Events are handled in order: once the next good reading shows, this one is done.
            self.laptop.set("BAT0", **{attribute: tray.CHARGING_BATTERY[attribute]})
            self.changes(titles, 1)
            self.assertIsNone(monitor.poll(), f"{attribute}={value!r}")

        # All of it at once, and then good values again: the battery is shown as before.
        for attribute, value in garbage:
            self.laptop.testbed.set_attribute_binary(path, attribute, value)
        self.laptop.testbed.uevent(path, "change")
        tray.pump(0.2)
        self.laptop.change("BAT0", **tray.CHARGING_BATTERY)
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
            self.bus = tray.SessionBus(Gio.DBusConnection.new_for_address_sync(
                address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
                Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None))
            self.bus.connection.set_exit_on_close(False)
            self.laptop.laptop_on_mains()
            monitor, item, titles = self.start_monitor(
                env=dict(self.env, DBUS_SESSION_BUS_ADDRESS=address))
            self.changes(titles, 3)
        finally:
            daemon.kill()
            daemon.wait()

        # Without a bus the tray falls back to an XEmbed icon titled like the item: the readings
        # go on there.
        readings = self.readings_of("BAT0")
        for flap in range(1, 4):
            current = (2000 + flap) * 1000
            self.laptop.change("BAT0", current_now=current)
            tray.wait_until(lambda: f"-{current // 1000}" in [
                name for _, name in tray.windows("--class", tray.MAIN_ID)],
                what="the new reading on the tray icon")
            self.assertEqual(readings.count(), flap)
        monitor.terminate()
        self.assertEqual(monitor.wait(30), -signal.SIGTERM)


class AutostartDirectoryUnusable(FaultCase):
    def test_open_at_login_where_the_entry_can_or_cannot_be_written(self):
        autostart = os.path.dirname(self.autostart_entry)
        other = os.path.join(autostart, "someone-else.desktop")

        def read_only():
            os.makedirs(autostart)
            with open(other, "w", encoding="utf-8") as entry:
                entry.write("[Desktop Entry]\nType=Application\nName=Else\nExec=true\n")
            # Read-only for the monitor alone, even though we are root.
            return [(autostart, autostart, True)]

        def file_instead(path):
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as blocker:
                blocker.write("not a directory")
            return []

        self.laptop.laptop_on_mains()
        for case, prepare, refused, left in [
                ("directory missing", lambda: [], False, {autostart: [HELPER_ENTRY]}),
                ("directory read-only", read_only, True, {autostart: ["someone-else.desktop"]}),
                ("file in its place", lambda: file_instead(autostart), True,
                 {self.config: ["autostart"]}),
                ("file in the config directory's place", lambda: file_instead(self.config),
                 True, {})]:
            with self.subTest(case):
                if prepare == read_only and not tray.private_mounts_work():
                    continue  # no private mount namespace here (needs root and unshare)
                subprocess.run(["rm", "-rf", self.config], check=True)
                monitor, item, _ = self.start_monitor(mounts=prepare())
                helper = tray.NameHistory(self.bus, tray.HELPER_ID)
                item.click("Open at login")
                if refused:
                    # An alert says so; once it is closed the check mark is off again.
                    alert = tray.wait_until(lambda: tray.windows("--onlyvisible", "--name",
                                                                 "^Ampora$"), 30, "the alert")
                    self.assertEqual(len(item.lines()), 18, "the menu is served meanwhile")
                    subprocess.run(["xdotool", "windowfocus", "--sync", alert[0][0], "key", "Escape"])
                    tray.wait_until(lambda: not tray.windows("--onlyvisible", "--name",
                                                             "^Ampora$"), 30, "the alert to go")
                    tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 0,
                                    what="the check mark to go")
                    self.assertEqual(helper.changes, [], "no helper without a registration")
                else:
                    tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 1,
                                    what="the check mark")
                    self.assertEqual(os.stat(autostart).st_mode & 0o777, 0o700)
                for directory, names in left.items():
                    self.assertEqual(sorted(os.listdir(directory)), names)
                for blocker in filter(os.path.isfile, (autostart, self.config)):
                    with open(blocker, encoding="utf-8") as untouched:
                        self.assertEqual(untouched.read(), "not a directory")
                self.quit(monitor, item)


if __name__ == "__main__":
    unittest.main()
