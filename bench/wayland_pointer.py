"""Gives a headless wlroots compositor a pointer, and keeps it until the compositor goes away.

sway's headless backend has no input devices, so no client gets a wl_pointer and
`swaymsg seat - cursor ...` clicks reach nobody. A virtual pointer (wlr-virtual-pointer-unstable-v1)
gives the seat its pointer; the clicks themselves are then sent with swaymsg.
Run with WAYLAND_DISPLAY and XDG_RUNTIME_DIR set. Prints "ready" once the pointer exists.
"""
import ctypes
import sys

wayland = ctypes.CDLL("libwayland-client.so.0")


class Interface(ctypes.Structure):
    pass


class Message(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("signature", ctypes.c_char_p),
                ("types", ctypes.POINTER(ctypes.POINTER(Interface)))]


Interface._fields_ = [("name", ctypes.c_char_p), ("version", ctypes.c_int),
                      ("method_count", ctypes.c_int), ("methods", ctypes.POINTER(Message)),
                      ("event_count", ctypes.c_int), ("events", ctypes.POINTER(Message))]

NONE = ctypes.POINTER(Interface)()


def _messages(*entries):
    """A wl_message array from (name, signature, [interface or None per argument])."""
    array = (Message * len(entries))()
    for message, (name, signature, types) in zip(array, entries):
        pointers = (ctypes.POINTER(Interface) * max(len(types), 1))(
            *[ctypes.pointer(t) if t is not None else NONE for t in types])
        message.name, message.signature, message.types = name, signature, pointers
    return array


def _interface(interface, name, version, messages):
    interface.name, interface.version = name, version
    interface.method_count, interface.methods = len(messages), messages
    interface.event_count = 0


SEAT = Interface.in_dll(wayland, "wl_seat_interface")
REGISTRY = Interface.in_dll(wayland, "wl_registry_interface")
POINTER, MANAGER = Interface(), Interface()
_pointer_requests = _messages(
    (b"motion", b"uff", [None] * 3), (b"motion_absolute", b"uuuuu", [None] * 5),
    (b"button", b"uuu", [None] * 3), (b"axis", b"uuf", [None] * 3), (b"frame", b"", []),
    (b"axis_source", b"u", [None]), (b"axis_stop", b"uu", [None] * 2),
    (b"axis_discrete", b"uufi", [None] * 4), (b"destroy", b"", []))
_manager_requests = _messages((b"create_virtual_pointer", b"?on", [SEAT, POINTER]),
                              (b"destroy", b"", []))
_interface(POINTER, b"zwlr_virtual_pointer_v1", 1, _pointer_requests)
_interface(MANAGER, b"zwlr_virtual_pointer_manager_v1", 1, _manager_requests)

GLOBAL = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint32,
                          ctypes.c_char_p, ctypes.c_uint32)
GLOBAL_REMOVE = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint32)

for function in ("wl_proxy_marshal_constructor", "wl_proxy_marshal_constructor_versioned",
                 "wl_display_connect"):
    getattr(wayland, function).restype = ctypes.c_void_p


def main():
    display = wayland.wl_display_connect(None)
    if not display:
        sys.exit("wayland_pointer: no Wayland display")
    registry = wayland.wl_proxy_marshal_constructor(
        ctypes.c_void_p(display), ctypes.c_uint32(1), ctypes.byref(REGISTRY), None)
    found = {}

    def announced(_data, _registry, name, interface, version):
        found[interface] = name

    callbacks = [GLOBAL(announced), GLOBAL_REMOVE(lambda *_: None)]  # alive as long as we are
    listener = (ctypes.c_void_p * 2)(*[ctypes.cast(c, ctypes.c_void_p) for c in callbacks])
    wayland.wl_proxy_add_listener(ctypes.c_void_p(registry), listener, None)
    wayland.wl_display_roundtrip(ctypes.c_void_p(display))
    if MANAGER.name not in found:
        sys.exit("wayland_pointer: the compositor has no virtual pointers")
    manager = wayland.wl_proxy_marshal_constructor_versioned(
        ctypes.c_void_p(registry), ctypes.c_uint32(0), ctypes.byref(MANAGER), ctypes.c_uint32(1),
        ctypes.c_uint32(found[MANAGER.name]), MANAGER.name, ctypes.c_uint32(1), None)
    wayland.wl_proxy_marshal_constructor(ctypes.c_void_p(manager), ctypes.c_uint32(0),
                                         ctypes.byref(POINTER), None, None)
    wayland.wl_display_roundtrip(ctypes.c_void_p(display))
    print("ready", flush=True)
    while wayland.wl_display_dispatch(ctypes.c_void_p(display)) != -1:
        pass
    return callbacks


if __name__ == "__main__":
    main()
