#include "platform/linux/gtk/xembed_tray_icon.h"

#include "platform/linux/tray/title_icon.h"

// GtkStatusIcon is deprecated in favour of StatusNotifierItems, yet it is all an XEmbed tray
// understands.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS

namespace ampora::linux_port {

namespace {

constexpr int kUnembeddedSize = 22;

}  // namespace

XEmbedTrayIcon::XEmbedTrayIcon(const std::string& name, std::function<void(std::size_t)> activated)
    : icon_(gtk_status_icon_new()), popup_(std::move(activated)) {
    gtk_status_icon_set_name(icon_.get(), name.c_str());
    g_signal_connect(icon_.get(), "size-changed", G_CALLBACK(&XEmbedTrayIcon::onSizeChanged), this);
    g_signal_connect(icon_.get(), "popup-menu", G_CALLBACK(&XEmbedTrayIcon::onPopupMenu), this);
    g_signal_connect(icon_.get(), "activate", G_CALLBACK(&XEmbedTrayIcon::onActivate), this);
}

XEmbedTrayIcon::~XEmbedTrayIcon() {
    g_signal_handlers_disconnect_by_data(icon_.get(), this);
    gtk_status_icon_set_visible(icon_.get(), FALSE);
}

void XEmbedTrayIcon::show(const std::string& title, const std::string& tooltip,
                          const TrayMenu* menu) {
    popup_.show(menu);
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

void XEmbedTrayIcon::onPopupMenu(GtkStatusIcon* icon, guint button, guint time, gpointer self) {
    static_cast<XEmbedTrayIcon*>(self)->popup_.popUpWith(gtk_status_icon_position_menu, icon,
                                                         button, time);
}

void XEmbedTrayIcon::onActivate(GtkStatusIcon* icon, gpointer self) {
    static_cast<XEmbedTrayIcon*>(self)->popup_.popUpWith(gtk_status_icon_position_menu, icon, 0,
                                                         gtk_get_current_event_time());
}

}  // namespace ampora::linux_port

G_GNUC_END_IGNORE_DEPRECATIONS
