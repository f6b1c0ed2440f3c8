#pragma once

#include "app/app_delegate.h"
#include "platform/macos/cocoa_alert.h"
#include "platform/macos/cocoa_application.h"
#include "platform/macos/cocoa_menu.h"
#include "platform/macos/cocoa_notification_center.h"
#include "platform/macos/cocoa_status_bar.h"
#include "platform/macos/cocoa_workspace.h"
#include "platform/macos/iokit_device_registry.h"
#include "platform/macos/login_item_service.h"
#include "platform/common/stdio_console.h"

namespace ampora::macos {

// The monitor's objects, created as its interface file would: the start-up menu, the delegate,
// then the delegate's statusMenu outlet. awakeFromNib is left to the caller. Create after
// NSApplication exists, on the main thread.
class MonitorProgram {
  public:
    MonitorProgram();
    MonitorProgram(const MonitorProgram&) = delete;
    MonitorProgram& operator=(const MonitorProgram&) = delete;

    AppDelegate& delegate() { return delegate_; }

  private:
    CocoaStatusBar statusBar_;
    CocoaMenuFactory menus_;
    CocoaWorkspace workspace_;
    ServiceManagementLoginItems loginItems_;
    CocoaDistributedNotificationCenter notifications_;
    CocoaAlertPresenter alerts_;
    CocoaApplication application_;
    StdioConsole console_;
    IOKitDeviceRegistry registry_;
    // Last, so that it goes first: it uses every service above.
    AppDelegate delegate_;
};

}  // namespace ampora::macos
