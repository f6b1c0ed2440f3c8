#pragma once

// The AppKit objects behind the menu adapters, for the Objective-C++ adapters only.

#import <AppKit/AppKit.h>

#include <memory>
#include <string_view>
#include <vector>

#include "app/ports/menu.h"

namespace ampora::macos {

// The selector AppKit sends for an action; null for an inert line.
SEL selectorFor(Selector action);

class CocoaMenuItem final : public MenuItem {
  public:
    explicit CocoaMenuItem(NSMenuItem* item);  // retains the item
    ~CocoaMenuItem() override;
    CocoaMenuItem(const CocoaMenuItem&) = delete;
    CocoaMenuItem& operator=(const CocoaMenuItem&) = delete;

    void setTitle(std::string_view title) override;
    void setAction(Selector action) override;
    void setKeyEquivalent(std::string_view key) override;
    void setState(int state) override;
    int state() const override;

    NSMenuItem* native() const { return item_; }

  private:
    NSMenuItem* item_;
};

class CocoaMenu final : public Menu {
  public:
    explicit CocoaMenu(NSMenu* menu);  // retains the menu
    ~CocoaMenu() override;
    CocoaMenu(const CocoaMenu&) = delete;
    CocoaMenu& operator=(const CocoaMenu&) = delete;

    void setFont(const Font& font) override;
    MenuItem& addItemWithTitle(std::string_view title, Selector action,
                               std::string_view keyEquivalent) override;
    MenuItem& addItem(std::unique_ptr<MenuItem> item) override;

    NSMenu* native() const { return menu_; }

  private:
    NSMenu* menu_;
    std::vector<std::unique_ptr<CocoaMenuItem>> items_;
};

}  // namespace ampora::macos
