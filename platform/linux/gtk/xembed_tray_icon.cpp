#include "platform/linux/gtk/xembed_tray_icon.h"

#include "platform/linux/tray/title_icon.h"

// GtkStatusIcon is deprecated in favour of StatusNotifierItems, yet it is all an XEmbed tray
// understands.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS

namespace ampora::linux_port {

namespace {

constexpr int kUnembeddedSize = 22;
constexpr const char* kPosition = "ampora-position";

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

XEmbedTrayIcon::XEmbedTrayIcon(const std::string& name, std::function<void(std::size_t)> activated)
    : activated_(std::move(activated)), icon_(gtk_status_icon_new()) {
    gtk_status_icon_set_name(icon_.get(), name.c_str());
    g_signal_connect(icon_.get(), "size-changed", G_CALLBACK(&XEmbedTrayIcon::onSizeChanged), this);
    g_signal_connect(icon_.get(), "popup-menu", G_CALLBACK(&XEmbedTrayIcon::onPopupMenu), this);
    g_signal_connect(icon_.get(), "activate", G_CALLBACK(&XEmbedTrayIcon::onActivate), this);
}

XEmbedTrayIcon::~XEmbedTrayIcon() {
    g_signal_handlers_disconnect_by_data(icon_.get(), this);
    gtk_status_icon_set_visible(icon_.get(), FALSE);
    if (popup_) gtk_widget_destroy(popup_.get());
}

void XEmbedTrayIcon::show(const std::string& title, const std::string& tooltip,
                          const TrayMenu* menu) {
    menu_ = menu;
    gtk_status_icon_set_tooltip_text(icon_.get(), tooltip.c_str());
    if (title == title_) return;
    title_ = title;
    gtk_status_icon_set_title(icon_.get(), title_.c_str());
    const int size = gtk_status_icon_get_size(icon_.get());
    draw(size > 0 ? size : kUnembeddedSize);
}

void XEmbedTrayIcon::draw(int size) {
    const CairoSurfacePtr drawing = drawTitleIcon(title_, size);
    // Un-premultiplied: pixbufs carry straight alpha.
    const GObjectPtr<GdkPixbuf> pixbuf(
        gdk_pixbuf_get_from_surface(drawing.get(), 0, 0, size, size));
    gtk_status_icon_set_from_pixbuf(icon_.get(), pixbuf.get());
}

gboolean XEmbedTrayIcon::onSizeChanged(GtkStatusIcon*, gint size, gpointer self) {
    if (size > 0) static_cast<XEmbedTrayIcon*>(self)->draw(size);
    return TRUE;
}

void XEmbedTrayIcon::onPopupMenu(GtkStatusIcon*, guint button, guint time, gpointer self) {
    static_cast<XEmbedTrayIcon*>(self)->popup(button, time);
}

void XEmbedTrayIcon::onActivate(GtkStatusIcon*, gpointer self) {
    static_cast<XEmbedTrayIcon*>(self)->popup(0, gtk_get_current_event_time());
}

void XEmbedTrayIcon::popup(guint button, guint time) {
    if (!menu_) return;
    // Built afresh for each click from the menu shown now; the last one is kept until then.
    if (popup_) gtk_widget_destroy(popup_.get());
    popup_ = adoptSink(gtk_menu_new());
    font_.reset(gtk_css_provider_new());
    gtk_css_provider_load_from_data(font_.get(), fontCss(menu_->font()).c_str(), -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(popup_.get()),
                                   GTK_STYLE_PROVIDER(font_.get()),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);

    std::size_t position = 0;
    for (const TrayMenuItem* item : menu_->items()) {
        const std::string label = trayLabel(item->title());
        GtkWidget* entry = item->checkable() ? gtk_check_menu_item_new_with_label(label.c_str())
                                             : gtk_menu_item_new_with_label(label.c_str());
        if (item->checkable()) {
            gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(entry),
                                           item->state() != kCheckStateOff);
        }
        gtk_widget_set_sensitive(entry, item->action() != Selector::None);
        g_object_set_data(G_OBJECT(entry), kPosition, GSIZE_TO_POINTER(position++));
        g_signal_connect(entry, "activate", G_CALLBACK(&XEmbedTrayIcon::onEntryActivated), this);
        gtk_menu_shell_append(GTK_MENU_SHELL(popup_.get()), entry);
    }
    gtk_widget_show_all(popup_.get());
    gtk_menu_popup(GTK_MENU(popup_.get()), nullptr, nullptr, gtk_status_icon_position_menu,
                   icon_.get(), button, time);
}

void XEmbedTrayIcon::onEntryActivated(GtkMenuItem* entry, gpointer self) {
    static_cast<XEmbedTrayIcon*>(self)->activated_(
        GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(entry), kPosition)));
}

}  // namespace ampora::linux_port

G_GNUC_END_IGNORE_DEPRECATIONS
