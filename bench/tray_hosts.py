"""Runs the monitor on a simulated laptop in every tray host we know and prints what each shows.

Run through bench/tray-hosts. Usage: tray_hosts.py BUNDLE OUTDIR [HOST...]
Each host runs in a session of its own (private bus, virtual display, process group); this
script calls itself with --one for each, and ends whatever a session leaves behind. Pictures go
to OUTDIR: HOST-mains.png, HOST-unplugged.png, HOST-next.png (the tray at its real size) with a
4x enlargement each (-x4.png), and HOST-menu.png (the screen down to the menu a left click
opened). The table's readings are OCR, a hint only: judge from the pictures.
"""
import contextlib
import ctypes
import glob
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "../tests/linux"))
import panels  # noqa: E402
import tray_driver as tray  # noqa: E402

SCREEN = (1280, 1024)
HOST_SECONDS = 300  # a host's whole run, start to menu, at the most


def _read(name):
    with open(os.path.join(HERE, "hosts", name), encoding="utf-8") as config:
        return config.read()


def _tray_plasmoids():
    """Plasma's own tray items: its tray turns on any that its configuration doesn't know."""
    found = []
    for metadata in sorted(glob.glob("/usr/share/plasma/plasmoids/*/metadata.json")):
        with open(metadata, encoding="utf-8") as plasmoid:
            if json.load(plasmoid).get("X-Plasma-NotificationArea") == "true":
                found.append(os.path.basename(os.path.dirname(metadata)))
    return ",".join(found)


# The heavier hosts; the three the tests use come from panels.HOSTS. Shells that are their own
# compositor keep their settings in GSettings: a key file of the host's, not dconf.
KEYFILE = "glib-2.0/settings/keyfile"
panels.HOSTS.update({
    "mate-indicator": dict(
        before=[panels.INDICATORS], command=["mate-panel"], window="mate-panel",
        files={KEYFILE: "[org/mate/panel/general]\ndefault-layout="
               f"'{os.path.join(HERE, 'hosts', 'mate-panel.layout')}'\n"}),
    "lxqt": dict(command=["lxqt-panel"], ready=panels.WATCHER, window="lxqt-panel",
                 files={"lxqt/panel.conf": _read("lxqt-panel.conf"),
                        "lxqt/lxqt.conf": "[General]\ntheme=system\n"}),
    "plasma": dict(
        before=[(["kded5"], "org.kde.kded5")], command=["plasmashell", "--no-respawn"],
        window="plasmashell", files={"plasma-org.kde.plasma.desktop-appletsrc": _read(
            "plasma-appletsrc").replace("@KNOWN@", _tray_plasmoids())}),
    "gnome": dict(command=["gnome-shell", "--x11", "--replace"], ready=panels.WATCHER,
                  files={KEYFILE: _read("gnome-shell.keyfile")}),
    # Cinnamon's own applets but those that need system services (a failure is a notification
    # whose counter would push the tray aside).
    "cinnamon": dict(command=["cinnamon", "--replace"], ready="org.Cinnamon",
                     files={KEYFILE: _read("cinnamon.keyfile")},
                     after=[(["/usr/libexec/xapps/sn-watcher/xapp-sn-watcher"],
                             panels.WATCHER)]),
    "sway-waybar": dict(command=["sway"], ready=panels.WATCHER,
                        files={"sway/config": _read("sway.conf")}),
})
# What each host is, as its package names it.
PACKAGES = {"xfce-systray": "xfce4-panel", "xfce-indicator": "xfce4-indicator-plugin",
            "trayer": "trayer", "mate-indicator": "mate-indicator-applet", "lxqt": "lxqt-panel",
            "plasma": "plasma-workspace", "gnome": "gnome-shell-extension-appindicator",
            "cinnamon": "cinnamon", "sway-waybar": "waybar"}
SHELL = {"LIBGL_ALWAYS_SOFTWARE": "1", "XDG_SESSION_TYPE": "x11", "GSETTINGS_BACKEND": "keyfile"}
ENV = {"mate-indicator": {"GSETTINGS_BACKEND": "keyfile"},
       "gnome": dict(SHELL, XDG_CURRENT_DESKTOP="GNOME"),
       "cinnamon": dict(SHELL, XDG_CURRENT_DESKTOP="X-Cinnamon")}
ORDER = list(PACKAGES)


TRAY_WIDTH = 320  # of a bar as wide as the screen: its end where the tray is


