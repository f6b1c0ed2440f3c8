#pragma once

#include <memory>

#include "app/app_platform.h"
#include "battery/iopm_battery.h"

namespace ampora {

class PowerSourceWatcher;

// The monitor's application delegate: owns the status item and the menus, shows every battery
// reading and controls launch at login. Lives for the whole process; all calls come on the main
// thread.
class AppDelegate {
  public:
    explicit AppDelegate(AppPlatform platform);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Outlet connected by the interface file before awakeFromNib: the menu shown until the first
    // reading.
    void setStatusMenu(std::unique_ptr<Menu> menu);

    void awakeFromNib();
    void applicationDidFinishLaunching();

    // Shows one reading. The record (and the strings it borrows) is valid only during the call.
    void setStatusItem(const IOPMBattery& record);

    // Menu actions.
    void didSelectOpenAtLogin();
    void RateApp();
    void GoToSite();

    // Registers or unregisters the login helper; shows an alert on failure. True on success.
    bool toggleLaunchAtLogin(bool enable);

    // The "Open at login" entry of the current menu; null before the first reading.
    MenuItem* openAtLoginItem() const { return openAtLoginItem_; }

  private:
    AppPlatform platform_;
    std::unique_ptr<Menu> statusMenu_;
    std::unique_ptr<StatusItem> statusItem_;
    std::unique_ptr<Menu> currentMenu_;                // the menu built for the last reading
    MenuItem* openAtLoginItem_ = nullptr;              // owned by currentMenu_
    int openAtLoginStateBeforeMenu_ = kCheckStateOff;  // a helper found before any reading
    std::unique_ptr<PowerSourceWatcher> watcher_;
};

// The one delegate, through which the registry callbacks reach it. Set by awakeFromNib.
extern AppDelegate* gDelegate;

// The responder chain for menu actions without a target: terminate goes to the application, the
// rest to the delegate.
void sendAction(Selector action, AppDelegate& delegate, Application& application);

}  // namespace ampora
