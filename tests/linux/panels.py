# Real tray hosts on the test's own display and session bus, read back from the screen, e.g.
#   with panels.Host("trayer") as host:  # returns once shown, its watcher (if any) on the bus
#       host.wait_for_text("1234")        # OCR of the tray, each time it changes, until found
# Run under dbus-run-session -- xvfb-run -a. Each host has a fresh XDG_CONFIG_HOME. Boxes: x, y,
# w, h.
import contextlib
import os
import pathlib
import signal
import subprocess
import tempfile

from tray_driver import SessionBus, wait_until, windows, xdotool

WATCHER = "org.kde.StatusNotifierWatcher"
XFCONFD = (["/usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd"], "org.xfce.Xfconf")
INDICATORS = (["/usr/libexec/ayatana-indicator-application/ayatana-indicator-application-service"],
              WATCHER)
XFCE_PANEL = ["xfce4-panel", "--disable-wm-check", "--sm-client-disable"]
SCALE = 4  # tesseract reads panel-sized text only when enlarged
FRAME = 2  # pixels at a tray's edges that are its border, not an item


def _xfce_panel(plugin):
    template = pathlib.Path(__file__).with_name("hosts") / "xfce4-panel.xml"
    return {"xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml":
            template.read_text(encoding="utf-8").replace("@PLUGIN@", plugin)}


# before: (command, the bus name it owns when ready) to start first; ready: the host's own bus
# name; window: the class of the tray's window; files: configuration under XDG_CONFIG_HOME.
HOSTS = {
    "xfce-systray": dict(before=[XFCONFD], command=XFCE_PANEL, ready=WATCHER,
                         window="xfce4-panel", files=_xfce_panel("systray")),
    "xfce-indicator": dict(before=[XFCONFD, INDICATORS], command=XFCE_PANEL,
                           window="xfce4-panel", files=_xfce_panel("indicator")),
    "trayer": dict(command=["trayer", "--edge", "top", "--align", "left", "--height", "32",
                            "--widthtype", "request", "--transparent", "true", "--alpha", "0",
                            "--tint", "0xeeeeee"], window="trayer"),
}


def _run(*command, **options):
    return subprocess.run(command, capture_output=True, **{"check": True, **options}).stdout


# Saves the screen, or a box of it, enlarged scale times, without metadata; returns path.
def screenshot(path, box=None, scale=1):
    crop = ["-crop", "{2}x{3}+{0}+{1}".format(*box)] if box else []
    _run("convert", "miff:-", "+repage", "-scale", f"{scale * 100}%", "-strip", path,
         input=_run("import", "-window", "root", *crop, "miff:-"))
    return path


# What tesseract reads in an image, its lines joined by single spaces; psm 7 reads one line.
# The picture is cut to what differs from its edges, light text on a dark ground turned dark on
# light, and a margin added: tesseract misses text that touches the edges or is light (a number
# drawn as a tray icon is both).
def read_text(path, psm=6):
    ocr = path + ".ocr.png"
    _run("convert", path, "-colorspace", "gray", "-fuzz", "10%", "-trim", "+repage", ocr)
    mean = _run("convert", ocr, "-format", "%[fx:mean]", "info:")
    _run("convert", ocr, *(["-negate"] if float(mean) < 0.5 else []), "-bordercolor", "white",
         "-border", "20", ocr)
    return " ".join(_run("tesseract", ocr, "-", "--psm", str(psm), text=True).split())


# The ids of the shown windows that match: ("--class", name), or ("--name", "") for all.
def _windows(*pattern):
    return set(windows("--onlyvisible", *pattern))


# A window's box, or nothing once it is gone.
def _geometry(window):
    shell = xdotool("getwindowgeometry", "--shell", window)
    values = dict(line.split("=") for line in shell.split())
    return values and tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))


