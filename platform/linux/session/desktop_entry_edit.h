#pragma once

#include <string>
#include <string_view>

namespace ampora::linux_port {

// Whether a session would start executable from this autostart entry: its Exec runs that
// program, its TryExec (if any) names it, and neither Hidden nor X-GNOME-Autostart-enabled
// switches it off.
bool autostartEntryStarts(std::string_view entry, std::string_view executable);

// The user's entry with the keys that decide what runs and whether it runs (Type, Exec,
// TryExec, Hidden, X-GNOME-Autostart-enabled) as in ours, and ours' other keys added where the
// user's lacks them; every other line is kept byte for byte, in place. Ours when the user's is no
// desktop entry at all.
std::string mergeAutostartEntry(std::string_view users, std::string_view ours);

}  // namespace ampora::linux_port
