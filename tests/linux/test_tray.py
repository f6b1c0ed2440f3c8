"""Ampora end to end: a simulated laptop, a private session bus, a virtual display, and the tray
read back the way a panel reads it.

Run each case under: dbus-run-session -- xvfb-run -a umockdev-wrapper /usr/bin/python3 THIS CASE
"""
import os
import re
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tray_driver as tray  # noqa: E402
from tray_driver import INDENT, GLib  # noqa: E402


def exit_status(pid, timeout=10.0):
    """Waits for an orphan we adopted and returns its exit status."""
    def reaped():
        done, status = os.waitpid(pid, os.WNOHANG)
        return done == pid and [os.waitstatus_to_exitcode(status)]
    return tray.wait_until(reaped, timeout, f"process {pid} to exit")[0]


class TrayOnSimulatedLaptop(tray.AmporaCase):
    def test_charging_unplugged_discharging_then_quit(self):
        self.laptop.laptop_on_mains()
        monitor, item, titles = self.start_monitor()
        self.assertEqual(item.lines(), tray.CHARGING_LINES)
        entries = item.entries()
        self.assertEqual([e["enabled"] for e in entries], [False] * 14 + [True] * 4,
                         "the facts are inert, the commands are not")
        self.assertEqual((entries[14]["toggle-type"], entries[14]["toggle-state"]),
                         ("checkmark", 0))
        _, _, heading, facts = item.property("ToolTip")
        self.assertEqual(heading, "-850")
        self.assertEqual(facts.split("\n"), [f"{label} {value.strip()}" for label, value in
                                             zip(tray.CHARGING_LINES[0:14:2],
                                                 tray.CHARGING_LINES[1:14:2])])

        self.laptop.unplug_mains(current_ua=1234000)
        titles.wait_for("1234")
        self.assertEqual(item.lines()[1], INDENT + "1234 mAh (milliampere-hour)")
        self.laptop.change("BAT0", charge_now=2990000, current_now=1500000)
        titles.wait_for("1500")
        lines = item.lines()
        self.assertEqual(len(lines), 18, "a new reading must not keep old entries")
        self.assertEqual((lines[1], lines[13]), (INDENT + "1500 mAh (milliampere-hour)",
                                                 INDENT + "2990 (74.75% Charged)"))
        self.assertEqual(item.property("ToolTip")[2], "1500")
        self.quit(monitor, item)

    def test_one_registration_and_a_few_signals_per_reading(self):
        watcher = tray.Watcher(self.bus)
        self.laptop.laptop_on_mains()
        monitor, item, titles = self.start_monitor()
        tray.wait_until(lambda: watcher.registrations, what="the item to register")
        self.assertEqual(watcher.registrations, [(item.name, tray.ITEM_PATH)])
        # No host that shows labels here: the title is the icon.
        self.assertEqual(item.property("IconName"), "")
        self.assertTrue(item.property("IconPixmap"))
        item.lines()  # a panel has read the menu: its changes are signalled from now on
        signals = tray.SignalCount(self.bus, item.name)
        for current in range(1001, 1101):
            self.laptop.change("BAT0", current_now=current * 1000)
            titles.wait_for(f"-{current}")
        tray.pump(0.3)
        self.assertEqual(len(watcher.registrations), 1, "registered again for a reading")
        # The title, label, icon and tooltip, and one menu update.
        self.assertLessEqual(signals.total, 5 * 100)
        self.assertEqual(item.lines()[1], INDENT + "-1100 mAh (milliampere-hour)")

        # The panel restarts: the item registers with the new watcher, once.
        watcher.go_away()
        tray.pump(0.5)
        watcher.come_back()
        tray.wait_until(lambda: len(watcher.registrations) == 2, what="a new registration")
        tray.pump(0.5)
        self.assertEqual(len(watcher.registrations), 2)
        self.quit(monitor, item)

    def test_user_turns_open_at_login_on_then_off(self):
        self.laptop.laptop_on_mains()
        monitor, item, titles = self.start_monitor()
        helper = tray.NameHistory(self.bus, tray.HELPER_ID)

        item.click("Open at login")
        tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 1,
                        what="the check mark")
        validate = subprocess.run(["desktop-file-validate", self.autostart_entry],
                                  capture_output=True, text=True)
        self.assertEqual(validate.returncode, 0, validate.stdout + validate.stderr)
        with open(self.autostart_entry, encoding="utf-8") as entry:
            self.assertIn(f"Exec={tray.HELPER}\n", entry.read())
        # The helper starts at once, finds the monitor running and quits.
        tray.wait_until(lambda: helper.changes == [True, False], what="the helper to come and go")

        self.laptop.change("BAT0", current_now=900000)
        titles.wait_for("-900")
        self.assertEqual(item.entry("Open at login")["toggle-state"], 1, "a reading kept it")

        item.click("Open at login")
        tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 0,
                        what="the check mark to go")
        self.assertEqual(os.listdir(os.path.dirname(self.autostart_entry)), [])
        self.quit(monitor, item)

    def test_login_starts_helper_which_starts_one_monitor(self):
        self.laptop.laptop_on_mains()
        helper_name = tray.NameHistory(self.bus, tray.HELPER_ID)
        helper = self.start(tray.HELPER)
        monitor = tray.wait_until(lambda: self.bus.has_owner(tray.MAIN_ID) and
                                  self.bus.pid_of(tray.MAIN_ID), what="the monitor to start")
        self.addCleanup(lambda: subprocess.run(["kill", "-KILL", str(monitor)],
                                               capture_output=True))
        self.assertEqual(helper.wait(10), 0, "the monitor tells the helper to quit")
        tray.wait_until(lambda: helper_name.changes == [True, False],
                        what="the helper's name to go")
        item = tray.TrayItem(self.bus, monitor)
        tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 1,
                        what="Open at login checked")

        # Started again (autostart and the applications menu): the second one leaves at once.
        again = subprocess.run([tray.MONITOR], env=self.env, capture_output=True, text=True,
                               timeout=10)
        self.assertEqual((again.returncode, again.stderr),
                         (0, "Ampora: already running in this session\n"))
        self.assertEqual(self.bus.pid_of(tray.MAIN_ID), monitor)
        self.assertEqual(item.title(), "-850")
        self.bus.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      "RequestName", GLib.Variant("(su)", (tray.HELPER_ID, 4)), "(u)")
        self.addCleanup(self.bus.bus_call, "ReleaseName", tray.HELPER_ID, "(u)")
        again = subprocess.run([tray.HELPER], env=self.env, capture_output=True, text=True,
                               timeout=10)
        self.assertEqual((again.returncode, again.stderr),
                         (0, "Ampora-Helper: already running in this session\n"))

        item.click("Quit")
        self.assertEqual(exit_status(monitor), 0)

    def test_desktop_without_battery(self):
        # Only mains power and a wireless mouse's battery: nothing to show, but Ampora can quit.
        self.laptop.plug_in("AC", {"type": "Mains", "online": "1"})
        self.laptop.plug_in("hidpp_battery_0", {"type": "Battery", "status": "Discharging",
                                                "present": "1", "capacity": "40"},
                            scope="Device")
        monitor, item, _ = self.start_monitor(first_title=None)
        tray.pump(0.5)
        self.assertEqual(item.title(), "Status")
        self.assertEqual(item.lines(), ["Reading battery…", "Quit"])
        self.assertFalse(item.entry("Reading battery…")["enabled"])
        self.quit(monitor, item)

    def test_command_line_without_a_display(self):
        env = {k: v for k, v in self.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["LC_ALL"] = "C"
        for args, status, output, errors in [
                (["--version"], 0, r"Ampora \d+\.\d+\.\d+\n", ""),
                (["--help"], 0, r"Usage:\n  Ampora \[OPTION.*--version", ""),
                (["--bogus"], 2, "", r"Ampora: Unknown option --bogus\n\nUsage:\n  Ampora "),
                (["stray"], 2, "", r"Ampora: unexpected argument stray\n\nUsage:"),
                ([], 1, "", r"Ampora: cannot open display \(neither DISPLAY nor WAYLAND_DISP"
                            r"LAY is set\)\n$")]:
            with self.subTest(args=args):
                run = subprocess.run([tray.MONITOR, *args], env=env, capture_output=True,
                                     text=True, timeout=10)
                self.assertEqual(run.returncode, status)
                self.assertRegex(run.stdout, re.compile("^" + output, re.S) if output else "^$")
                self.assertRegex(run.stderr, re.compile("^" + errors, re.S) if errors else "^$")

    def test_started_without_a_session_bus(self):
        self.laptop.laptop_on_mains()
        env = dict(self.env, DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/bus")
        monitor = self.start(env=env)
        # The tray icon shows the readings without a bus.
        tray.wait_until(lambda: ("-850" in [name for _, name in
                                            tray.windows("--class", tray.MAIN_ID)]),
                        what="the tray icon")
        self.laptop.change("BAT0", current_now=700000)
        tray.wait_until(lambda: ("-700" in [name for _, name in
                                            tray.windows("--class", tray.MAIN_ID)]),
                        what="the next reading on the tray icon")
        monitor.send_signal(signal.SIGTERM)
        self.assertEqual(monitor.wait(10), -signal.SIGTERM)


if __name__ == "__main__":
    unittest.main()
