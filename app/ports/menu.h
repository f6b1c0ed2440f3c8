#pragma once

#include <memory>
#include <string_view>

#include "app/ports/font.h"
#include "app/ports/selector.h"

namespace ampora {

inline constexpr int kCheckStateOff = 0;
inline constexpr int kCheckStateOn = 1;

// One entry of a platform menu. An entry without an action is shown disabled.
class MenuItem {
  public:
    virtual ~MenuItem() = default;
    virtual void setTitle(std::string_view title) = 0;
    virtual void setAction(Selector action) = 0;
    virtual void setKeyEquivalent(std::string_view key) = 0;
    // 0 is off, 1 is on; any non-zero state counts as on.
    virtual void setState(int state) = 0;
    virtual int state() const = 0;
};

// A platform menu. It owns its entries; references returned stay valid while the menu lives.
class Menu {
  public:
    virtual ~Menu() = default;
    virtual void setFont(const Font& font) = 0;
    virtual MenuItem& addItemWithTitle(std::string_view title, Selector action,
                                       std::string_view keyEquivalent) = 0;
    virtual MenuItem& addItem(std::unique_ptr<MenuItem> item) = 0;
};

// Makes new menus and menu items. A new item has no title, no action, key equivalent "" and
// state off.
class MenuFactory {
  public:
    virtual ~MenuFactory() = default;
    virtual std::unique_ptr<Menu> newMenu(std::string_view title) = 0;
    virtual std::unique_ptr<MenuItem> newMenuItem() = 0;
};

}  // namespace ampora
