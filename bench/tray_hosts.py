"""Runs the monitor on a simulated laptop in every tray host we know and prints what each shows.

Run through bench/tray-hosts. Usage: tray_hosts.py BUNDLE OUTDIR [HOST...]
Each host runs in a session of its own (private bus, virtual display); this script calls itself
with --one for each. Screenshots go to OUTDIR as HOST-mains.png, HOST-unplugged.png,
HOST-next.png (the tray, enlarged 4x) and HOST-menu.png.
"""
import glob
import json
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "../tests/linux"))
import panels  # noqa: E402
import tray_driver as tray  # noqa: E402


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


# The heavier hosts; the three the tests use come from panels.HOSTS.
panels.HOSTS.update({
    "mate-indicator": dict(
        before=[panels.INDICATORS], command=["mate-panel"], window="mate-panel",
        files={"glib-2.0/settings/keyfile": "[org/mate/panel/general]\ndefault-layout="
               f"'{os.path.join(HERE, 'hosts', 'mate-panel.layout')}'\n"}),
    "lxqt": dict(command=["lxqt-panel"], ready=panels.WATCHER, window="lxqt-panel",
                 files={"lxqt/panel.conf": _read("lxqt-panel.conf"),
                        "lxqt/lxqt.conf": "[General]\ntheme=system\n"}),
    "plasma": dict(
        before=[(["kded5"], "org.kde.kded5")], command=["plasmashell", "--no-respawn"],
        window="plasmashell", files={"plasma-org.kde.plasma.desktop-appletsrc": _read(
            "plasma-appletsrc").replace("@KNOWN@", _tray_plasmoids())}),
    "sway-waybar": dict(command=["sway"], ready=panels.WATCHER,
                        files={"waybar/config": _read("waybar.json"),
                               "sway/config": _read("sway.conf")}),
})
# What each host is, as its package names it, and the button that opens an item's menu.
PACKAGES = {"xfce-systray": "xfce4-panel", "xfce-indicator": "xfce4-indicator-plugin",
            "trayer": "trayer", "mate-indicator": "mate-indicator-applet", "lxqt": "lxqt-panel",
            "plasma": "plasma-workspace", "sway-waybar": "waybar"}
MENU_BUTTON = {"lxqt": 3}
# mate-panel keeps its layout in GSettings: a key file in the host's XDG_CONFIG_HOME, not dconf.
ENV = {"mate-indicator": {"GSETTINGS_BACKEND": "keyfile"}}
ORDER = list(PACKAGES)


TRAY_WIDTH = 320  # of a bar as wide as the screen: its left end, where the tray is


class XHost(panels.Host):
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


