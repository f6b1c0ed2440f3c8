#pragma once

#include <memory>
#include <string>

#include "app/ports/menu.h"

namespace ampora::linux_port {

// Loads the menu "statusMenu" from the interface file (GtkBuilder's format, read without GTK) as
// a tray menu: each menu item's label in order; the entry "quitItem" quits, the others are
// inert. Null when the file can't be read or parsed or has no such menu.
std::unique_ptr<Menu> loadStatusMenu(const std::string& interfaceFile);

}  // namespace ampora::linux_port
