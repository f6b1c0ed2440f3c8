#include "platform/linux/gtk/popup_menu.h"

#include <gdk/gdkwayland.h>

namespace ampora::linux_port {

namespace {

std::string fontCss(const Font& font) {
    std::string family;
    for (char c : font.name) {
        if (c == '"' || c == '\\') family += '\\';
        family += c;
    }
    char size[G_ASCII_DTOSTR_BUF_SIZE];
    g_ascii_dtostr(size, sizeof size, font.size);
    // Font properties inherit, so the menu's rule reaches every entry. Fontconfig picks a
    // fallback when the family is missing.
    return "* { font-family: \"" + family + "\"; font-size: " + std::string(size) + "pt; }";
}

}  // namespace

PopupMenu::PopupMenu(std::function<void(std::size_t)> activated)
    : activated_(std::move(activated)),
      widget_(adoptSink(gtk_menu_new())),
      font_(gtk_css_provider_new()) {
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget_.get()),
                                   GTK_STYLE_PROVIDER(font_.get()),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

PopupMenu::~PopupMenu() {
    for (GtkWidget* entry : entries_) g_signal_handlers_disconnect_by_data(entry, this);
    gtk_widget_destroy(widget_.get());
}

void PopupMenu::show(const TrayMenu* menu) {
    menu_ = menu;
    if (!gtk_widget_get_visible(widget_.get())) return;  // brought up to date when popped up
    if (!update()) gtk_menu_shell_deactivate(GTK_MENU_SHELL(widget_.get()));
}

// The entries made like the menu's, in place where their kinds match. False without a menu.
bool PopupMenu::update() {
    if (!menu_) return false;
    const std::string css = fontCss(menu_->font());
    if (css != fontCss_) {
        fontCss_ = css;
        gtk_css_provider_load_from_data(font_.get(), fontCss_.c_str(), -1, nullptr);
    }
    const auto& items = menu_->items();
    bool same = entries_.size() == items.size();
    for (std::size_t i = 0; same && i < items.size(); ++i) {
        same = GTK_IS_CHECK_MENU_ITEM(entries_[i]) == items[i]->checkable();
    }
    if (!same) {
        for (GtkWidget* entry : entries_) gtk_widget_destroy(entry);
        entries_.clear();
        for (const TrayMenuItem* item : items) {
            GtkWidget* entry = item->checkable() ? gtk_check_menu_item_new() : gtk_menu_item_new();
            g_signal_connect(entry, "activate", G_CALLBACK(&PopupMenu::onEntryActivated), this);
            gtk_menu_shell_append(GTK_MENU_SHELL(widget_.get()), entry);
            gtk_widget_show(entry);
            entries_.push_back(entry);
        }
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        GtkWidget* entry = entries_[i];
        const std::string label = trayLabel(items[i]->title());
        const gchar* shown = gtk_menu_item_get_label(GTK_MENU_ITEM(entry));
        if (!shown || label != shown) {
            gtk_menu_item_set_label(GTK_MENU_ITEM(entry), label.c_str());
        }
        gtk_widget_set_sensitive(entry, items[i]->action() != Selector::None);
        if (items[i]->checkable()) {
            // Setting the mark activates the entry: that is no click.
            updating_ = true;
            gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(entry),
                                           items[i]->state() != kCheckStateOff);
            updating_ = false;
        }
    }
    return true;
}

bool PopupMenu::popUp(int x, int y) {
    // A Wayland popup hangs from a window of the program's own, which a tray item has none of:
    // the host's menu shows it there.
    if (GDK_IS_WAYLAND_DISPLAY(gdk_display_get_default()) || !update()) return false;
    GdkRectangle point{x, y, 1, 1};
    gtk_menu_popup_at_rect(GTK_MENU(widget_.get()), gdk_get_default_root_window(), &point,
                           GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, nullptr);
    return true;
}

bool PopupMenu::popUpAtPointer() {
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    gint x = 0;
    gint y = 0;
    if (pointer) gdk_device_get_position(pointer, nullptr, &x, &y);
    return popUp(x, y);
}

void PopupMenu::popUpWith(GtkMenuPositionFunc position, gpointer data, guint button, guint time) {
    if (!update()) return;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_menu_popup(GTK_MENU(widget_.get()), nullptr, nullptr, position, data, button, time);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

void PopupMenu::onEntryActivated(GtkMenuItem* entry, gpointer self) {
    auto* popup = static_cast<PopupMenu*>(self);
    if (popup->updating_) return;
    for (std::size_t i = 0; i < popup->entries_.size(); ++i) {
        if (popup->entries_[i] == GTK_WIDGET(entry)) return popup->activated_(i);
    }
}

}  // namespace ampora::linux_port
