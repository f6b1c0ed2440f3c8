#include "fake_menu.h"

namespace ampora::fakes {

MenuItem& FakeMenu::addItemWithTitle(std::string_view title, Selector action,
                                     std::string_view keyEquivalent) {
    auto item = std::make_unique<FakeMenuItem>();
    item->setTitle(title);
    item->setAction(action);
    item->setKeyEquivalent(keyEquivalent);
    return addItem(std::move(item));
}

MenuItem& FakeMenu::addItem(std::unique_ptr<MenuItem> item) {
    // Only our own items can be added, as on the platform.
    items.emplace_back(static_cast<FakeMenuItem*>(item.release()));
    return *items.back();
}

const FakeMenuItem* FakeMenu::find(std::string_view title) const {
    for (const auto& item : items) {
        if (item->title == title) return item.get();
    }
    return nullptr;
}

std::unique_ptr<Menu> FakeMenuFactory::newMenu(std::string_view title) {
    ++menusMade;
    return std::make_unique<FakeMenu>(title);
}

}  // namespace ampora::fakes
