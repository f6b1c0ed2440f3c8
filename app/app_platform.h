#pragma once

#include "app/ports/application.h"
#include "app/ports/device_registry.h"
#include "app/ports/menu.h"
#include "app/ports/notification_center.h"
#include "app/ports/status_bar.h"
#include "app/ports/workspace.h"

namespace ampora {

// The platform services the monitor uses. All are owned by the program's main and outlive the
// delegate.
struct AppPlatform {
    StatusBar& statusBar;
    MenuFactory& menus;
    Workspace& workspace;
    LoginItemService& loginItems;
    DistributedNotificationCenter& notifications;
    AlertPresenter& alerts;
    Application& application;
    Console& console;
    DeviceRegistry& registry;
};

}  // namespace ampora