class XHost(panels.Host):
    def __enter__(self):
        super().__enter__()
        try:
            for command, bus_name in self.config.get("after", []):
                self._start(command, bus_name)
        except BaseException:
            self.__exit__()
            raise
        return self

    def close_menu(self):
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        self.wait(lambda: self._menu not in panels._windows("--name", ""), "the menu to close")


class PlasmaHost(XHost):
    """plasmashell hosts items once kded5 runs its StatusNotifierWatcher module."""

    @property
    def box(self):
        x, y, width, height = super().box
        return (x, y, min(width, TRAY_WIDTH), height)

    def __enter__(self):
        super().__enter__()
        try:
            bus = tray.SessionBus()
            bus.call("org.kde.kded5", "/kded", "org.kde.kded5", "loadModule",
                     tray.GLib.Variant("(s)", ("statusnotifierwatcher",)), "(b)")
            self.wait(lambda: bus.has_owner(panels.WATCHER), panels.WATCHER)
        except BaseException:
            self.__exit__()
            raise
        return self


def _difference(before, after):
    """The box (x, y, w, h) where two pictures of one size differ, or None."""
    found = subprocess.run(["convert", before, after, "-compose", "difference", "-composite",
                            "-fuzz", "5%", "-trim", "-format", "%w %h %X %Y", "info:"],
                           check=True, capture_output=True, text=True).stdout
    w, h, x, y = map(int, found.split())
    return None if (w, h) == (1, 1) else (x, y, w, h)


