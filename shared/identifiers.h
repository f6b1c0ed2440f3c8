#pragma once

#include <string_view>

// The contract between the monitor and its login helper. Both programs find each other by these
// identifiers only; nothing else is shared between them.
namespace ampora {

inline constexpr std::string_view MainBundleIdentifier = "com.larchmoor.Ampora";
inline constexpr std::string_view HelperBundleIdentifier = "io.quillfen.Ampora-Helper";

// Posted by the monitor (object: MainBundleIdentifier) to tell a waiting helper to quit.
inline constexpr std::string_view TerminateHelperNotification = "TERMINATEHELPER";

// The monitor's executable inside its bundle: Contents/<MonitorExecutableDirectory>/<name>.
inline constexpr std::string_view MonitorExecutableDirectory = "MacOS";
inline constexpr std::string_view MonitorExecutableName = "Ampora";
inline constexpr std::string_view HelperExecutableName = "Ampora-Helper";

}  // namespace ampora
