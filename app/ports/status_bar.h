#pragma once

#include <memory>
#include <string_view>

#include "app/ports/font.h"
#include "app/ports/menu.h"

namespace ampora {

inline constexpr double kVariableStatusItemLength = -1.0;

// The program's item in the system status bar (menu bar on macOS, tray on Linux). It stays shown
// while the object lives.
class StatusItem {
  public:
    virtual ~StatusItem() = default;
    // The menu is not owned: its owner keeps it alive while it is shown.
    virtual void setMenu(Menu& menu) = 0;
    virtual void setTitle(std::string_view title) = 0;
    virtual void setAttributedTitle(std::string_view title, const Font& font) = 0;
    virtual void setHighlightMode(bool highlight) = 0;
    // The charge in percent (0-100, or -1 when unknown), whether the battery is charging and
    // whether external power is connected, for items that can show a battery. Ignored where the
    // title says it all.
    virtual void setBatteryLevel(int /*percent*/, bool /*charging*/, bool /*externalPower*/) {}
};

class StatusBar {
  public:
    virtual ~StatusBar() = default;
    virtual std::unique_ptr<StatusItem> statusItemWithLength(double length) = 0;
};

}  // namespace ampora
