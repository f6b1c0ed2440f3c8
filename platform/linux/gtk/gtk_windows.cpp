// The GTK module's entry point. Built as ampora-gtk.so; only the entry is exported.
#include "platform/linux/gtk/gtk_windows.h"

#include <gmodule.h>
#include <gtk/gtk.h>

#include <type_traits>

#include "platform/linux/gtk/gtk_alert_presenter.h"
#include "platform/linux/gtk/popup_menu.h"
#include "platform/linux/gtk/xembed_tray_icon.h"

namespace ampora::linux_port {

namespace {

class Windows : public GtkWindows {
  public:
    std::unique_ptr<FallbackIcon> newFallbackIcon(
        const std::string& name, std::function<void(std::size_t)> activated) override {
        return std::make_unique<XEmbedTrayIcon>(name, std::move(activated));
    }

    std::unique_ptr<MenuPopup> newMenuPopup(std::function<void(std::size_t)> activated) override {
        return std::make_unique<PopupMenu>(std::move(activated));
    }

    void runAlert(std::string_view message, std::string_view button,
                  std::string_view informativeText) override {
        alerts_.runModal(message, button, informativeText);
    }

    void dismissAlerts() override { alerts_.dismissAll(); }

  private:
    GtkAlertPresenter alerts_;
};

}  // namespace

}  // namespace ampora::linux_port

extern "C" G_MODULE_EXPORT ampora::linux_port::GtkWindows* ampora_gtk_windows_open() {
    // The monitor set the locale at start-up, before its other threads: GTK must not set it
    // again now that they run.
    gtk_disable_setlocale();
    // X11 first, Xwayland included: the XEmbed icon and a menu placed where the host clicked
    // need the screen's coordinates, which Wayland gives no client.
    gdk_set_allowed_backends("x11,wayland");
    if (!gtk_init_check(nullptr, nullptr)) return nullptr;
    return new ampora::linux_port::Windows;
}
static_assert(
    std::is_same_v<decltype(&ampora_gtk_windows_open), ampora::linux_port::GtkModuleEntry>);
