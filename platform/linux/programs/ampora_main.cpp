// The monitor: a tray item over the session bus and udev, GTK only for an XEmbed tray, menus
// popped up on a click and alerts; or lines on standard output for a bar.
#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <system_error>

#include "app/app_delegate.h"
#include "platform/common/stdio_console.h"
#include "platform/linux/base/bundle_paths.h"
#include "platform/linux/base/event_loop.h"
#include "platform/linux/base/file_descriptor.h"
#include "platform/linux/base/logging.h"
#include "platform/linux/base/private_environment.h"
#include "platform/linux/gtk/gtk_loader.h"
#include "platform/linux/power/udev_device_registry.h"
#include "platform/linux/programs/command_line.h"
#include "platform/linux/programs/display_check.h"
#include "platform/linux/programs/title_lines.h"
#include "platform/linux/session/autostart_login_items.h"
#include "platform/linux/session/bus_notification_center.h"
#include "platform/linux/session/bus_workspace.h"
#include "platform/linux/session/session_bus.h"
#include "platform/linux/tray/status_menu_loader.h"
#include "platform/linux/tray/tray_menu.h"
#include "platform/linux/tray/tray_status_bar.h"
#include "shared/identifiers.h"

namespace {

using namespace ampora;
using namespace ampora::linux_port;

// The battery as lines on standard output for a bar: no display, no tray and no bus, so it runs
// beside the tray item. Ends when the bar stops reading.
int watchBattery(Output format, const std::filesystem::path& gtkModule) {
    // Taken before the delegate silences the standard streams, as it does for the tray.
    FileDescriptor out(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
    if (out.get() < 0) {
        std::perror("Ampora: standard output");
        return 1;
    }
    // A bar that went away is told by write's EPIPE, not by a signal that ends us mid-line.
    std::signal(SIGPIPE, SIG_IGN);

    EventLoop application;
    TitleLines lines(std::move(out), format, [&] { application.terminate(); });
    // The menu is never shown, so none of these is ever asked for anything.
    StdioConsole console;
    GtkLoader gtk(gtkModule);
    GtkAlerts alerts(gtk);
    BusWorkspace workspace(nullptr);
    BusNotificationCenter notifications(nullptr);
    AutostartLoginItems loginItems(userAutostartDirectory(), "", false);
    UdevDeviceRegistry registry;
    TrayMenuFactory menus;

    AppDelegate appDelegate(AppPlatform{lines, menus, workspace, loginItems, notifications, alerts,
                                        application, console, registry});
    appDelegate.awakeFromNib();
    application.run();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // First of all: descriptors 0-2 must be the standard streams before anything opens a file.
    openStandardStreams();
    startLogging("Ampora");

    // Locale and environment are set while this is the only thread. The user's locale is for the
    // command line's messages and GTK's windows; the texts Ampora shows don't depend on it.
    std::setlocale(LC_ALL, "");
    PrivateEnvironment privateEnvironment;
    // Nothing here draws with OpenGL, yet GDK would load the GL driver at start-up just to pick
    // visuals: that costs tens of MB resident and a good part of the start-up time.
    privateEnvironment.set("GDK_GL", "disable");
    // Files are only ever local here: GIO's other file systems (gvfs) would start their daemon.
    privateEnvironment.set("GIO_USE_VFS", "local");
    // GIO runs a few start-up jobs on worker threads, which would then idle for 15 s and wake
    // once to exit: let them go as soon as their work is done.
    g_thread_pool_set_max_unused_threads(0);

    Output output = Output::Tray;
    if (const std::optional<int> status = handleCommandLine(argc, argv, output)) return *status;

    const std::filesystem::path executable = runningExecutable();
    const std::filesystem::path resources = resourcesOfExecutable(executable);
    const std::filesystem::path gtkModule = pluginsOfExecutable(executable) / kGtkModuleFile;
    if (output != Output::Tray) return watchBattery(output, gtkModule);
    // Alerts and XEmbed trays need it: a bundle without it is broken, better said at once.
    std::error_code error;
    if (!gtkModule.is_absolute() || !std::filesystem::is_regular_file(gtkModule, error)) {
        std::fprintf(stderr, "Ampora: %s is missing; reinstall Ampora\n", gtkModule.c_str());
        return 1;
    }

    // Without a session bus the battery still shows; only launch at login can't work.
    const GObjectPtr<GDBusConnection> bus = connectSessionBus();
    // Nor does losing the bus mid-run end the program, as GDBus would by default (SIGTERM). The
    // tray shares this connection.
    if (bus) g_dbus_connection_set_exit_on_close(bus.get(), FALSE);
    // One monitor per session: the name says who runs. Checked before the display, so a second
    // start never shows anything.
    const OwnedBusName busName(bus.get(), std::string(MainBundleIdentifier));
    if (busName.takenByAnother()) {
        std::fprintf(stderr, "Ampora: already running in this session\n");
        return 0;
    }

    // Said before the streams are silenced, so whoever started us can see it.
    if (!displayAvailable()) {
        std::fprintf(stderr, "Ampora: cannot open display %s\n", displayName());
        return 1;
    }

    EventLoop application;
    StdioConsole console;
    GtkLoader gtk(gtkModule);
    GtkAlerts alerts(gtk);
    BusWorkspace workspace(bus.get(), &privateEnvironment);
    BusNotificationCenter notifications(bus.get());
    AutostartLoginItems loginItems(userAutostartDirectory(),
                                   helperExecutableOf(executable).string(), bus != nullptr,
                                   &privateEnvironment);
    UdevDeviceRegistry registry;

    AppDelegate* delegate = nullptr;
    MenuActionSink actions([&](Selector action) {
        if (delegate) sendAction(action, *delegate, application);
        if (action == Selector::Terminate) alerts.dismissAll();
    });
    TrayMenuFactory menus;
    TrayStatusBar statusBar(bus.get(), std::string(MainBundleIdentifier), "com.larchmoor.Ampora",
                            resources.string(), actions, gtk);

    AppDelegate appDelegate(AppPlatform{statusBar, menus, workspace, loginItems, notifications,
                                        alerts, application, console, registry});
    delegate = &appDelegate;

    appDelegate.setStatusMenu(loadStatusMenu((resources / "Ampora.ui").string()));
    appDelegate.awakeFromNib();
    appDelegate.applicationDidFinishLaunching();
    application.run();
    return 0;
}
