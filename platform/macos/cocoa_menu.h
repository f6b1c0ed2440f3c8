#pragma once

#include <memory>
#include <string_view>

#include "app/ports/menu.h"

namespace ampora::macos {

// Makes AppKit menus. Entries get no target, so AppKit sends their actions along the responder
// chain: terminate: to the application, the others to the application's delegate.
class CocoaMenuFactory final : public MenuFactory {
  public:
    std::unique_ptr<Menu> newMenu(std::string_view title) override;
    std::unique_ptr<MenuItem> newMenuItem() override;
};

}  // namespace ampora::macos
