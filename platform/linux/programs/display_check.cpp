#include "platform/linux/programs/display_check.h"

#include <glib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/linux/base/file_descriptor.h"

namespace ampora::linux_port {

namespace {

struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

// WAYLAND_DISPLAY names a socket in XDG_RUNTIME_DIR, or anywhere when it is a full path.
bool waylandAvailable() {
    const char* name = g_getenv("WAYLAND_DISPLAY");
    if (!name || !*name) return false;
    std::string path = name;
    if (path.front() != '/') {
        const char* runtime = g_getenv("XDG_RUNTIME_DIR");
        if (!runtime || !*runtime) return false;
        path = std::string(runtime) + "/" + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return socket.get() >= 0 && ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address),
                                          sizeof address) == 0;
}

bool x11Available() {
    if (!g_getenv("DISPLAY")) return false;
    const std::unique_ptr<xcb_connection_t, XcbDisconnect> connection(
        xcb_connect(nullptr, nullptr));
    return xcb_connection_has_error(connection.get()) == 0;
}

}  // namespace

bool displayAvailable() {
    return waylandAvailable() || x11Available();
}

const char* displayName() {
    if (const char* wayland = g_getenv("WAYLAND_DISPLAY")) return wayland;
    if (const char* x11 = g_getenv("DISPLAY")) return x11;
    return "(neither DISPLAY nor WAYLAND_DISPLAY is set)";
}

}  // namespace ampora::linux_port
