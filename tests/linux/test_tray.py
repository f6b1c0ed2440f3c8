"""Ampora end to end: a simulated laptop, a private session bus, a virtual display, and the tray
read back the way a panel reads it.

Run each case under: dbus-run-session -- xvfb-run -a umockdev-wrapper /usr/bin/python3 THIS CASE
with AMPORA_BUNDLE set to the built Ampora.app.
"""
import ctypes
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tray_driver as tray  # noqa: E402

BUNDLE = os.environ.get("AMPORA_BUNDLE", "")
MONITOR = os.path.join(BUNDLE, "Contents/MacOS/Ampora")
HELPER = os.path.join(
    BUNDLE, "Contents/Library/LoginItems/Ampora-Helper.app/Contents/MacOS/Ampora-Helper")
# Sanitizer builds need their runtime ahead of umockdev's preload in every program we start.
PRELOAD_FIRST = os.environ.get("AMPORA_PRELOAD_FIRST") or None

PR_SET_CHILD_SUBREAPER = 36


def become_subreaper():
    """Programs the monitor or helper start (double-forked) become our children to wait for."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def exit_status(pid, timeout=10.0):
    """Waits for an orphan we adopted and returns its exit status."""
    def reaped():
        done, status = os.waitpid(pid, os.WNOHANG)
        return (status,) if done == pid else None
    (status,) = tray.wait_until(reaped, timeout, f"process {pid} to exit")
    return os.waitstatus_to_exitcode(status)


class TrayOnSimulatedLaptop(unittest.TestCase):
    def setUp(self):
        become_subreaper()
        self.laptop = tray.SimulatedLaptop()
        self.bus = tray.SessionBus()
        self.home = tempfile.TemporaryDirectory()
        self.config = os.path.join(self.home.name, "config dir")
        self.env = tray.monitor_environment(
            self.laptop, {"HOME": self.home.name, "XDG_CONFIG_HOME": self.config},
            PRELOAD_FIRST)
        self.children = []  # Popen objects
        self.orphans = []  # pids of programs our programs started

    def tearDown(self):
        for process in self.children:
            if process.poll() is None:
                process.terminate()
                process.wait()
        for pid in self.orphans:
            try:
                os.kill(pid, signal.SIGTERM)
                os.waitpid(pid, 0)
            except (ProcessLookupError, ChildProcessError):
                pass
        self.home.cleanup()

    def start(self, executable, env=None):
        process = tray.start(executable, env or self.env)
        self.children.append(process)
        return process

    def monitor_tray(self, pid):
        item = tray.TrayItem(self.bus, pid)
        tray.wait_until(lambda: item.title() != "Status", what="the first reading")
        return item

    @property
    def autostart_entry(self):
        return os.path.join(self.config, "autostart", "io.quillfen.Ampora-Helper.desktop")

    def test_laptop_charging_on_mains(self):
        self.laptop.laptop_on_mains()
        item = self.monitor_tray(self.start(MONITOR).pid)

        self.assertEqual(item.title(), "-850")
        self.assertEqual(item.lines(), tray.CHARGING_LINES)
        entries = item.entries()
        self.assertFalse(any(e["enabled"] for e in entries[:14]), "info lines must be inert")
        self.assertTrue(all(e["enabled"] for e in entries[14:]))
        self.assertEqual(entries[14]["toggle-type"], "checkmark")
        self.assertEqual(entries[14]["toggle-state"], 0)

    def test_mains_unplugged_then_battery_discharges(self):
        self.laptop.laptop_on_mains()
        item = self.monitor_tray(self.start(MONITOR).pid)

        self.laptop.unplug_mains(current_ua=1234000)
        tray.wait_until(lambda: item.title() == "1234", what="the unplugged reading")
        lines = item.lines()
        self.assertEqual(lines[1], "\t1234 mAh (milliampere-hour)")
        self.assertEqual(lines[13], "\t3000 (75.00% Charged)")

        self.laptop.change("BAT0", charge_now=2990000, current_now=1500000)
        tray.wait_until(lambda: item.title() == "1500", what="the discharge step")
        lines = item.lines()
        self.assertEqual(len(lines), 18, "a rebuilt menu must not keep old entries")
        self.assertEqual(lines[1], "\t1500 mAh (milliampere-hour)")
        self.assertEqual(lines[13], "\t2990 (74.75% Charged)")

    def test_user_turns_open_at_login_on_then_off(self):
        self.laptop.laptop_on_mains()
        item = self.monitor_tray(self.start(MONITOR).pid)
        helper = tray.NameHistory(self.bus, tray.HELPER_ID)

        item.click("Open at login")
        tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 1,
                        what="the check mark")
        self.assertTrue(os.path.exists(self.autostart_entry))
        validate = subprocess.run(["desktop-file-validate", self.autostart_entry],
                                  capture_output=True, text=True)
        self.assertEqual(validate.returncode, 0, validate.stdout + validate.stderr)
        with open(self.autostart_entry, encoding="utf-8") as entry:
            self.assertIn(f"Exec={HELPER}\n", entry.read())
        # The helper starts at once, finds the monitor running and quits.
        tray.wait_until(lambda: helper.changes == [True, False], what="the helper to come and go")

        # A new reading keeps the check mark.
        self.laptop.change("BAT0", current_now=900000)
        tray.wait_until(lambda: item.title() == "-900", what="a reading")
        self.assertEqual(item.entry("Open at login")["toggle-state"], 1)

        item.click("Open at login")
        tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 0,
                        what="the check mark to go")
        self.assertFalse(os.path.exists(self.autostart_entry))
        self.assertEqual(os.listdir(os.path.dirname(self.autostart_entry)), [])

    def test_open_at_login_with_an_unusable_config_directory(self):
        # A file where the configuration directory should be: the entry can't be written.
        with open(self.config, "w", encoding="utf-8") as blocker:
            blocker.write("not a directory")
        self.laptop.laptop_on_mains()
        monitor = self.start(MONITOR)
        item = self.monitor_tray(monitor.pid)
        helper = tray.NameHistory(self.bus, tray.HELPER_ID)

        item.click("Open at login")
        # The failure alert is up now; the monitor keeps serving its menu meanwhile.
        tray.pump(1.0)
        self.assertEqual(len(item.lines()), 18)
        self.assertIsNone(monitor.poll())
        self.assertEqual(helper.changes, [], "no helper may start when nothing was registered")
        with open(self.config, encoding="utf-8") as blocker:
            self.assertEqual(blocker.read(), "not a directory")

    def test_login_starts_helper_which_starts_monitor(self):
        self.laptop.laptop_on_mains()
        helper_name = tray.NameHistory(self.bus, tray.HELPER_ID)
        helper = self.start(HELPER)

        owner = tray.wait_until(lambda: self.bus.has_owner(tray.MAIN_ID) and True,
                                what="the monitor to start")
        self.assertTrue(owner)
        monitor = self.bus.pid_of(tray.MAIN_ID)
        self.orphans.append(monitor)
        self.assertEqual(helper.wait(10), 0, "the monitor tells the helper to quit")
        tray.wait_until(lambda: helper_name.changes == [True, False],
                        what="the helper's name to go")

        item = self.monitor_tray(monitor)
        tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 1,
                        what="Open at login checked")
        item.click("Quit")
        self.assertEqual(exit_status(monitor), 0)

    def test_user_quits_from_the_menu(self):
        self.laptop.laptop_on_mains()
        monitor = self.start(MONITOR)
        item = self.monitor_tray(monitor.pid)
        item.click("Quit")
        self.assertEqual(monitor.wait(10), 0)
        self.assertFalse(self.bus.has_owner(tray.MAIN_ID))

    def test_desktop_without_battery(self):
        # Only mains power and a wireless mouse's battery: nothing to show, but Ampora can quit.
        self.laptop.plug_in("AC", {"type": "Mains", "online": "1"})
        self.laptop.plug_in("hidpp_battery_0", {"type": "Battery", "status": "Discharging",
                                                "present": "1", "capacity": "40"},
                            scope="Device")
        monitor = self.start(MONITOR)
        item = tray.TrayItem(self.bus, monitor.pid)
        time.sleep(0.5)
        self.assertEqual(item.title(), "Status")
        self.assertEqual(item.lines(), ["Reading battery…", "Quit"])
        self.assertFalse(item.entry("Reading battery…")["enabled"])
        item.click("Quit")
        self.assertEqual(monitor.wait(10), 0)

    def test_started_without_a_display(self):
        env = dict(self.env)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        result = subprocess.run([MONITOR], env=env, capture_output=True, text=True, timeout=10)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
        self.assertIn("cannot open display", result.stderr)

    def test_started_without_a_session_bus(self):
        self.laptop.laptop_on_mains()
        env = dict(self.env, DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/bus")
        process = self.start(MONITOR, env)
        # Long enough for the first reading and the tray's fallback timers to have run.
        time.sleep(2.5)
        self.assertIsNone(process.poll(), "the monitor must keep running without a bus")


if __name__ == "__main__":
    unittest.main()
