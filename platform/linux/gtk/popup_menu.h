#pragma once

#include <gtk/gtk.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/linux/base/glib_handles.h"
#include "platform/linux/tray/tray_windows.h"

namespace ampora::linux_port {

// The tray's menu as a GTK popup menu, in the menu's font. Its entries follow the menu while it
// is open, as a panel's do; a click on one gives its position.
class PopupMenu : public MenuPopup {
  public:
    explicit PopupMenu(std::function<void(std::size_t)> activated);
    ~PopupMenu() override;
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;

    void show(const TrayMenu* menu) override;
    bool popUp(int x, int y) override;
    bool popUpAtPointer() override;
    // Where a positioning function of GTK's puts it, for the click of button at time.
    void popUpWith(GtkMenuPositionFunc position, gpointer data, guint button, guint time);

  private:
    static void onEntryActivated(GtkMenuItem* entry, gpointer self);
    bool update();

    std::function<void(std::size_t)> activated_;
    GObjectPtr<GtkWidget> widget_;
    GObjectPtr<GtkCssProvider> font_;
    std::string fontCss_;
    std::vector<GtkWidget*> entries_;  // held by widget_
    const TrayMenu* menu_ = nullptr;
    bool updating_ = false;
};

}  // namespace ampora::linux_port
