#pragma once

#include <memory>
#include <string>

#include "app/ports/menu.h"

namespace ampora::linux_port {

// Loads the menu "statusMenu" from the interface file as a tray menu; its entry "quitItem"
// quits, the others are inert. Null when the file or the menu is missing.
std::unique_ptr<Menu> loadStatusMenu(const std::string& interfaceFile);

}  // namespace ampora::linux_port
