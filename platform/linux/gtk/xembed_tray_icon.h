#pragma once

#include <gtk/gtk.h>

#include <cstddef>
#include <functional>
#include <string>

#include "platform/linux/base/glib_handles.h"
#include "platform/linux/gtk/popup_menu.h"
#include "platform/linux/tray/tray_windows.h"

namespace ampora::linux_port {

// The item in an XEmbed system tray (trayer, tint2, ...), for sessions where no panel shows
// StatusNotifierItems: the title drawn as the icon at the size the tray gives, the facts as its
// tooltip, and the menu popped up on a click.
class XEmbedTrayIcon : public FallbackIcon {
  public:
    // name is the icon window's class; activated gets the position of the entry clicked.
    XEmbedTrayIcon(const std::string& name, std::function<void(std::size_t)> activated);
    ~XEmbedTrayIcon() override;
    XEmbedTrayIcon(const XEmbedTrayIcon&) = delete;
    XEmbedTrayIcon& operator=(const XEmbedTrayIcon&) = delete;

    void show(const std::string& title, const std::string& tooltip, const TrayMenu* menu) override;

  private:
    static gboolean onSizeChanged(GtkStatusIcon*, gint size, gpointer self);
    static void onPopupMenu(GtkStatusIcon*, guint button, guint time, gpointer self);
    static void onActivate(GtkStatusIcon*, gpointer self);
    void draw(int size);

    GObjectPtr<GtkStatusIcon> icon_;
    PopupMenu popup_;
    std::string title_;
};

}  // namespace ampora::linux_port
