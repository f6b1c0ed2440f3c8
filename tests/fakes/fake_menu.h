#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ports/menu.h"

namespace ampora::fakes {

class FakeMenuItem : public MenuItem {
  public:
    void setTitle(std::string_view title) override { this->title = title; }
    void setAction(Selector action) override { this->action = action; }
    void setKeyEquivalent(std::string_view key) override { keyEquivalent = key; }
    void setState(int state) override { this->checkState = state; }
    int state() const override { return checkState; }

    bool enabled() const { return action != Selector::None; }

    std::string title;
    Selector action = Selector::None;
    std::string keyEquivalent;
    int checkState = kCheckStateOff;
};

class FakeMenu : public Menu {
  public:
    explicit FakeMenu(std::string_view title) : title(title) {}

    void setFont(const Font& font) override { this->font = font; }
    MenuItem& addItemWithTitle(std::string_view title, Selector action,
                               std::string_view keyEquivalent) override;
    MenuItem& addItem(std::unique_ptr<MenuItem> item) override;

    const FakeMenuItem& item(std::size_t index) const { return *items.at(index); }
    const FakeMenuItem* find(std::string_view title) const;

    std::string title;
    std::optional<Font> font;
    std::vector<std::unique_ptr<FakeMenuItem>> items;
};

class FakeMenuFactory : public MenuFactory {
  public:
    std::unique_ptr<Menu> newMenu(std::string_view title) override;
    std::unique_ptr<MenuItem> newMenuItem() override { return std::make_unique<FakeMenuItem>(); }

    int menusMade = 0;
};

}  // namespace ampora::fakes
