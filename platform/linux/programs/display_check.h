#pragma once

namespace ampora::linux_port {

// Whether a graphical session can be reached, as GTK would open it: the Wayland compositor's
// socket, or the X server (with its authorization). Checked without loading a toolkit; nothing
// is kept open.
bool displayAvailable();

// The display a user would look for, for messages: WAYLAND_DISPLAY, else DISPLAY.
const char* displayName();

}  // namespace ampora::linux_port
