#include "platform/linux/tray/tray_status_bar.h"

#include <memory>
#include <optional>

#include "platform/linux/base/deferred.h"
#include "platform/linux/tray/dbus_menu_export.h"
#include "platform/linux/tray/status_notifier_item.h"

namespace ampora::linux_port {

namespace {

// The freedesktop battery icon for a level, if the panel will find it.
std::optional<std::string> themedBatteryIcon(ThemedIcons& icons, int percent, bool charging) {
    if (percent < 0) return std::nullopt;
    const int level = (percent + 5) / 10 * 10;
    std::string name = "battery-level-" + std::to_string(level);
    if (charging) name += level == 100 ? "-charged" : "-charging";
    name += "-symbolic";
    if (!icons.has(name)) return std::nullopt;
    return name;
}

class TrayStatusItem : public StatusItem, TrayMenuObserver {
  public:
    TrayStatusItem(GDBusConnection* bus, const std::string& id, std::string iconName,
                   const std::string& iconDirectory, ThemedIcons& themedIcons,
                   MenuActionSink& actions, TrayWindows& windows)
        : id_(id),
          iconName_(std::move(iconName)),
          themedIcons_(themedIcons),
          actions_(actions),
          windows_(windows) {
        if (!bus) {
            showHost(TrayHost::None);
            return;
        }
        menuExport_ = std::make_unique<DbusMenuExport>(
            StatusNotifierItem::kMenuPath, [this](std::size_t position) { activate(position); });
        item_ = std::make_unique<StatusNotifierItem>(
            bus, id, iconDirectory, [this](TrayHost host) { showHost(host); },
            [this](int x, int y) { return popUpMenu(x, y); });
    }

    ~TrayStatusItem() override {
        if (menu_) menu_->setObserver(nullptr);
    }

    TrayStatusItem(const TrayStatusItem&) = delete;
    TrayStatusItem& operator=(const TrayStatusItem&) = delete;

    void setMenu(Menu& menu) override {
        // Every menu shown here comes from the tray's menu factory.
        auto* trayMenu = dynamic_cast<TrayMenu*>(&menu);
        if (!trayMenu || trayMenu == menu_) return;
        if (menu_) menu_->setObserver(nullptr);
        menu_ = trayMenu;
        menu_->setObserver(this);
        if (menuExport_) menuExport_->show(*menu_);
        // At once: the menu replaced goes right after this, and a click waiting to be handled
        // must not find it in the XEmbed icon or the popup.
        refresh();
    }

    void setTitle(std::string_view title) override {
        title_ = title;
        scheduleRefresh();
    }

    void setAttributedTitle(std::string_view title, const Font&) override {
        // The panel draws text in its own font; there is no way to pass one.
        setTitle(title);
    }

    void setHighlightMode(bool) override {
        // The panel highlights its items while their menu is open.
    }

    void setBatteryLevel(int percent, bool charging, bool) override {
        percent_ = percent;
        charging_ = charging;
        scheduleRefresh();
    }

  private:
    void menuChanged(const TrayMenu& menu) override {
        if (menuExport_) menuExport_->show(menu);
        scheduleRefresh();
    }

    void menuDestroyed(const TrayMenu&) override {
        menu_ = nullptr;
        // At once: the fallback icon must not keep the menu for its next popup.
        refresh();
    }

    void activate(std::size_t position) {
        if (!menu_ || position >= menu_->items().size()) return;
        const Selector action = menu_->items()[position]->action();
        if (action != Selector::None) actions_.post(action);
    }

    void showHost(TrayHost host) {
        host_ = host;
        if (host == TrayHost::None && !fallback_) {
            fallback_ =
                windows_.newFallbackIcon(id_, [this](std::size_t position) { activate(position); });
        } else if (host != TrayHost::None) {
            fallback_.reset();
        }
        refresh();
    }

    // Where the host gives no point (0, 0), at the pointer: the click was just there. False
    // where no menu of ours can be shown.
    bool popUpMenu(int x, int y) {
        if (!menu_) return false;
        if (!popup_) {
            popup_ = windows_.newMenuPopup([this](std::size_t position) { activate(position); });
            if (!popup_) return false;
        }
        popup_->show(menu_);
        return x == 0 && y == 0 ? popup_->popUpAtPointer() : popup_->popUp(x, y);
    }

    // A reading changes the title, the level and the menu one after the other: the panel hears
    // of them together.
    void scheduleRefresh() {
        if (!refresh_.pending()) refresh_.whenIdle([this] { refresh(); });
    }

    void refresh() {
        refresh_.cancel();
        if (item_) {
            const bool labels = host_ == TrayHost::IconsAndLabels;
            std::string iconName;
            if (labels) {
                iconName = themedBatteryIcon(themedIcons_, percent_, charging_).value_or(iconName_);
            }
            item_->show({title_, labels ? title_ : "", iconName, menuFacts(menu_, true)});
        }
        if (fallback_) fallback_->show(title_, title_ + "\n" + menuFacts(menu_, false), menu_);
        if (popup_) popup_->show(menu_);
    }

    std::string id_;
    std::string iconName_;
    ThemedIcons& themedIcons_;
    MenuActionSink& actions_;
    std::unique_ptr<DbusMenuExport> menuExport_;
    std::unique_ptr<StatusNotifierItem> item_;
    TrayWindows& windows_;
    std::unique_ptr<FallbackIcon> fallback_;
    std::unique_ptr<MenuPopup> popup_;
    TrayHost host_ = TrayHost::None;
    TrayMenu* menu_ = nullptr;
    std::string title_;
    int percent_ = -1;
    bool charging_ = false;
    Deferred refresh_;
};

}  // namespace

TrayStatusBar::TrayStatusBar(GDBusConnection* bus, std::string id, std::string iconName,
                             std::string iconDirectory, MenuActionSink& actions,
                             TrayWindows& windows)
    : bus_(bus),
      id_(std::move(id)),
      iconName_(std::move(iconName)),
      iconDirectory_(std::move(iconDirectory)),
      themedIcons_(iconBaseDirectories()),
      actions_(actions),
      windows_(windows) {}

std::unique_ptr<StatusItem> TrayStatusBar::statusItemWithLength(double) {
    // The item sizes itself: every item is variable length.
    return std::make_unique<TrayStatusItem>(bus_, id_, iconName_, iconDirectory_, themedIcons_,
                                            actions_, windows_);
}

}  // namespace ampora::linux_port
