"""Top-level windows on the virtual display: what is shown, and closing one as a window manager
would. Needs xwininfo (x11-utils) and libX11."""
import ctypes
import re
import subprocess

_TOP_LEVEL = re.compile(r'^     (0x[0-9a-f]+) (?:"(.*)"|\(has no name\)): \((?:"([^"]*)" "([^"]*)")?\)')


def top_level_windows():
    """(id, name, class) of every window directly under the root."""
    tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True,
                          check=True).stdout
    windows = []
    for line in tree.splitlines():
        match = _TOP_LEVEL.match(line)
        if match:
            windows.append((int(match.group(1), 16), match.group(2), match.group(4)))
    return windows


def is_viewable(window):
    # A window may be gone by the time we ask: then it isn't shown either.
    info = subprocess.run(["xwininfo", "-id", hex(window)], capture_output=True, text=True)
    return info.returncode == 0 and "Map State: IsViewable" in info.stdout


def shown_windows(name):
    """Ids of the mapped top-level windows called name."""
    return [w for w, n, _ in top_level_windows() if n == name and is_viewable(w)]


def window_names_of_class(window_class):
    return [n for _, n, c in top_level_windows() if c == window_class]


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("xclient", _ClientMessage), ("pad", ctypes.c_long * 24)]


def close_window(window):
    """Asks the window to close (WM_DELETE_WINDOW), as the close button of a title bar does."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_Event)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        raise RuntimeError("cannot open the display")
    try:
        event = _Event()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window
        event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        event.xclient.data[1] = 0  # CurrentTime
        x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
        x11.XFlush(display)
    finally:
        x11.XCloseDisplay(display)
