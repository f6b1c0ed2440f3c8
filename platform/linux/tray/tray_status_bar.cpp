#include "platform/linux/tray/tray_status_bar.h"

#include <memory>
#include <optional>

#include "platform/linux/base/glib_handles.h"
#include "platform/linux/tray/dbus_menu_export.h"
#include "platform/linux/tray/fallback_icon.h"
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

// The inert lines of a menu as tooltip text: a value line (it starts with a tab) goes after its
// label. With markup escaped where the host reads markup.
std::string facts(const TrayMenu* menu, bool markup) {
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

class TrayStatusItem : public StatusItem, TrayMenuObserver {
  public:
    TrayStatusItem(GDBusConnection* bus, const std::string& id, std::string iconName,
                   const std::string& iconDirectory, ThemedIcons& themedIcons,
                   MenuActionSink& actions, const FallbackIconFactory& fallbackIcon)
        : id_(id),
          iconName_(std::move(iconName)),
          themedIcons_(themedIcons),
          actions_(actions),
          fallbackIcon_(fallbackIcon) {
        if (!bus) {
            showHost(TrayHost::None);
            return;
        }
        menuExport_ = std::make_unique<DbusMenuExport>(
            StatusNotifierItem::kMenuPath, [this](std::size_t position) { activate(position); });
        item_ = std::make_unique<StatusNotifierItem>(bus, id, iconDirectory,
                                                     [this](TrayHost host) { showHost(host); });
    }

    ~TrayStatusItem() override {
        if (menu_) menu_->setObserver(nullptr);
        if (refresh_) g_source_remove(refresh_);
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
        menuChanged(*menu_);
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

    void setBatteryLevel(int percent, bool charging) override {
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
            fallback_ = fallbackIcon_(id_, [this](std::size_t position) { activate(position); });
        } else if (host != TrayHost::None) {
            fallback_.reset();
        }
        refresh();
    }

    // A reading changes the title, the level and the menu one after the other: the panel hears
    // of them together.
    void scheduleRefresh() {
        if (refresh_) return;
        refresh_ = g_idle_add_full(
            G_PRIORITY_HIGH_IDLE,
            [](gpointer self) {
                static_cast<TrayStatusItem*>(self)->refresh_ = 0;
                static_cast<TrayStatusItem*>(self)->refresh();
                return G_SOURCE_REMOVE;
            },
            this, nullptr);
    }

    void refresh() {
        if (item_) {
            std::string iconName;
            if (host_ == TrayHost::IconsAndLabels) {
                iconName = themedBatteryIcon(themedIcons_, percent_, charging_).value_or(iconName_);
            }
            item_->show({title_, iconName, facts(menu_, true)});
        }
        if (fallback_) fallback_->show(title_, title_ + "\n" + facts(menu_, false), menu_);
    }

    std::string id_;
    std::string iconName_;
    ThemedIcons& themedIcons_;
    MenuActionSink& actions_;
    std::unique_ptr<DbusMenuExport> menuExport_;
    std::unique_ptr<StatusNotifierItem> item_;
    const FallbackIconFactory& fallbackIcon_;
    std::unique_ptr<FallbackIcon> fallback_;
    TrayHost host_ = TrayHost::None;
    TrayMenu* menu_ = nullptr;
    std::string title_;
    int percent_ = -1;
    bool charging_ = false;
    guint refresh_ = 0;
};

}  // namespace

TrayStatusBar::TrayStatusBar(GDBusConnection* bus, std::string id, std::string iconName,
                             std::string iconDirectory, MenuActionSink& actions,
                             FallbackIconFactory fallbackIcon)
    : bus_(bus),
      id_(std::move(id)),
      iconName_(std::move(iconName)),
      iconDirectory_(std::move(iconDirectory)),
      themedIcons_(iconBaseDirectories()),
      actions_(actions),
      fallbackIcon_(std::move(fallbackIcon)) {}

std::unique_ptr<StatusItem> TrayStatusBar::statusItemWithLength(double) {
    // The item sizes itself: every item is variable length.
    return std::make_unique<TrayStatusItem>(bus_, id_, iconName_, iconDirectory_, themedIcons_,
                                            actions_, fallbackIcon_);
}

}  // namespace ampora::linux_port
