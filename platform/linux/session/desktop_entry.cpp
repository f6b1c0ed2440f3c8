#include "platform/linux/session/desktop_entry.h"

#include <glib.h>

namespace ampora::linux_port {

namespace {

// Characters that force an Exec argument into double quotes.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
// Characters that need a backslash inside double quotes.
constexpr std::string_view kEscapedInQuotes = "\"`$\\";

std::string quoteArgument(std::string_view argument) {
    std::string quoted;
    const bool needsQuotes = argument.find_first_of(kReserved) != std::string_view::npos;
    if (needsQuotes) quoted += '"';
    for (char c : argument) {
        if (c == '%') {
            quoted += "%%";  // a literal percent, not a field code
        } else {
            if (needsQuotes && kEscapedInQuotes.find(c) != std::string_view::npos) quoted += '\\';
            quoted += c;
        }
    }
    if (needsQuotes) quoted += '"';
    return quoted;
}

// The string escapes of a key's value apply on top of the quoting: every backslash doubles.
std::string escapeValue(std::string_view value) {
    std::string escaped;
    for (char c : value) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace

std::optional<std::string> desktopEntryExecValue(std::string_view executable) {
    if (executable.empty()) return std::nullopt;
    if (!g_utf8_validate(executable.data(), static_cast<gssize>(executable.size()), nullptr)) {
        return std::nullopt;
    }
    for (unsigned char c : executable) {
        if (c < 0x20 || c == 0x7f) return std::nullopt;
    }
    return escapeValue(quoteArgument(executable));
}

std::optional<std::string> autostartEntryText(std::string_view name, std::string_view executable) {
    const auto exec = desktopEntryExecValue(executable);
    if (!exec) return std::nullopt;
    std::string text = "[Desktop Entry]\nType=Application\nName=";
    text += name;
    // The entry is the user's and outlives the package: once the helper is gone, sessions skip
    // it instead of failing to start it at every login.
    text += "\nTryExec=";
    text += escapeValue(executable);
    text += "\nExec=";
    text += *exec;
    text += "\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
    return text;
}

}  // namespace ampora::linux_port