class ScreenHost(XHost):
    """Hosts that draw their bar and menus inside the compositor (GNOME Shell, Cinnamon), with no
    X window of their own: the tray is a fixed end of the bar, and what a click opened is what
    changed on screen."""

    BAR = 40

    def __init__(self, name, timeout=60.0, env=None):
        super().__init__(name, timeout, env)
        self._system_bus = None
        self._item = None

    def _shown(self):
        return True  # once its watcher is on the bus

    @property
    def box(self):
        top = 0 if self.name == "gnome" else SCREEN[1] - self.BAR
        return (SCREEN[0] - TRAY_WIDTH, top, TRAY_WIDTH, self.BAR)

    def __enter__(self):
        if self.name == "gnome":
            # GNOME Shell aborts without a system bus: an empty one stands in.
            address = self._path("system_bus")
            self._system_bus = subprocess.Popen(
                ["dbus-daemon", "--session", "--nofork", f"--address=unix:path={address}"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
            self.env["DBUS_SYSTEM_BUS_ADDRESS"] = f"unix:path={address}"
            tray.wait_until(lambda: os.path.exists(address), 10, "the stand-in system bus")
        super().__enter__()
        if self.name == "gnome":
            time.sleep(2)  # its start-up animation ends in the overview: leave it
            subprocess.run(["xdotool", "key", "Escape"], check=True)
        return self

    def __exit__(self, *error):
        super().__exit__(*error)
        if self._system_bus:
            os.killpg(self._system_bus.pid, signal.SIGKILL)
            self._system_bus.wait()

    def remember_empty(self):
        self._empty = self.screenshot(self._path("empty.png"), 1)

    def item_box(self):
        """Where the tray changed since it was empty (its other icons may have moved aside), or,
        once found, where the item alone changed between two readings."""
        if self._item:
            return self._item
        box = _difference(self._empty, self.screenshot(self._path("tray.png"), 1))
        return box and (self.box[0] + box[0], self.box[1] + box[1], box[2], box[3])

    def found_item(self, before, after):
        """Pictures of the tray (real size) with two titles: the item is what differs."""
        box = _difference(before, after)
        self._item = box and (self.box[0] + box[0], self.box[1] + box[1], box[2], box[3])

    def open_menu(self, path, button=1):
        x, y, width, height = self.wait_for_item()
        subprocess.run(["xdotool", "mousemove", str(x + width // 2), str(y + height // 2)],
                       check=True)
        time.sleep(0.5)  # the hover highlight
        before = panels.screenshot(self._path("before.png"))
        subprocess.run(["xdotool", "click", str(button)], check=True)
        shots = [None]

        def settled():  # menus slide and fade in
            shots.append(open(panels.screenshot(self._path("menu.png")), "rb").read())
            return shots[-1] == shots[-2] and _difference(before, self._path("menu.png"))
        menu = self.wait(settled, f"a menu from {self.name}")
        self._before = before
        panels.screenshot(path)
        return menu

    def close_menu(self):
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        subprocess.run(["xdotool", "mousemove", "640", "512"], check=True)
        time.sleep(1)


class SwayHost(panels.Host):
    """Waybar in sway's headless backend: no X, so grim for pictures, sway's seat for clicks.
    Waybar shows the tray, and Ampora's --watch as a custom module beside it."""

    BAR = 27  # waybar's height, less its bottom border
    UNDER = 40  # below the bar and the shading its buttons cast when clicked

    def __init__(self, name, timeout=10.0, env=None, watch=None):
        self._runtime = tempfile.TemporaryDirectory(prefix="sway-run-")
        self.runtime = self._runtime.name
        super().__init__(name, timeout, env={**(env or {}),
            "WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman", "XDG_RUNTIME_DIR": self.runtime,
            "LD_PRELOAD": ""})
        # sway refuses to run as root: it gets a user of its own in a user namespace.
        self.config = dict(self.config, command=[
            "unshare", "--user", "--map-user=1000", "--map-group=1000", "--", "sway", "-c",
            os.path.join(self.env["XDG_CONFIG_HOME"], "sway/config")], files=dict(
                self.config["files"], **{"waybar/config": _read("waybar.json").replace(
                    "@WATCH@", json.dumps(watch))}))
        self.wayland = None  # what a client needs to find sway, once it is up

    def _shown(self):
        if self.wayland is None:
            ipc = [s for s in os.listdir(self.runtime) if s.startswith("sway-ipc.")]
            if not ipc or not os.path.exists(os.path.join(self.runtime, "wayland-1")):
                return False
            self.wayland = {"WAYLAND_DISPLAY": "wayland-1", "XDG_RUNTIME_DIR": self.runtime,
                            "SWAYSOCK": os.path.join(self.runtime, ipc[0]),
                            "GDK_BACKEND": "wayland"}
            self.env.update(self.wayland)
            self._start([sys.executable, os.path.join(HERE, "wayland_pointer.py")])
        seats = json.loads(self._sway("-t", "get_seats"))
        return any(seat["capabilities"] & 1 for seat in seats)  # a pointer to click with

    def __exit__(self, *error):
        super().__exit__(*error)
        self._runtime.cleanup()

    @property
    def box(self):
        return (0, 0, TRAY_WIDTH, self.BAR)

    def _grim(self, path, box=None, scale=1):
        region = ["-g", "{},{} {}x{}".format(*box)] if box else []
        picture = subprocess.run(["grim", *region, "-"], env=self.env, check=True,
                                 capture_output=True).stdout
        subprocess.run(["convert", "png:-", "-scale", f"{scale * 100}%", "-strip", path],
                       input=picture, check=True)
        return path

    def screenshot(self, path, scale=panels.SCALE):
        return self._grim(path, self.box, scale)

    def _sway(self, *command):
        return subprocess.run(["swaymsg", *command], env=self.env, check=True,
                              capture_output=True, text=True).stdout

    def click(self, x, y, button=1):
        self._sway("seat", "-", "cursor", "set", str(x), str(y))
        self._sway("seat", "-", "cursor", "press", f"button{button}")
        self._sway("seat", "-", "cursor", "release", f"button{button}")

    def _below_bar(self, name):
        """A picture of the screen under the bar, where menus open; its bytes."""
        box = (0, self.UNDER, SCREEN[0], SCREEN[1] - self.UNDER)
        with open(self._grim(os.path.join(self.runtime, name), box), "rb") as picture:
            return picture.read()

    def item_box(self):
        # The tray is the bar's first module: its item is the first thing from the left.
        box = super().item_box()
        return box and (box[0], box[1], min(box[2], box[3]), box[3])

    def open_menu(self, path, button=1):
        """Clicks the item and waits for the screen under the bar to change and settle."""
        x, y, width, height = self.wait_for_item()
        # sway draws the pointer into the picture: keep it on the bar while comparing.
        self._sway("seat", "-", "cursor", "set", str(x + width // 2), str(y + height // 2))
        self._empty = self._below_bar("before.png")
        self.click(x + width // 2, y + height // 2, button)
        shots = [self._empty]

        def settled():  # popups fade in
            shots.append(self._below_bar("menu.png"))
            return shots[0] != shots[-1] == shots[-2]
        self.wait(settled, f"a menu from {self.name}")
        left, top, w, h = _difference(os.path.join(self.runtime, "before.png"),
                                      os.path.join(self.runtime, "menu.png"))
        menu = (left, top + self.UNDER, w, h)
        self._grim(path, (0, 0, menu[0] + menu[2], menu[1] + menu[3]))
        return menu

    def close_menu(self):
        self.click(SCREEN[0] - 10, SCREEN[1] - 10)  # on the desktop
        self._sway("seat", "-", "cursor", "set", str(SCREEN[0] // 2), str(self.BAR // 2))
        self.wait(lambda: self._below_bar("after.png") == self._empty, "the menu to close")


def _version(host):
    found = subprocess.run(["dpkg-query", "-W", "-f=${Version}", PACKAGES[host]],
                           capture_output=True, text=True)
    return found.stdout if found.returncode == 0 else None


def _settled(host, scratch):
    """Waits until two pictures of the tray in a row agree (labels and icons come in turns)."""
    pictures = [None]

    def same():
        with open(host.screenshot(scratch, 1), "rb") as picture:
            pictures.append(picture.read())
        return pictures[-1] == pictures[-2]
    host.wait(same, f"{host.name} to settle")


def _picture(host, out, step):
    """The tray at its real size and enlarged 4x; what OCR reads in the enlargement."""
    host.screenshot(f"{out}/{host.name}-{step}.png", 1)
    return panels.read_text(host.screenshot(f"{out}/{host.name}-{step}-x4.png"), psm=7)


def one(host_name, bundle, out):
    """Runs one host in the current session; returns what it showed."""
    shown = {"host": host_name, "version": _version(host_name)}
    laptop = tray.SimulatedLaptop()
    laptop.laptop_on_mains()
    monitor_path = os.path.join(bundle, "Contents/MacOS/Ampora")
    if host_name == "sway-waybar":
        watch = tray.environment(laptop, LD_PRELOAD="libumockdev-preload.so.0")
        host = SwayHost(host_name, watch=" ".join(
            ["env", f"UMOCKDEV_DIR={watch['UMOCKDEV_DIR']}", f"LD_PRELOAD={watch['LD_PRELOAD']}",
             monitor_path, "--watch", "--format=waybar"]))
    elif host_name in ("gnome", "cinnamon"):
        host = ScreenHost(host_name, env=ENV[host_name])
    else:
        host = (PlasmaHost if host_name == "plasma" else XHost)(host_name,
                                                                env=ENV.get(host_name))
    # Panels start some of their helpers through the bus: those need the host's environment.
    subprocess.run(["dbus-update-activation-environment", "--all"], env=host.env, check=True)
    started = time.monotonic()
    with host:
        host.wait(lambda: min(host.box) >= 0, "the tray in place")
        _settled(host, f"{out}/{host_name}-settling.png")
        if hasattr(host, "remember_empty"):
            host.remember_empty()
        env = tray.environment(laptop, **(getattr(host, "wayland", None) or {}))
        monitor = subprocess.Popen([monitor_path], env=env, stdin=subprocess.DEVNULL)
        try:
            item = tray.TrayItem(tray.SessionBus(), monitor.pid, timeout=30)
            host.wait_for_item()
            shown["seconds to the item"] = round(time.monotonic() - started, 1)
            _settled(host, f"{out}/{host_name}-settling.png")
            shown["label"] = item.property("XAyatanaLabel")
            shown["icon"] = item.property("IconName")
            shown["mains"] = _picture(host, out, "mains")
            laptop.unplug_mains(current_ua=1234000)
            item.wait_for("1234")
            time.sleep(1)  # hosts batch their updates
            shown["unplugged"] = _picture(host, out, "unplugged")
            laptop.change("BAT0", charge_now=2990000, current_now=1500000)
            item.wait_for("1500")
            time.sleep(1)
            shown["next"] = _picture(host, out, "next")
            if hasattr(host, "found_item"):
                host.found_item(f"{out}/{host_name}-unplugged.png", f"{out}/{host_name}-next.png")
            os.remove(f"{out}/{host_name}-settling.png")
            # What the click asked of the item: nothing where the host shows the menu itself.
            calls = subprocess.Popen(["dbus-monitor", "--session", "type='method_call',"
                                      f"interface='{tray.ITEM_INTERFACE}'"],
                                     stdout=subprocess.PIPE, text=True)
            time.sleep(0.5)
            host.open_menu(f"{out}/{host_name}-menu.png")
            calls.terminate()
            called = re.findall(r"method call .*? member=(\w+)", calls.communicate()[0])
            shown["click"] = sorted(set(called))
            host.close_menu()
            shown["menu"] = f"{out}/{host_name}-menu.png"
        finally:
            monitor.terminate()
            monitor.wait()
    return shown


def table(results):
    rows = [("host", "version", "label / icon name", "on mains (OCR)", "unplugged (OCR)",
             "next (OCR)", "a left click calls", "menu")]
    for r in results:
        if "error" in r:
            rows.append((r["host"], r.get("version") or "-", "failed: " + r["error"], "", "", "",
                         "", ""))
            continue
        rows.append((r["host"], r["version"], f"{r['label']!r} / {r['icon']!r}",
                     repr(r["mains"]), repr(r["unplugged"]), repr(r["next"]),
                     " ".join(r["click"]) or "-", os.path.relpath(r["menu"])))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    lines = ["| " + " | ".join(c.ljust(w) for c, w in zip(row, widths)) + " |" for row in rows]
    lines.insert(1, "|" + "|".join("-" * (w + 2) for w in widths) + "|")
    return "\n".join(lines)


def _end_leftovers():
    """Ends what a host's session left running (D-Bus-activated services such as kglobalaccel5
    outlive their bus): as a subreaper this process inherits each of them, and ends its group."""
    for stat in glob.glob("/proc/[0-9]*/stat"):
        try:
            with open(stat, encoding="utf-8", errors="replace") as status:
                parent, group = map(int, status.read().rsplit(")", 1)[1].split()[1:3])
        except (OSError, ValueError):
            continue
        if parent != os.getpid():
            continue
        pid = int(stat.split("/")[2])
        with contextlib.suppress(ProcessLookupError):
            if group == os.getpgrp():
                os.kill(pid, signal.SIGKILL)
            else:
                os.killpg(group, signal.SIGKILL)
        with contextlib.suppress(ChildProcessError):
            os.waitpid(pid, 0)


def run_host(host_name, bundle, out):
    """One host's session in a process group of its own, ended as a whole afterwards."""
    log_path = os.path.join(out, f"{host_name}.log")
    with open(log_path, "w+", encoding="utf-8") as log:
        session = subprocess.Popen(
            ["dbus-run-session", "--", "xvfb-run", "-a", "-s",
             f"-screen 0 {SCREEN[0]}x{SCREEN[1]}x24", "umockdev-wrapper", "/usr/bin/python3",
             "-W", "ignore", __file__, "--one", host_name, bundle, out],
            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
            start_new_session=True)
        try:
            session.wait(HOST_SECONDS)
        except subprocess.TimeoutExpired:
            pass
        finally:
            # Asked first: an X server killed outright leaves its lock and socket behind, and
            # xvfb-run -a then skips that display number for good.
            for ending in (signal.SIGTERM, signal.SIGKILL):
                with contextlib.suppress(ProcessLookupError):
                    os.killpg(session.pid, ending)
                time.sleep(1)
            session.wait()
            _end_leftovers()
        log.seek(0)
        text = log.read()
    lines = [line for line in text.splitlines() if line.startswith("{")]
    return json.loads(lines[-1]) if lines else {"host": host_name,
                                                "error": f"no result; see {log_path}"}


def main():
    if sys.argv[1] == "--one":
        host_name, bundle, out = sys.argv[2:5]
        try:
            print(json.dumps(one(host_name, bundle, out)), flush=True)
        except Exception as error:  # reported in the table, not raised
            print(json.dumps({"host": host_name, "version": _version(host_name),
                              "error": f"{type(error).__name__}: {error}".splitlines()[0]}),
                  flush=True)
        return 0
    ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
    bundle, out = sys.argv[1:3]
    os.makedirs(out, exist_ok=True)
    results = []
    for host_name in sys.argv[3:] or ORDER:
        if _version(host_name) is None:
            results.append({"host": host_name, "error": "not installed"})
            continue
        for attempt in range(2):  # xvfb-run -a may race another display for its number
            result = run_host(host_name, bundle, out)
            if "error" not in result:
                break
        results.append(result)
        print(f"{host_name}: done", file=sys.stderr)
    print(table(results))
    print(f"Judge from the pictures in {os.path.relpath(out)}: OCR misses drawn figures at "
          "16-22 px.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
