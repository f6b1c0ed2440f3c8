# Ampora end to end, each case on its own private session bus, virtual display and simulated
# laptop: the tray read back the way a panel reads it, real panels read back from the screen the
# way a user reads them, and the monitor under load and faults. In a sanitizer build every
# monitor that quits runs with leak detection on.
#
# Run each case under: dbus-run-session -- xvfb-run -a umockdev-wrapper /usr/bin/python3 THIS CASE
import contextlib
import json
import os
import pathlib
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import panels  # noqa: E402
import tray_driver as tray  # noqa: E402

STORE = os.environ.get("AMPORA_STORE_URL", "appstream:com.larchmoor.Ampora")
SITE = "http://%s/?referrer?Ampora" % os.environ.get("AMPORA_SITE_HOST", "larchmoor.com")
# umockdev's simulated event socket holds about ten events: send a few, let them be handled.
SLICE = 8


def cpu_ticks(pid):  # user and system time so far, in clock ticks
    fields = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def anonymous_kb(pid):  # memory of its own (heap and the like), which others don't move
    with open(f"/proc/{pid}/smaps_rollup", encoding="ascii") as rollup:
        return next(int(line.split()[1]) for line in rollup if line.startswith("Anonymous:"))


def context_switches(pid):  # of all its threads so far
    return sum(int(line.split()[1]) for status in pathlib.Path(f"/proc/{pid}/task").glob(
        "*/status") for line in status.read_text().splitlines() if "ctxt_switches" in line)


def next_line(process, wait=10):  # unbuffered, so that select sees what is not read yet
    if not select.select([process.stdout], [], [], wait)[0]:
        raise TimeoutError(f"no line in {wait} s")
    return process.stdout.readline().decode().removesuffix("\n")


