#include "platform/linux/tray/tray_menu.h"

#include <glib.h>

#include "platform/linux/base/glib_handles.h"

namespace ampora::linux_port {

struct MenuActionSink::Pending {
    MenuActionSink* sink;
    Selector action;
};

MenuActionSink::MenuActionSink(std::function<void(Selector)> send) : send_(std::move(send)) {}

void MenuActionSink::post(Selector action) {
    g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, &MenuActionSink::deliver, new Pending{this, action},
                    [](gpointer data) { delete static_cast<Pending*>(data); });
}

int MenuActionSink::deliver(void* data) {
    const auto* pending = static_cast<Pending*>(data);
    pending->sink->send_(pending->action);
    return G_SOURCE_REMOVE;
}

void TrayMenuItem::setTitle(std::string_view title) {
    title_ = title;
    changed();
}

void TrayMenuItem::setAction(Selector action) {
    action_ = action;
    changed();
}

void TrayMenuItem::setState(int state) {
    state_ = state;
    changed();
}

void TrayMenuItem::changed() {
    if (menu_ && menu_->observer_) menu_->observer_->menuChanged(*menu_);
}

TrayMenu::~TrayMenu() {
    if (observer_) observer_->menuDestroyed(*this);
}

MenuItem& TrayMenu::addItemWithTitle(std::string_view title, Selector action,
                                     std::string_view keyEquivalent) {
    auto item = std::make_unique<TrayMenuItem>(false);
    item->setTitle(title);
    item->setAction(action);
    item->setKeyEquivalent(keyEquivalent);
    return addItem(std::move(item));
}

MenuItem& TrayMenu::addItem(std::unique_ptr<MenuItem> item) {
    if (auto* trayItem = dynamic_cast<TrayMenuItem*>(item.get())) {
        trayItem->menu_ = this;
        shown_.push_back(trayItem);
    }
    owned_.push_back(std::move(item));
    if (observer_) observer_->menuChanged(*this);
    return *owned_.back();
}

std::unique_ptr<Menu> TrayMenuFactory::newMenu(std::string_view) {
    // A menu's title is not shown anywhere in a tray.
    return std::make_unique<TrayMenu>();
}

std::unique_ptr<MenuItem> TrayMenuFactory::newMenuItem() {
    return std::make_unique<TrayMenuItem>(true);
}

std::string menuFacts(const TrayMenu* menu, bool markup) {
    std::string text;
    if (!menu) return text;
    for (const TrayMenuItem* item : menu->items()) {
        if (item->action() != Selector::None) continue;
        std::string_view line = item->title();
        if (line.starts_with('\t')) {
            line.remove_prefix(1);
            text += ' ';
        } else if (!text.empty()) {
            text += '\n';
        }
        if (markup) {
            const GCharPtr escaped(g_markup_escape_text(line.data(), line.size()));
            text += escaped.get();
        } else {
            text += line;
        }
    }
    return text;
}

std::string trayLabel(std::string_view title) {
    if (!title.starts_with('\t')) return std::string(title);
    // Four no-break spaces: panels neither collapse nor trim them.
    return "\u00a0\u00a0\u00a0\u00a0" + std::string(title.substr(1));
}

}  // namespace ampora::linux_port
