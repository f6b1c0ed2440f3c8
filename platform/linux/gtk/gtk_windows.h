#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/linux/tray/tray_windows.h"

namespace ampora::linux_port {

// What the monitor shows in windows of GTK's: the XEmbed tray icon, the menu popped up on a
// click the host passes on, and the alert. GTK costs more memory than the whole tray item, so
// this lives in a module of its own (ampora-gtk.so in the bundle's PlugIns), loaded the first
// time one of them is shown.
class GtkWindows : public TrayWindows {
  public:
    virtual ~GtkWindows() = default;
    // A modal alert with one button; returns when the user dismisses it.
    virtual void runAlert(std::string_view message, std::string_view button,
                          std::string_view informativeText) = 0;
    // Closes every alert still waiting, as if dismissed.
    virtual void dismissAlerts() = 0;
};

inline constexpr const char* kGtkModuleFile = "ampora-gtk.so";
// The module's one entry point: GTK opened on the default display, or null when it can't be.
// The caller owns what it returns.
inline constexpr const char* kGtkModuleEntry = "ampora_gtk_windows_open";
using GtkModuleEntry = GtkWindows* (*)();

}  // namespace ampora::linux_port
