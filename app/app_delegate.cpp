#include "app/app_delegate.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "app/power_source_watcher.h"
#include "battery/battery_report.h"
#include "shared/identifiers.h"

namespace ampora {

AppDelegate* gDelegate = nullptr;

namespace {

const Font& statusFont() {
    static const Font font{"Helvetica Neue", 13.0};
    return font;
}

// From a level the source reports itself, else from the charge in mAh.
int chargePercent(const IOPMBattery& record) {
    if (record.hasChargeLevel && record.chargeLevel >= 0) {
        return std::min(record.chargeLevel, 10000) / 100;
    }
    if (!record.hasCurrentCapacity || !record.hasMaxCapacity || record.maxCapacity <= 0 ||
        record.currentCapacity < 0) {
        return -1;
    }
    return static_cast<int>(std::min<std::int64_t>(
        100, std::int64_t{record.currentCapacity} * 100 / record.maxCapacity));
}

}  // namespace

AppDelegate::AppDelegate(AppPlatform platform) : platform_(platform) {}

AppDelegate::~AppDelegate() {
    // The watcher's callbacks reach the delegate only through gDelegate: never leave it dangling.
    if (gDelegate == this) gDelegate = nullptr;
}

void AppDelegate::setStatusMenu(std::unique_ptr<Menu> menu) {
    statusMenu_ = std::move(menu);
}

void AppDelegate::awakeFromNib() {
    platform_.console.silenceStandardStreams();

    statusItem_ = platform_.statusBar.statusItemWithLength(kVariableStatusItemLength);
    if (statusMenu_) statusItem_->setMenu(*statusMenu_);
    statusItem_->setTitle("Status");
    statusItem_->setHighlightMode(true);

    gDelegate = this;

    watcher_ = std::make_unique<PowerSourceWatcher>(platform_.registry);
    watcher_->startWatching();
}

void AppDelegate::applicationDidFinishLaunching() {
    bool helperRunning = false;
    for (const auto& identifier : platform_.workspace.runningApplicationBundleIdentifiers()) {
        if (identifier && *identifier == HelperBundleIdentifier) helperRunning = true;
    }
    // The helper only runs at this moment when it started us at login: launch at login is on.
    if (helperRunning) {
        platform_.notifications.postNotification(TerminateHelperNotification, MainBundleIdentifier);
    }
    // A service that keeps a record knows better, whoever started us.
    const LoginItemStatus status = platform_.loginItems.status(HelperBundleIdentifier);
    const bool on =
        status == LoginItemStatus::Unknown ? helperRunning : status == LoginItemStatus::Enabled;
    if (!on) return;
    if (openAtLoginItem_) {
        openAtLoginItem_->setState(kCheckStateOn);
    } else {
        // No reading yet, so no menu: the first menu built shows it.
        openAtLoginStateBeforeMenu_ = kCheckStateOn;
    }
}

void AppDelegate::setStatusItem(const IOPMBattery& record) {
    const BatteryReport report = makeBatteryReport(record);

    statusItem_->setBatteryLevel(chargePercent(record), record.isCharging,
                                 record.externalConnected);
    statusItem_->setAttributedTitle(report.title, statusFont());

    std::unique_ptr<Menu> menu = platform_.menus.newMenu("");
    menu->setFont(statusFont());
    for (const ReportLine& line : report.pairs) {
        menu->addItemWithTitle(line.label, Selector::None, "");
        menu->addItemWithTitle(line.value, Selector::None, "");
    }

    std::unique_ptr<MenuItem> openAtLogin = platform_.menus.newMenuItem();
    openAtLogin->setAction(Selector::DidSelectOpenAtLogin);
    openAtLogin->setTitle("Open at login");
    openAtLogin->setState(openAtLoginItem_ ? openAtLoginItem_->state()
                                           : openAtLoginStateBeforeMenu_);
    openAtLoginItem_ = &menu->addItem(std::move(openAtLogin));

    menu->addItemWithTitle("Rate Ampora", Selector::RateApp, "");
    menu->addItemWithTitle("Go To Developer's Website", Selector::GoToSite, "");
    menu->addItemWithTitle("Quit", Selector::Terminate, "");

    // Show the new menu before dropping the old one, which the status item still refers to.
    statusItem_->setMenu(*menu);
    currentMenu_ = std::move(menu);
}

void AppDelegate::didSelectOpenAtLogin() {
    if (!openAtLoginItem_) return;
    const bool enable = openAtLoginItem_->state() == kCheckStateOff;
    // The mark moves only once the service has accepted: while an alert says it refused, the
    // menu must not claim otherwise.
    const bool done = toggleLaunchAtLogin(enable);
    // Readings may have rebuilt the menu while an alert was up: look the entry up again. Where
    // the service keeps a record the entry shows it.
    const LoginItemStatus status = platform_.loginItems.status(HelperBundleIdentifier);
    if (openAtLoginItem_ && status != LoginItemStatus::Unknown) {
        openAtLoginItem_->setState(status == LoginItemStatus::Enabled ? kCheckStateOn
                                                                      : kCheckStateOff);
    } else if (openAtLoginItem_ && done) {
        openAtLoginItem_->setState(enable ? kCheckStateOn : kCheckStateOff);
    }
    platform_.console.writeLine("yeah!");
}

bool AppDelegate::toggleLaunchAtLogin(bool enable) {
    platform_.console.writeLine(enable ? "enabling launch at login" : "disabling launch at login");
    if (platform_.loginItems.setEnabled(HelperBundleIdentifier, enable)) return true;

    // Switched off by the user in the system's settings: only they can allow it, and there.
    if (enable &&
        platform_.loginItems.status(HelperBundleIdentifier) == LoginItemStatus::RequiresApproval) {
        platform_.loginItems.openSystemSettings();
        return false;
    }
    platform_.alerts.runModal("An error ocurred", "OK",
                              enable
                                  ? "Couldn't add Helper App to launch at login item list."
                                  : "Couldn't remove Helper App from launch at login item list.");
    return false;
}

void AppDelegate::RateApp() {
    // A desktop without a software centre handles no store address: the click must still lead
    // somewhere, so it leads to the developer's site.
    if (!platform_.workspace.openURL(AMPORA_STORE_URL)) GoToSite();
}

void AppDelegate::GoToSite() {
    platform_.workspace.openURL("http://" AMPORA_SITE_HOST "/?referrer?Ampora");
}

void sendAction(Selector action, AppDelegate& delegate, Application& application) {
    switch (action) {
        case Selector::None:
            break;
        case Selector::DidSelectOpenAtLogin:
            delegate.didSelectOpenAtLogin();
            break;
        case Selector::RateApp:
            delegate.RateApp();
            break;
        case Selector::GoToSite:
            delegate.GoToSite();
            break;
        case Selector::Terminate:
            application.terminate();
            break;
    }
}

}  // namespace ampora
