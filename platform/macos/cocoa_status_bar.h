#pragma once

#include <memory>

#include "app/ports/status_bar.h"

namespace ampora::macos {

// The menu bar's status area (NSStatusBar systemStatusBar). Menus given to its items must come
// from CocoaMenuFactory.
class CocoaStatusBar final : public StatusBar {
  public:
    std::unique_ptr<StatusItem> statusItemWithLength(double length) override;
};

}  // namespace ampora::macos
