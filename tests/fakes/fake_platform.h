#pragma once

#include "app/app_platform.h"
#include "event_log.h"
#include "fake_menu.h"
#include "fake_registry.h"
#include "fake_session.h"
#include "fake_status_bar.h"

namespace ampora::fakes {

// Every platform service the monitor uses, in memory.
struct FakeAppPlatform {
    EventLog log;
    FakeStatusBar statusBar{log};
    FakeMenuFactory menus;
    FakeWorkspace workspace;
    FakeLoginItems loginItems;
    FakeNotificationCenter notifications;
    FakeAlerts alerts;
    FakeApplication application;
    FakeConsole console{log};
    FakeRegistry registry;

    AppPlatform ports() {
        return {statusBar, menus,       workspace, loginItems, notifications,
                alerts,    application, console,   registry};
    }
};

}  // namespace ampora::fakes
