#include "platform/linux/indicator_status_bar.h"

#include <libayatana-appindicator/app-indicator.h>

#include "platform/linux/glib_handles.h"
#include "platform/linux/gtk_menus.h"

namespace ampora::linux_port {

namespace {

class IndicatorStatusItem : public StatusItem {
  public:
    IndicatorStatusItem(const std::string& id, const std::string& iconName,
                        const std::string& iconDirectory)
        : indicator_(
              app_indicator_new(id.c_str(), iconName.c_str(), APP_INDICATOR_CATEGORY_HARDWARE)) {
        if (!iconDirectory.empty()) {
            // The indicator's own tray fallback reads past the end of the theme's search path
            // unless the directory is already on it.
            gtk_icon_theme_append_search_path(gtk_icon_theme_get_default(), iconDirectory.c_str());
            app_indicator_set_icon_theme_path(indicator_.get(), iconDirectory.c_str());
        }
        app_indicator_set_status(indicator_.get(), APP_INDICATOR_STATUS_ACTIVE);
    }

    ~IndicatorStatusItem() override {
        app_indicator_set_status(indicator_.get(), APP_INDICATOR_STATUS_PASSIVE);
    }

    IndicatorStatusItem(const IndicatorStatusItem&) = delete;
    IndicatorStatusItem& operator=(const IndicatorStatusItem&) = delete;

    void setMenu(Menu& menu) override {
        // Every menu shown here comes from the GTK menu factory.
        auto* gtkMenu = dynamic_cast<GtkMenuAdapter*>(&menu);
        if (!gtkMenu) return;
        gtk_widget_show_all(GTK_WIDGET(gtkMenu->gtkMenu()));
        app_indicator_set_menu(indicator_.get(), gtkMenu->gtkMenu());
    }

    void setTitle(std::string_view title) override {
        const std::string text(title);
        app_indicator_set_label(indicator_.get(), text.c_str(), nullptr);
        app_indicator_set_title(indicator_.get(), text.c_str());
    }

    void setAttributedTitle(std::string_view title, const Font&) override {
        // The panel draws the label in its own font; there is no way to pass one.
        setTitle(title);
    }

    void setHighlightMode(bool) override {
        // The panel highlights its items while their menu is open.
    }

  private:
    GObjectPtr<AppIndicator> indicator_;
};

}  // namespace

IndicatorStatusBar::IndicatorStatusBar(std::string id, std::string iconName,
                                       std::string iconDirectory)
    : id_(std::move(id)),
      iconName_(std::move(iconName)),
      iconDirectory_(std::move(iconDirectory)) {}

std::unique_ptr<StatusItem> IndicatorStatusBar::statusItemWithLength(double) {
    // The label sizes itself: every item is variable length.
    return std::make_unique<IndicatorStatusItem>(id_, iconName_, iconDirectory_);
}

}  // namespace ampora::linux_port
