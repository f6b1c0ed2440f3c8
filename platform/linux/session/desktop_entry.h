#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ampora::linux_port {

// The Exec value that runs executable with no arguments, quoted so that any path survives the
// Desktop Entry rules (reserved characters, "%" field codes, then the string escapes). Nothing
// when the path can't be written into a desktop entry at all (not UTF-8, control characters).
std::optional<std::string> desktopEntryExecValue(std::string_view executable);

// The whole autostart entry that starts executable at login.
std::optional<std::string> autostartEntryText(std::string_view name, std::string_view executable);

}  // namespace ampora::linux_port
