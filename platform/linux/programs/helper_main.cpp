// The login helper: no window and no display, only the session bus.
#include <cstdio>

#include "helper/helper_app_delegate.h"
#include "platform/common/stdio_console.h"
#include "platform/linux/base/bundle_paths.h"
#include "platform/linux/base/event_loop.h"
#include "platform/linux/base/logging.h"
#include "platform/linux/session/bus_notification_center.h"
#include "platform/linux/session/bus_workspace.h"
#include "platform/linux/session/session_bus.h"
#include "shared/identifiers.h"

int main() {
    using namespace ampora;
    using namespace ampora::linux_port;

    // Whatever we open from here on, and the monitor we start, gets numbers above 2.
    openStandardStreams();
    startLogging("Ampora-Helper");

    // The monitor could never tell us to quit: nothing to wait for (why is logged).
    const GObjectPtr<GDBusConnection> bus = connectSessionBus();
    if (!bus) return 1;
    const OwnedBusName busName(bus.get(), std::string(HelperBundleIdentifier));
    // One helper per session: another one is already seeing the monitor started.
    if (busName.takenByAnother()) {
        std::fprintf(stderr, "Ampora-Helper: already running in this session\n");
        return 0;
    }

    EventLoop application;
    BusWorkspace workspace(bus.get());
    BusNotificationCenter notifications(bus.get());
    HelperAppDelegate delegate(HelperPlatform{workspace, notifications, application},
                               bundleOfExecutable(runningExecutable()).string());

    delegate.applicationDidFinishLaunching();
    application.run();
    return 0;
}