# One tray host on the current display and session bus, and the services it needs.
class Host:
    def __init__(self, name, timeout=10.0, env=None):
        self.name, self.timeout, self.config = name, timeout, HOSTS[name]
        self._directory = tempfile.TemporaryDirectory(prefix=f"tray-{name}-")
        self.env = dict(os.environ, XDG_CONFIG_HOME=self._path("config"), NO_AT_BRIDGE="1",
                        **(env or {}))
        self._processes, self._bus = [], SessionBus()

    def _path(self, name):
        return os.path.join(self._directory.name, name)

    def __enter__(self):
        for relative, text in self.config.get("files", {}).items():
            path = pathlib.Path(self._path("config"), relative)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text, encoding="utf-8")
        try:
            for command, bus_name in self.config.get("before", []):
                self._start(command, bus_name)
            self._start(self.config["command"], self.config.get("ready"))
            self._window = self.wait(self._shown, f"{self.name} on screen")
        except BaseException:
            self.__exit__()
            raise
        return self

    def _shown(self):  # the host's bar; hosts that draw no X window of their own override it
        boxes = {w: _geometry(w) for w in _windows("--class", self.config["window"])}
        return next((w for w, box in boxes.items() if box and 8 < box[3] <= 64), None)

    def _start(self, command, bus_name=None):
        with open(self._path(f"{len(self._processes)}.log"), "w", encoding="utf-8") as log:
            # A session of its own, so that stopping it also stops what it spawned.
            self._processes.append(subprocess.Popen(
                command, env=self.env, stdin=subprocess.DEVNULL, stdout=log,
                stderr=subprocess.STDOUT, start_new_session=True))
        if bus_name:
            self.wait(lambda: self._bus.has_owner(bus_name), f"{bus_name} on the bus")

    def __exit__(self, *_):
        for process in reversed(self._processes):
            # Hosts hold no state worth a clean exit, and some (kded5) ignore SIGTERM.
            with contextlib.suppress(ProcessLookupError):  # its whole group has ended
                os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        self._directory.cleanup()

    # Bounded by self.timeout; fails at once, with its log, when a process of ours ends.
    def wait(self, condition, what):
        def check():
            for number, process in enumerate(self._processes):
                if process.poll() is not None:
                    log = pathlib.Path(self._path(f"{number}.log")).read_text()
                    raise RuntimeError(f"{process.args[0]} ended ({process.returncode}) while"
                                       f" waiting for {what}:\n{log}")
            return condition()
        return wait_until(check, self.timeout, what)

    @property
    def box(self):  # the tray's window: it grows with its items
        return _geometry(self._window)

    def screenshot(self, path, scale=SCALE):
        return screenshot(path, self.box, scale)

    # The box of what differs from the tray's background, or None while nothing does.
    def item_box(self):
        x, y, _, _ = self.box
        found = _run("convert", self.screenshot(self._path("tray.png"), 1), "-shave",
                     f"{FRAME}x{FRAME}", "-fuzz", "8%", "-trim", "-format", "%w %h %X %Y",
                     "info:", text=True)
        width, height, left, top = map(int, found.split())
        if (width, height) != (1, 1):  # what -trim leaves of a uniform picture
            return (x + FRAME + left, y + FRAME + top, width, height)

    def wait_for_item(self):
        return self.wait(self.item_box, f"an item in {self.name}")

    # Reads the tray each time it changes until the text holds expected; returns the text.
    def wait_for_text(self, expected):
        seen = {}  # picture -> text

        def read():
            picture = pathlib.Path(self.screenshot(self._path("tray-x4.png"))).read_bytes()
            if picture not in seen:
                seen[picture] = read_text(self._path("tray-x4.png"), psm=7)
            return expected in seen[picture] and seen[picture]
        try:
            return self.wait(read, f"{expected!r} in {self.name}")
        except TimeoutError as error:
            raise TimeoutError(f"{error}; read {list(seen.values())}") from None

    # Clicks the item, waits for its menu, saves the screen down to it; returns the menu's box.
    def open_menu(self, path, button=1):
        x, y, width, height = self.wait_for_item()
        before = _windows("--name", "")

        def menu():  # GTK keeps helper windows at 1x1 or off screen
            return [w for w in _windows("--name", "") - before
                    if (box := _geometry(w)) and min(box) >= 0 and min(box[2:]) > 1]
        _run("xdotool", "mousemove", str(x + width // 2), str(y + height // 2), "click",
             str(button))
        self._menu = self.wait(menu, f"a menu from {self.name}")[0]
        box = _geometry(self._menu)
        screenshot(path, (0, 0, box[0] + box[2], box[1] + box[3]))
        return box