class TrayOnSimulatedLaptop(tray.AmporaCase):
    def test_a_day_on_the_laptop(self):
        watcher = tray.Watcher(self.bus)
        # At login the helper starts the monitor, which tells it to quit: "Open at login" is on,
        # as the entry the session started it from says.
        os.makedirs(os.path.dirname(self.autostart_entry))
        pathlib.Path(self.autostart_entry).write_text(
            f"[Desktop Entry]\nType=Application\nName=A\nExec={tray.HELPER}\n")
        helper = tray.NameHistory(self.bus, tray.HELPER_ID)
        self.assertEqual(self.start(tray.HELPER).wait(30), 0, "the monitor tells it to quit")
        monitor = tray.wait_until(lambda: self.bus.pid_of(tray.MAIN_ID), what="the monitor")
        self.addCleanup(subprocess.run, ["kill", "-KILL", str(monitor)], capture_output=True)
        tray.wait_until(lambda: helper.changes == [True, False], what="the helper to go")
        item = tray.TrayItem(self.bus, monitor, timeout=30)
        tray.wait_until(lambda: item.title() == "-850", 30, "the first reading")
        self.assertEqual(item.lines(), tray.CHARGING_LINES)
        entries = item.entries()
        self.assertEqual([e["enabled"] for e in entries], [False] * 14 + [True] * 4,
                         "the facts are inert, the commands are not")
        self.assertEqual((entries[14]["toggle-type"], entries[14]["toggle-state"]),
                         ("checkmark", 1))
        tooltip = "\n".join(f"{label} {value}" for label, value in tray.FACTS)
        self.assertEqual(item.property("ToolTip")[2:], ("-850", tooltip))
        # A panel that shows no labels took it: the title is the icon.
        tray.wait_until(lambda: watcher.registrations, what="the item to register")
        self.assertEqual(watcher.registrations, [(item.name, tray.ITEM_PATH)])
        self.assertEqual((item.property("IconName"), item.property("XAyatanaLabel")), ("", ""))
        self.assertTrue(item.property("IconPixmap"))

        # Started again (autostart and the applications menu): the second one leaves at once.
        self.bus.own(tray.HELPER_ID)
        for program, name in ((tray.MONITOR, "Ampora"), (tray.HELPER, "Ampora-Helper")):
            again = subprocess.run([program], env=self.env, capture_output=True, text=True,
                                   timeout=10)
            self.assertEqual((again.returncode, again.stderr),
                             (0, f"{name}: already running in this session\n"))
        self.bus.bus_call("ReleaseName", "s", tray.HELPER_ID, reply="(u)")
        self.assertEqual((self.bus.pid_of(tray.MAIN_ID), item.title()), (monitor, "-850"))

        # A hundred readings: no new registration, and a few signals each (title, icon, tooltip,
        # and one menu update; no label where none is shown).
        signals = item.signals
        for current in range(1001, 1101):
            self.laptop.change("BAT0", current_now=current * 1000)
            item.wait_for(f"-{current}")
        tray.pump(0.3)
        self.assertEqual(len(watcher.registrations), 1, "registered again for a reading")
        self.assertLessEqual(item.signals - signals, 4 * 100 + 5)  # and start-up's last few
        self.assertEqual(item.property("ToolTip")[2:], ("-1100", tooltip.replace("-850", "-1100")))
        # No GTK window was shown, so GTK was never loaded.
        with open(f"/proc/{monitor}/maps", encoding="utf-8") as maps:
            self.assertEqual(re.findall(r"\S*lib(?:gtk-3|gdk-3|gdk_pixbuf)\S*", maps.read()), [])
        # The panel restarts: the item registers with the new watcher, once.
        watcher.restart()
        tray.wait_until(lambda: len(watcher.registrations) == 2, what="a new registration")

        self.laptop.change("BAT0", charge_now=2990000)
        tray.wait_until(lambda: item.lines()[13] == tray.INDENT + "2990 (74.75% Charged)",
                        what="the charge, the title unchanged")
        self.assertEqual(len(item.lines()), 18, "a new reading must not keep old entries")

        # Off, then on: the entry names the installed helper, which starts, finds us and quits.
        item.click("Open at login")
        tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 0,
                        what="the check mark to go")
        helper = tray.NameHistory(self.bus, tray.HELPER_ID)
        item.click("Open at login")
        tray.wait_until(lambda: helper.changes == [True, False], what="the helper to come and go")
        self.assertEqual(item.entry("Open at login")["toggle-state"], 1)
        self.assertIn(f"Exec={tray.HELPER}\n", pathlib.Path(self.autostart_entry).read_text())
        self.laptop.change("BAT0", current_now=900000)
        item.wait_for("-900")
        self.assertEqual(item.entry("Open at login")["toggle-state"], 1, "a reading kept it")
        item.click("Quit")
        # The monitor is an orphan we adopted (the test's time limit bounds the wait).
        self.assertEqual(os.waitstatus_to_exitcode(os.waitpid(monitor, 0)[1]), 0)

        # Started again by hand, the entry edited by the user meanwhile: still on; one click
        # turns it off.
        with open(self.autostart_entry, "a", encoding="utf-8") as entry:
            entry.write("X-GNOME-Autostart-Delay=15\n")
        monitor, item = self.start_monitor(first_title="-900")
        self.assertEqual(item.entry("Open at login")["toggle-state"], 1)
        item.click("Open at login")
        tray.wait_until(lambda: item.entry("Open at login")["toggle-state"] == 0, what="no mark")
        self.assertEqual(os.listdir(os.path.dirname(self.autostart_entry)), [])
        self.quit(monitor, item)

    def test_desktop_without_battery(self):
        # Only mains power and a wireless mouse's battery: nothing to show, but Ampora can quit.
        self.laptop.take_out("BAT0")
        self.laptop.plug_in("hidpp_battery_0", {"type": "Battery", "status": "Discharging",
                                                "present": "1", "capacity": "40"},
                            scope="Device")
        monitor, item = self.start_monitor(first_title=None)
        tray.pump(0.5)
        self.assertEqual(item.title(), "Status")
        self.assertEqual(item.lines(), ["Reading battery…", "Quit"])
        self.quit(monitor, item)

    def test_wayland_session_without_x(self):
        # The compositor's socket is all the display check needs: the tray item is on the bus.
        tray.Watcher(self.bus)
        compositor = socket.socket(socket.AF_UNIX)
        self.addCleanup(compositor.close)
        compositor.bind(os.path.join(self.home.name, "wayland-0"))
        compositor.listen()
        env = dict({k: v for k, v in self.env.items() if k != "DISPLAY"},
                   XDG_RUNTIME_DIR=self.home.name, WAYLAND_DISPLAY="wayland-0")
        self.quit(*self.start_monitor(env=env))

    def test_the_number_shows_once_as_a_label_or_drawn(self):
        # GNOME Shell's AppIndicator extension shows the label beside the icon; its watcher lives
        # in the process that owns org.gnome.Shell.
        self.bus.own("org.gnome.Shell")
        watcher = tray.Watcher(self.bus)
        monitor, item = self.start_monitor()
        tray.wait_until(lambda: item.property("XAyatanaLabel") == "-850", what="the label")
        self.assertNotEqual(item.property("IconName"), "")
        self.assertEqual(item.property("IconPixmap"), [])
        # The panel restarts as one that shows no labels: the title is drawn, and no label sent.
        self.bus.bus_call("ReleaseName", "s", "org.gnome.Shell", reply="(u)")
        watcher.restart()
        tray.wait_until(lambda: item.property("IconName") == "", what="the drawn title")
        self.assertEqual(item.property("XAyatanaLabel"), "")
        self.assertTrue(item.property("IconPixmap"))
        self.quit(monitor, item)

    def test_a_click_the_panel_passes_on_opens_the_menu(self):
        # LXQt and Cinnamon pass a left click on (Activate); what else a panel may call needs
        # nothing done. None is answered with an error.
        tray.Watcher(self.bus)
        monitor, item = self.start_monitor()
        for method, signature, args in (("SecondaryActivate", "(ii)", (5, 5)),
                                        ("XAyatanaSecondaryActivate", "(u)", (0,)),
                                        ("Scroll", "(is)", (1, "vertical")),
                                        ("ProvideXdgActivationToken", "(s)", ("token",))):
            self.bus.call(item.name, tray.ITEM_PATH, tray.ITEM_INTERFACE, method,
                          tray.GLib.Variant(signature, args))
        # The menu opens at the point given, or at the pointer where the panel gives none. (GTK
        # keeps windows of its own at 1x1 or off screen.)
        def menus():
            return [box for window in panels._windows("--name", "") - shown
                    if (box := panels._geometry(window)) and min(box) >= 0 and min(box[2:]) > 1]
        for method, point, corner in (("ContextMenu", (300, 250), (300, 250)),
                                      ("Activate", (0, 0), (200, 150)), ("Activate", (0, 0), None)):
            shown = panels._windows("--name", "")
            tray.xdotool("mousemove", "200", "150")  # stays once GTK holds the display open
            self.bus.call(item.name, tray.ITEM_PATH, tray.ITEM_INTERFACE, method,
                          tray.GLib.Variant("(ii)", point))
            menu = tray.wait_until(menus, 30, "the menu")
            if not corner:
                break
            self.assertEqual(menu[0][:2], corner)
            tray.xdotool("key", "Escape")
            tray.wait_until(lambda: not menus(), what="the menu to close")
        # Its last entry quits.
        tray.xdotool("key", "Up", "Return")
        self.assertEqual(monitor.wait(30), 0)

    def test_watch_prints_each_change_for_a_bar_and_nothing_between(self):
        # No display, no tray, no bus name: it runs beside the tray item. The title alone, and
        # Waybar's JSON. (umockdev sends events to the program started last: one at a time.)
        env = {k: v for k, v in self.env.items() if "DISPLAY" not in k}

        def facts(current, charge):
            return "\n".join(f"{label} {value}" for label, value in tray.FACTS).replace(
                "-850 mAh", f"{current} mAh").replace("3000 (75.00%", charge)
        mains = {"text": "-850", "tooltip": facts("-850", "3000 (75.00%"), "class": "charging",
                 "percentage": 75}
        charged = dict(mains, tooltip=facts("-850", "2990 (74.75%"), percentage=74)
        unplugged = dict(charged, text="1234", tooltip=facts("1234", "2990 (74.75%"),
                         **{"class": "discharging"})
        for format, parse, shown in (([], str, ["-850", "1234"]),
                                     (["--format=waybar"], json.loads, [mains, charged, unplugged])):
            self.laptop.set("BAT0", **tray.CHARGING_BATTERY)
            self.laptop.set("AC", online=1)
            watch = self.start(args=["--watch", *format], env=env, stdout=subprocess.PIPE,
                               text=False, bufsize=0)
            self.assertEqual(parse(next_line(watch)), shown[0])
            # Idle, once it went to sleep after the line: it neither wakes up nor writes.
            time.sleep(0.5)
            switches = context_switches(watch.pid)
            time.sleep(2)
            self.assertEqual(context_switches(watch.pid), switches, "wake-ups while idle")
            # The charge alone changes what Waybar shows, not the title; then the title too.
            # (The second change waits for the first to be read: a reading between the writes
            # of one change would see half of it.)
            self.laptop.change("BAT0", charge_now=2990000)
            self.assertEqual([parse(next_line(watch)) for _ in shown[1:-1]], shown[1:-1])
            with contextlib.suppress(TimeoutError):
                self.fail(f"a line more after the charge: {next_line(watch, 1)}")
            self.laptop.unplug_mains(current_ua=1234000)
            self.assertEqual(parse(next_line(watch)), shown[-1])
            self.assertEqual(select.select([watch.stdout], [], [], 0.2)[0], [], "one line more")
            self.assertFalse(self.bus.has_owner(tray.MAIN_ID))
            # The bar goes away: it ends at once, with no reading to write.
            watch.stdout.close()
            self.assertEqual(watch.wait(10), 0)

    def test_command_line_without_a_display(self):
        env = dict({k: v for k, v in self.env.items() if "DISPLAY" not in k}, LC_ALL="C")
        # A bundle that lost its GTK module.
        broken = os.path.join(self.home.name, "Ampora.app/Contents/MacOS/Ampora")
        os.makedirs(os.path.dirname(broken))
        shutil.copy(tray.MONITOR, broken)
        for args, display, status, output, errors in [
                (["--version"], {}, 0, r"Ampora \d+\.\d+\.\d+\n$", "$"),
                (["--help"], {}, 0, r"Usage:\n  Ampora \[OPTION.*--version", "$"),
                (["--bogus"], {}, 2, "$", r"Ampora: Unknown option --bogus\n\nUsage:\n  Ampora "),
                (["stray"], {}, 2, "$", r"Ampora: unexpected argument stray\n\nUsage:"),
                (["--format=waybar"], {}, 2, "$", r"Ampora: --format needs --watch\n\nUsage:"),
                (["--watch", "--format=csv"], {}, 2, "$",
                 r"Ampora: unknown format csv \(plain or waybar\)\n\nUsage:"),
                ([], {}, 1, "$", r"Ampora: cannot open display \(neither DISPLAY nor WAYLAND_DISP"
                                 r"LAY is set\)\n$"),
                ([], {"DISPLAY": ":4242"}, 1, "$", r"Ampora: cannot open display :4242\n$"),
                ([], {"WAYLAND_DISPLAY": "wayland-42"}, 1, "$",
                 r"Ampora: cannot open display wayland-42\n$"),
                ([broken], {"DISPLAY": self.env["DISPLAY"]}, 1, "$",
                 f"Ampora: {os.path.dirname(os.path.dirname(broken))}/PlugIns/ampora-gtk.so is "
                 r"missing; reinstall Ampora\n$")]:
            program, args = (args[0], []) if args[:1] == [broken] else (tray.MONITOR, args)
            run = subprocess.run([program, *args], env=dict(env, **display), capture_output=True,
                                 text=True, timeout=10)
            self.assertEqual(run.returncode, status, args)
            self.assertRegex(run.stdout, re.compile("^" + output, re.S))
            self.assertRegex(run.stderr, re.compile("^" + errors, re.S))

    # A desktop whose only URL handlers are ours, one for each scheme given, found through the
    # user's defaults as a desktop's settings write them.
    def desktop_handling(self, *schemes):
        data = tempfile.mkdtemp(dir=self.home.name)
        self.opened = os.path.join(data, "opened")
        files = {"config/mimeapps.list": "[Default Applications]\n"}
        for scheme in schemes:
            handler = os.path.join(data, scheme + "-handler")
            files[handler] = (f'#!/bin/sh\necho "$1${{GDK_GL+ GDK_GL}}${{GIO_USE_VFS+ GIO_USE_VFS}}"'
                              f" >> '{self.opened}'\n")
            files[f"applications/{scheme}-handler.desktop"] = (
                f"[Desktop Entry]\nType=Application\nName={scheme} handler\n"
                f'Exec="{handler}" %u\nMimeType=x-scheme-handler/{scheme};\n')
            files["config/mimeapps.list"] += f"x-scheme-handler/{scheme}={scheme}-handler.desktop\n"
        for name, text in files.items():
            path = os.path.join(data, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as file:
                file.write(text)
            os.chmod(path, 0o755 if name.endswith("-handler") else 0o644)
        # The system's data as it is (the toolkit needs it), less its applications.
        system = os.path.join(data, "system")
        os.mkdir(system)
        for name in set(os.listdir("/usr/share")) - {"applications"}:
            os.symlink(os.path.join("/usr/share", name), os.path.join(system, name))
        return dict(self.env, XDG_DATA_HOME=data, XDG_DATA_DIRS=system,
                    XDG_CONFIG_HOME=os.path.join(data, "config"))

    # The menu's store link, opened through URL handlers of the test's own in a private data
    # directory (none of the system's): each records the address it is asked to open, and which of
    # the switches the monitor set for itself (GTK's GL, GIO's file systems) it was handed.
    def test_rate_opens_the_software_centre_or_else_the_site(self):
        # No software centre: the click still leads somewhere.
        for schemes, opened in [(("appstream", "http"), STORE), (("http", ), SITE)]:
            monitor, item = self.start_monitor(env=self.desktop_handling(*schemes))
            item.click("Rate Ampora")
            tray.wait_until(lambda: os.path.exists(self.opened), 30, "what the click opened")
            tray.pump(0.3)  # and nothing more
            self.quit(monitor, item)
            with open(self.opened, encoding="utf-8") as handled:
                self.assertEqual(handled.read().splitlines(), [opened], schemes)


class TrayInRealPanels(tray.AmporaCase):
    def check(self, host_name, icon_name):
        # The title on screen, then the next reading, then the menu; icon_name: what the item
        # names as its icon ("" where it draws the title).
        with panels.Host(host_name) as host:
            self.laptop.unplug_mains(current_ua=1234000)
            monitor, item = self.start_monitor(first_title="1234")
            host.wait_for_text("1234")
            self.assertEqual(item.property("IconName"), icon_name)
            self.laptop.change("BAT0", current_now=1500000)
            host.wait_for_text("1500")
            menu = host.open_menu(os.path.join(self.home.name, "menu.png"))
            text = panels.read_text(panels.screenshot(f"{self.home.name}/lines.png", menu, 2))
            self.assertEqual([t for t in ("Current Usage:", "1500", "Quit") if t not in text], [])
            self.quit(monitor, item)

    def test_xfce_status_tray_shows_the_drawn_title(self):
        self.check("xfce-systray", "")

    def test_xfce_indicator_plugin_shows_the_label_by_a_battery_icon(self):
        self.check("xfce-indicator", "battery-level-80-symbolic")

    def test_trayer_shows_the_drawn_title(self):
        self.check("trayer", "")

    def test_trayer_beside_a_watcher_that_shows_nothing(self):
        # A desktop's watcher with no panel behind it, then one that doesn't answer: the item
        # stays registered and shows in the XEmbed tray within 5 s, and leaves it once a panel
        # shows it, never showing twice.
        watcher = tray.Watcher(self.bus, host=False)
        self.laptop.unplug_mains(current_ua=1234000)
        with panels.Host("trayer", timeout=5) as trayer:
            monitor, item = self.start_monitor(first_title="1234")
            trayer.wait_for_text("1234")
            watcher.host_registered()
            trayer.wait(lambda: not trayer.item_box(), "the XEmbed icon to go")
            watcher.silent = True
            watcher.restart()
            trayer.wait_for_text("1234")
            watcher.answer()
            trayer.wait(lambda: not trayer.item_box(), "the XEmbed icon to go")
            self.assertEqual([name for name, _ in watcher.registrations], [item.name] * 2)
            self.quit(monitor, item)


class MonitorUnderLoadAndFaults(tray.AmporaCase):
    ticks = 0

    # Counts the monitor's readings of BAT0 from now on: each opens its current_now once to read
    # it (the test only writes it). Call the counter often: the kernel's queue is bounded.
    def reading_counter(self):
        libc, total = tray.ctypes.CDLL(None), [0]
        fd = libc.inotify_init1(os.O_NONBLOCK)
        self.addCleanup(os.close, fd)
        battery = (self.laptop.root + self.laptop.paths["BAT0"]).encode()
        libc.inotify_add_watch(fd, battery, 0x10)  # IN_CLOSE_NOWRITE

        def count():
            with contextlib.suppress(BlockingIOError):
                while True:
                    total[0] += os.read(fd, 65536).count(b"current_now\0")
            return total[0]
        return count

    # count change events of BAT0, SLICE at a time, each with a current never sent before; waits
    # for the last of each slice to be shown. With mains, the adapter flaps instead (on and off
    # by turns, ending on mains). Returns the last title.
    def changes(self, item, count, mains=None, readings=None):
        for start in range(0, count, SLICE):
            for n in range(start, min(start + SLICE, count)):
                self.ticks += 1
                self.laptop.set("BAT0", current_now=(1000 + self.ticks) * 1000)
                if mains:
                    on = (count - n) % 2
                    self.laptop.set("BAT0", status=("Discharging", "Charging")[on])
                    self.laptop.change(mains, online=on)
                else:
                    self.laptop.testbed.uevent(self.laptop.paths["BAT0"], "change")
            item.wait_for(f"-{1000 + self.ticks}", 30)
            readings and readings()
        return item.titles[-1]

    def test_ten_thousand_battery_changes_then_the_adapter_flapping(self):
        monitor, item = self.start_monitor()
        readings = self.reading_counter()
        announced = len(item.titles)
        self.changes(item, 2000, readings=readings)
        settled = anonymous_kb(monitor.pid)
        last = self.changes(item, 8000, readings=readings)
        growth = anonymous_kb(monitor.pid) - settled
        self.assertEqual(item.lines()[1], f"{tray.INDENT}{last} mAh (milliampere-hour)")
        tray.pump(0.2)
        self.assertEqual(readings(), 10000, "one reading per event, none dropped or merged")
        shown = [-int(t) for t in item.titles[announced:]]
        self.assertEqual(shown, sorted(set(shown)), "a reading went back in time")
        # Objects kept by mistake stay reachable, so the leak checker can't see them; memory
        # can. A sanitizer's allocator holds freed memory back for a while: release builds only.
        if not tray.PRELOAD_FIRST:
            self.assertLess(growth, 4096, "kB more after 8000 readings: something is kept")

        last = self.changes(item, 1000, mains="AC", readings=readings)
        self.assertEqual(item.lines()[1], f"{tray.INDENT}{last} mAh (milliampere-hour)")
        tray.pump(0.2)
        self.assertEqual(readings(), 11000, "the battery is re-read at every flap")
        self.quit(monitor, item)

    def test_two_packs_show_as_one_until_taken_out_and_another_put_back(self):
        # A laptop with an internal and an external pack, and an empty bay (no battery).
        self.laptop.plug_in("BAT1", dict(tray.CHARGING_BATTERY, current_now="410000",
                                         charge_now="1000000", charge_full="2000000",
                                         charge_full_design="2500000", cycle_count="12"))
        self.laptop.plug_in("BAT2", {"type": "Battery", "present": "0"})
        monitor, item = self.start_monitor(first_title="-1260")
        self.assertEqual(item.lines()[13], tray.INDENT + "4000 (66.67% Charged)")
        # Off mains, events of either pack: one title, the sum, never one pack's figure.
        self.laptop.set("BAT0", status="Discharging", current_now=200000)
        self.laptop.set("BAT1", status="Discharging", current_now=1100000)
        self.laptop.change("AC", online=0)
        item.wait_for("1300")
        announced = len(item.titles)
        for battery in ("BAT1", "BAT0", "BAT1", "BAT0"):
            self.laptop.change(battery)
        self.laptop.change("BAT0", current_now=300000)
        item.wait_for("1400")
        # Events are handled in order: none in between showed one pack's current.
        self.assertEqual(item.titles[announced:], ["1400"])
        # The external pack taken out: the internal one alone.
        self.laptop.take_out("BAT1")
        item.wait_for("300")
        self.assertEqual(item.lines()[13], tray.INDENT + "3000 (75.00% Charged)")

        # The last one out, with the adapter still reporting: the last reading stays up.
        self.laptop.take_out("BAT0")
        self.laptop.change("AC", online=1)
        tray.pump(0.5)
        self.assertEqual(item.title(), "300")
        # A different battery goes into the bay: read at once, then followed.
        self.laptop.plug_in("BAT0", dict(tray.CHARGING_BATTERY, current_now="640000"))
        item.wait_for("-640")
        self.assertEqual(self.changes(item, 3), item.title())
        self.quit(monitor, item)

    def test_battery_attributes_turn_to_garbage_and_back(self):
        monitor, item = self.start_monitor()
        garbage = [("current_now", b"lots"), ("current_now", b""), ("current_now", b"-"),
                   ("current_now", b"99999999999999999999999999"), ("charge_full", b"0"),
                   ("current_now", b"\xff\xfe\x00\x01"), ("current_now", b"-9223372036854775808"),
                   ("charge_full_design", b"-5"), ("temp", b"2147483647"), ("cycle_count", b"1e9"),
                   ("manufacture_month", b"13"), ("status", b"Sideways"), ("type", b"Toaster"),
                   ("present", b"0"), ("serial_number", b"\xc3\x28 \n\t")]
        # One at a time, then all at once; good values again show the battery as before.
        for bad in [[one] for one in garbage] + [garbage]:
            for attribute, value in bad:
                self.laptop.testbed.set_attribute_binary(self.laptop.paths["BAT0"], attribute,
                                                         value)
            self.laptop.change("BAT0")
            # Events are handled in order: once the next good reading shows, this one is done.
            self.laptop.set("BAT0", **{a: tray.CHARGING_BATTERY[a] for a, _ in bad})
            self.changes(item, 1)
            self.assertIsNone(monitor.poll(), bad)
        self.laptop.change("BAT0", current_now=850000)
        item.wait_for("-850")
        self.assertEqual(item.lines(), tray.CHARGING_LINES)
        self.quit(monitor, item)

    def test_session_bus_daemon_dies_mid_run(self):
        # A bus of the monitor's own, so that the one this test talks over survives.
        daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            address = daemon.stdout.readline().strip()
            self.bus = tray.SessionBus(tray.Gio.DBusConnection.new_for_address_sync(
                address, tray.Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
                tray.Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None))
            self.bus.connection.set_exit_on_close(False)
            monitor, item = self.start_monitor(env=dict(self.env, DBUS_SESSION_BUS_ADDRESS=address))
            self.changes(item, 3)
        finally:
            daemon.kill()
            daemon.wait()
        # The tray falls back to an XEmbed icon titled like the item: the readings go on there,
        # as on the icon of a monitor started now, without a bus.
        self.start(env=dict(self.env, DBUS_SESSION_BUS_ADDRESS=address))
        self.laptop.change("BAT0", current_now=2000000)
        tray.wait_until(lambda: [tray.xdotool("getwindowname", w) for w in tray.windows(
            "--class", tray.MAIN_ID)].count("-2000\n") == 2, what="the reading on both tray icons")
        monitor.terminate()
        self.assertEqual(monitor.wait(30), -signal.SIGTERM)

    def test_started_with_the_standard_streams_closed(self):
        # As some launchers start programs; the helper then passed it on. The item comes up and
        # idles: no main loop spinning on a descriptor silenced under it.
        for program in (tray.MONITOR, tray.HELPER):
            self.start("/bin/sh", ["-c", 'exec "$0" <&- >&- 2>&-', program])
            monitor = tray.wait_until(lambda: self.bus.pid_of(tray.MAIN_ID), 30, "the monitor")
            item = tray.TrayItem(self.bus, monitor, timeout=30)
            item.wait_for("-850", 30)
            tray.pump(1)
            busy = cpu_ticks(monitor)
            time.sleep(3)
            self.assertLess(cpu_ticks(monitor) - busy, 10, "ticks of CPU in 3 s while idle")
            item.click("Quit")
            self.assertEqual(os.waitstatus_to_exitcode(os.waitpid(monitor, 0)[1]), 0)

    def test_helper_leaves_when_its_monitor_cannot_start_or_ends(self):
        # A copy of the helper in a bundle of the test's, beside a monitor that is missing or
        # runs until killed; and the real one, whose monitor finds no display.
        helper = os.path.join(self.home.name, "A.app/Contents/Library/LoginItems/H.app/Contents/"
                                              "MacOS/Ampora-Helper")
        os.makedirs(os.path.dirname(helper))
        shutil.copy(tray.HELPER, helper)
        stand_in = os.path.join(self.home.name, "A.app/Contents/MacOS/Ampora")
        no_display = {k: v for k, v in self.env.items() if "DISPLAY" not in k}
        for program, monitor, env in ((helper, None, self.env), (helper, "sleep", self.env),
                                      (tray.HELPER, None, no_display)):
            if monitor:
                os.makedirs(os.path.dirname(stand_in))
                pathlib.Path(stand_in).write_text("#!/bin/sh\nexec sleep 600\n")
                os.chmod(stand_in, 0o755)
            process = self.start(program, env=env)
            if monitor:
                children = pathlib.Path(f"/proc/{process.pid}/task/{process.pid}/children")
                child = int(tray.wait_until(children.read_text, 10, "the stand-in"))
                tray.wait_until(lambda: b"sleep" in pathlib.Path(f"/proc/{child}/cmdline")
                                .read_bytes(), 10, "the stand-in to run")
                os.kill(child, signal.SIGKILL)
            self.assertEqual(process.wait(10), 0, program)
            self.assertFalse(self.bus.has_owner(tray.HELPER_ID))

    def test_start_on_a_session_bus_that_never_answers(self):
        # It accepts connections and says nothing. The helper leaves, the monitor goes on
        # without it (an XEmbed icon); both say why within a few seconds.
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as hung:
            hung.bind(os.path.join(self.home.name, "bus"))
            hung.listen(8)
            env = dict(self.env, DBUS_SESSION_BUS_ADDRESS=f"unix:path={hung.getsockname()}")
            started = {name: self.start(program, env=env, stderr=subprocess.PIPE) for program,
                       name in ((tray.HELPER, "Ampora-Helper"), (tray.MONITOR, "Ampora"))}
            for name, process in started.items():
                self.assertTrue(select.select([process.stderr], [], [], 10)[0], "no word in 10 s")
                self.assertEqual(process.stderr.readline(),
                                 f"{name}: no session bus: it did not answer within 5 s\n")
            self.assertEqual(started["Ampora-Helper"].wait(5), 1)
            tray.wait_until(lambda: [tray.xdotool("getwindowname", w) for w in tray.windows(
                "--class", tray.MAIN_ID)] == ["-850\n"], 60, "the reading on the tray icon")

    def test_a_refusal_reaches_the_journal_once(self):
        # The monitor's streams are silenced: what it could not do goes to the journal, here a
        # socket of the test's, put where journald's is in a mount namespace of the monitor's.
        if os.geteuid() != 0:
            self.skipTest("a mount namespace needs root")
        journal = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.addCleanup(journal.close)
        journal.bind(os.path.join(self.home.name, "journal"))
        os.makedirs(self.config)
        open(os.path.join(self.config, "autostart"), "w", encoding="ascii").close()
        at = "/run/systemd/journal"
        monitor = self.start("unshare", ["-m", "sh", "-c", f'mount -t tmpfs none /run && mkdir -p'
                                         f' {at} && touch {at}/socket && mount --bind "$0" {at}/'
                                         f'socket && exec "$1"', journal.getsockname(), tray.MONITOR],
                             env=dict(self.env, LC_ALL="C"))
        item = tray.TrayItem(self.bus, monitor.pid, timeout=30)
        item.wait_for("-850", 30)
        for _ in range(2):
            item.click("Open at login")
            alert = tray.wait_until(lambda: tray.windows("--onlyvisible", "--name", "^Ampora$"))
            tray.xdotool("windowfocus", "--sync", alert[0], "key", "Escape")
            tray.wait_until(lambda: not tray.windows("--onlyvisible", "--name", "^Ampora$"))
        records = []
        while select.select([journal], [], [], 1)[0]:
            fields = journal.recv(65536).decode().splitlines()
            records.append(dict(field.split("=", 1) for field in fields))
        self.assertEqual([(r["SYSLOG_IDENTIFIER"], r["PRIORITY"], r["MESSAGE"]) for r in records
                          if r.get("GLIB_DOMAIN") == "Ampora" and r["PRIORITY"] != "7"],
                         [("Ampora", "4", f"launch at login: cannot create {self.config}/autostart:"
                                          " Not a directory")])
        self.quit(monitor, item)

    def test_open_at_login_where_the_entry_cannot_be_written(self):
        # A file where the configuration directory should be (the autostart directory: above).
        with open(self.config, "w", encoding="utf-8") as file:
            file.write("not a directory")
        monitor, item = self.start_monitor()
        helper = tray.NameHistory(self.bus, tray.HELPER_ID)
        self.assertEqual(item.entry("Open at login")["toggle-state"], 0, "not started at login")
        alerts = lambda: tray.windows("--onlyvisible", "--name", "^Ampora$")  # noqa: E731
        item.click("Open at login")
        # An alert says so; the check mark never claims otherwise.
        alert = tray.wait_until(alerts, 30, "the alert")
        self.assertEqual(len(item.lines()), 18, "the menu is served meanwhile")
        self.assertEqual(item.entry("Open at login")["toggle-state"], 0, "on under the alert")
        tray.xdotool("windowfocus", "--sync", alert[0], "key", "Escape")
        tray.wait_until(lambda: not alerts(), what="the alert to close")
        self.assertEqual(item.entry("Open at login")["toggle-state"], 0)
        self.assertEqual(helper.changes, [], "no helper without a registration")
        with open(self.config, encoding="utf-8") as untouched:
            self.assertEqual(untouched.read(), "not a directory")
        # Quit ends it at once, even under two alerts.
        for count in (1, 2):
            item.click("Open at login")
            tray.wait_until(lambda: len(alerts()) == count, 30, f"alert {count}")
        self.quit(monitor, item)


if __name__ == "__main__":
    unittest.main()
