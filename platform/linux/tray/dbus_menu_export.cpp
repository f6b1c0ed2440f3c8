#include "platform/linux/tray/dbus_menu_export.h"

#include <algorithm>
#include <string>

namespace ampora::linux_port {

namespace {

// In dbusmenu labels an underscore marks the access key; a doubled one is shown as one.
std::string dbusLabel(const std::string& title) {
    std::string label;
    for (char c : trayLabel(title)) {
        if (c == '_') label += '_';
        label += c;
    }
    return label;
}

}  // namespace

DbusMenuExport::DbusMenuExport(const char* objectPath, std::function<void(std::size_t)> activated)
    : activated_(std::move(activated)),
      server_(dbusmenu_server_new(objectPath)),
      root_(dbusmenu_menuitem_new()) {
    dbusmenu_server_set_root(server_.get(), root_.get());
}

DbusMenuExport::~DbusMenuExport() {
    for (DbusmenuMenuitem* entry : entries_) g_signal_handlers_disconnect_by_data(entry, this);
}

void DbusMenuExport::show(const TrayMenu& menu) {
    const auto& items = menu.items();
    while (entries_.size() > items.size()) {
        g_signal_handlers_disconnect_by_data(entries_.back(), this);
        dbusmenu_menuitem_child_delete(root_.get(), entries_.back());
        entries_.pop_back();
    }
    while (entries_.size() < items.size()) {
        GObjectPtr<DbusmenuMenuitem> entry(dbusmenu_menuitem_new());
        g_signal_connect(entry.get(), DBUSMENU_MENUITEM_SIGNAL_ITEM_ACTIVATED,
                         G_CALLBACK(&DbusMenuExport::onActivated), this);
        dbusmenu_menuitem_child_append(root_.get(), entry.get());
        entries_.push_back(entry.get());
    }
    // Setting a property to the value it has sends nothing: only what changed goes out.
    for (std::size_t i = 0; i < items.size(); ++i) {
        DbusmenuMenuitem* entry = entries_[i];
        const TrayMenuItem& item = *items[i];
        dbusmenu_menuitem_property_set(entry, DBUSMENU_MENUITEM_PROP_LABEL,
                                       dbusLabel(item.title()).c_str());
        dbusmenu_menuitem_property_set_bool(entry, DBUSMENU_MENUITEM_PROP_ENABLED,
                                            item.action() != Selector::None);
        if (item.checkable()) {
            dbusmenu_menuitem_property_set(entry, DBUSMENU_MENUITEM_PROP_TOGGLE_TYPE,
                                           DBUSMENU_MENUITEM_TOGGLE_CHECK);
            dbusmenu_menuitem_property_set_int(entry, DBUSMENU_MENUITEM_PROP_TOGGLE_STATE,
                                               item.state() != kCheckStateOff);
        } else {
            dbusmenu_menuitem_property_remove(entry, DBUSMENU_MENUITEM_PROP_TOGGLE_TYPE);
            dbusmenu_menuitem_property_remove(entry, DBUSMENU_MENUITEM_PROP_TOGGLE_STATE);
        }
    }
}

void DbusMenuExport::onActivated(DbusmenuMenuitem* entry, guint, gpointer self) {
    auto* exporter = static_cast<DbusMenuExport*>(self);
    const auto found = std::find(exporter->entries_.begin(), exporter->entries_.end(), entry);
    if (found != exporter->entries_.end()) {
        exporter->activated_(static_cast<std::size_t>(found - exporter->entries_.begin()));
    }
}

}  // namespace ampora::linux_port
