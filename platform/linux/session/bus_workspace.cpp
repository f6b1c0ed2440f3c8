#include "platform/linux/session/bus_workspace.h"

#include <string>

#include "platform/linux/base/glib_handles.h"
#include "platform/linux/session/process_launch.h"
#include "platform/linux/session/session_bus.h"

namespace ampora::linux_port {

BusWorkspace::BusWorkspace(GDBusConnection* bus, const PrivateEnvironment* privateEnvironment)
    : bus_(bus), privateEnvironment_(privateEnvironment) {}

std::vector<std::optional<std::string>> BusWorkspace::runningApplicationBundleIdentifiers() {
    std::vector<std::optional<std::string>> identifiers;
    if (!bus_) return identifiers;
    GError* error = nullptr;
    GVariantPtr reply(g_dbus_connection_call_sync(
        bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListNames",
        nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, kBusStartLimitMs, nullptr,
        &error));
    const GErrorPtr failure(error);
    if (!reply) {
        listFailure_.log("cannot list the programs on the session bus", failure.get());
        return identifiers;
    }

    GVariantIter* names = nullptr;
    g_variant_get(reply.get(), "(as)", &names);
    const gchar* name = nullptr;
    while (g_variant_iter_next(names, "&s", &name)) {
        // Unique names (":1.42") are connections, not programs; the bus holds its own name.
        if (name[0] == ':' || g_str_equal(name, "org.freedesktop.DBus")) continue;
        identifiers.emplace_back(name);
    }
    g_variant_iter_free(names);
    return identifiers;
}

bool BusWorkspace::openURL(std::string_view url) {
    const GObjectPtr<GAppLaunchContext> context(g_app_launch_context_new());
    if (privateEnvironment_) {
        for (const std::string& name : privateEnvironment_->names()) {
            g_app_launch_context_unsetenv(context.get(), name.c_str());
        }
    }
    return g_app_info_launch_default_for_uri(std::string(url).c_str(), context.get(), nullptr) !=
           FALSE;
}

bool BusWorkspace::launchApplication(std::string_view path) {
    const GStrvPtr environment = privateEnvironment_ ? privateEnvironment_->forChildren() : nullptr;
    return launchDetached(std::string(path), environment.get());
}

bool BusWorkspace::launchAndWatchApplication(std::string_view path, std::function<void()> ended) {
    return launchWatched(std::string(path), std::move(ended));
}

}  // namespace ampora::linux_port
