#pragma once

#include <memory>
#include <string>

#include "platform/linux/gtk_menus.h"

namespace ampora::linux_port {

// Loads the menu "statusMenu" from the interface file; its entry "quitItem" quits. Null when the
// file or the menu is missing.
std::unique_ptr<Menu> loadStatusMenu(const std::string& interfaceFile, GtkMenuFactory& menus);

}  // namespace ampora::linux_port