class SwayHost(panels.Host):
    """Waybar in sway's headless backend: no X, so grim for pictures, sway's seat for clicks."""

    SCREEN = (0, 0, 1280, 1024)  # the output sway.conf sets up
    BAR = 27  # waybar's height, less its bottom border
    UNDER = 40  # below the bar and the shading its buttons cast when clicked

    def __init__(self, name, timeout=10.0, env=None):
        self._runtime = tempfile.TemporaryDirectory(prefix="sway-run-")
        self.runtime = self._runtime.name
        super().__init__(name, timeout, env={**(env or {}),
            "WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman", "XDG_RUNTIME_DIR": self.runtime,
            "LD_PRELOAD": ""})
        # sway refuses to run as root: it gets a user of its own in a user namespace.
        self.config = dict(self.config, command=[
            "unshare", "--user", "--map-user=1000", "--map-group=1000", "--", "sway", "-c",
            os.path.join(self.env["XDG_CONFIG_HOME"], "sway/config")])
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
        box = (0, self.UNDER, self.SCREEN[2], self.SCREEN[3] - self.UNDER)
        with open(self._grim(os.path.join(self.runtime, name), box), "rb") as picture:
            return picture.read()

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
        found = subprocess.run(
            ["convert", os.path.join(self.runtime, "before.png"),
             os.path.join(self.runtime, "menu.png"), "-compose", "difference", "-composite",
             "-fuzz", "5%", "-trim", "-format", "%w %h %X %Y", "info:"],
            check=True, capture_output=True, text=True).stdout
        w, h, left, top = map(int, found.split())
        menu = (left, top + self.UNDER, w, h)
        self._grim(path, (0, 0, menu[0] + menu[2], menu[1] + menu[3]))
        return menu

    def close_menu(self):
        self.click(self.SCREEN[2] - 10, self.SCREEN[3] - 10)  # on the desktop
        self._sway("seat", "-", "cursor", "set", str(self.SCREEN[2] // 2), str(self.BAR // 2))
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


def _read_number(host, shown, step, number, path):
    """Whether the tray comes to show number without hover, and what it shows."""
    try:
        shown[step], shown[f"{number} shown"] = host.wait_for_text(number), True
    except TimeoutError:
        shown[step], shown[f"{number} shown"] = None, False
    text = panels.read_text(host.screenshot(path))
    shown[step] = shown[step] or text


def one(host_name, bundle, out):
    """Runs one host in the current session; returns what it showed."""
    shown = {"host": host_name, "version": _version(host_name)}
    laptop = tray.SimulatedLaptop()
    laptop.laptop_on_mains()
    host = {"plasma": PlasmaHost, "sway-waybar": SwayHost}.get(host_name, XHost)(
        host_name, env=ENV.get(host_name))
    # Panels start some of their helpers through the bus: those need the host's environment.
    subprocess.run(["dbus-update-activation-environment", "--all"], env=host.env, check=True)
    started = time.monotonic()
    with host:
        host.wait(lambda: min(host.box) >= 0, "the tray in place")
        env = tray.environment(laptop, **(getattr(host, "wayland", None) or {}))
        monitor = subprocess.Popen([os.path.join(bundle, "Contents/MacOS/Ampora")], env=env,
                                   stdin=subprocess.DEVNULL)
        try:
            host.wait_for_item()
            shown["seconds to the item"] = round(time.monotonic() - started, 1)
            _settled(host, f"{out}/{host_name}-settling.png")
            shown["mains"] = panels.read_text(host.screenshot(f"{out}/{host_name}-mains.png"))
            host.timeout = 6.0  # enough for a host that shows the number
            laptop.unplug_mains(current_ua=1234000)
            _read_number(host, shown, "unplugged", "1234", f"{out}/{host_name}-unplugged.png")
            laptop.change("BAT0", charge_now=2990000, current_now=1500000)
            _read_number(host, shown, "next", "1500", f"{out}/{host_name}-next.png")
            host.timeout = 10.0
            os.remove(f"{out}/{host_name}-settling.png")
            host.open_menu(f"{out}/{host_name}-menu.png", MENU_BUTTON.get(host_name, 1))
            host.close_menu()
            shown["menu"] = f"{out}/{host_name}-menu.png"
        finally:
            monitor.terminate()
            monitor.wait()
    return shown


def table(results):
    rows = [("host", "version", "on mains (OCR)", "1234 after unplugging", "1500 next event",
             "menu")]
    for r in results:
        if "error" in r:
            rows.append((r["host"], r.get("version") or "-", "failed: " + r["error"], "", "", ""))
            continue
        rows.append((r["host"], r["version"], repr(r["mains"]),
                     ("yes " if r["1234 shown"] else "no ") + repr(r["unplugged"]),
                     ("yes " if r["1500 shown"] else "no ") + repr(r["next"]),
                     os.path.relpath(r["menu"])))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    lines = ["| " + " | ".join(c.ljust(w) for c, w in zip(row, widths)) + " |" for row in rows]
    lines.insert(1, "|" + "|".join("-" * (w + 2) for w in widths) + "|")
    return "\n".join(lines)


def main():
    if sys.argv[1] == "--one":
        host_name, bundle, out = sys.argv[2:5]
        try:
            print(json.dumps(one(host_name, bundle, out)))
        except Exception as error:  # reported in the table, not raised
            print(json.dumps({"host": host_name, "version": _version(host_name),
                              "error": f"{type(error).__name__}: {error}".splitlines()[0]}))
        return 0
    bundle, out = sys.argv[1:3]
    os.makedirs(out, exist_ok=True)
    results = []
    for host_name in sys.argv[3:] or ORDER:
        if _version(host_name) is None:
            results.append({"host": host_name, "error": "not installed"})
            continue
        for attempt in range(2):  # xvfb-run -a may race another display for its number
            run = subprocess.run(
                ["dbus-run-session", "--", "xvfb-run", "-a", "-s", "-screen 0 1280x1024x24",
                 "umockdev-wrapper", "/usr/bin/python3", "-W", "ignore", __file__, "--one",
                 host_name, bundle, out], capture_output=True, text=True)
            lines = [line for line in run.stdout.splitlines() if line.startswith("{")]
            result = json.loads(lines[-1]) if lines else {"host": host_name,
                                                          "error": run.stderr[-300:]}
            if "error" not in result:
                break
        results.append(result)
        print(f"{host_name}: done", file=sys.stderr)
    print(table(results))
    return 0


if __name__ == "__main__":
    sys.exit(main())
