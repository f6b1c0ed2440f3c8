#include "platform/linux/session/session_bus.h"

#include <memory>
#include <string>
#include <utility>

#include "platform/linux/base/logging.h"

namespace ampora::linux_port {

namespace {

constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr guint32 kDoNotQueue = 4;
constexpr guint32 kPrimaryOwner = 1;
constexpr guint32 kExists = 3;
constexpr guint32 kAlreadyOwner = 4;

struct MainContextUnref {
    void operator()(GMainContext* context) const { g_main_context_unref(context); }
};
struct SourceDestroy {
    void operator()(GSource* source) const {
        g_source_destroy(source);
        g_source_unref(source);
    }
};

struct Connecting {
    GObjectPtr<GDBusConnection> bus;
    GErrorPtr error;
    bool done = false;
};

void connected(GObject*, GAsyncResult* result, gpointer data) {
    auto* connecting = static_cast<Connecting*>(data);
    GError* error = nullptr;
    connecting->bus.reset(g_bus_get_finish(result, &error));
    connecting->error.reset(error);
    connecting->done = true;
}

gboolean giveUp(gpointer cancellable) {
    g_cancellable_cancel(static_cast<GCancellable*>(cancellable));
    return G_SOURCE_REMOVE;
}

}  // namespace

GObjectPtr<GDBusConnection> connectSessionBus() {
    // The same shared connection g_bus_get_sync gives (the tray's menu uses it too), but with a
    // time limit: connected on a context of our own, which nothing else runs meanwhile.
    const std::unique_ptr<GMainContext, MainContextUnref> context(g_main_context_new());
    g_main_context_push_thread_default(context.get());
    const GObjectPtr<GCancellable> cancellable(g_cancellable_new());
    const std::unique_ptr<GSource, SourceDestroy> limit(g_timeout_source_new(kBusStartLimitMs));
    g_source_set_callback(limit.get(), giveUp, cancellable.get(), nullptr);
    g_source_attach(limit.get(), context.get());

    Connecting connecting;
    g_bus_get(G_BUS_TYPE_SESSION, cancellable.get(), connected, &connecting);
    while (!connecting.done) g_main_context_iteration(context.get(), TRUE);
    g_main_context_pop_thread_default(context.get());

    if (connecting.bus) return std::move(connecting.bus);
    if (g_error_matches(connecting.error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        logWarning("no session bus: it did not answer within " +
                   std::to_string(kBusStartLimitMs / 1000) + " s");
    } else {
        logWarning(std::string("no session bus: ") + connecting.error->message);
    }
    return nullptr;
}

OwnedBusName::OwnedBusName(GDBusConnection* bus, std::string name)
    : bus_(bus), name_(std::move(name)) {
    if (!bus_) return;
    GError* error = nullptr;
    GVariantPtr reply(g_dbus_connection_call_sync(bus_, kBusName, kBusPath, kBusName, "RequestName",
                                                  g_variant_new("(su)", name_.c_str(), kDoNotQueue),
                                                  G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
                                                  kBusStartLimitMs, nullptr, &error));
    const GErrorPtr failure(error);
    if (!reply) {
        logWarning("the session bus did not give us the name " + name_ + ": " + failure->message);
        return;
    }
    guint32 result = 0;
    g_variant_get(reply.get(), "(u)", &result);
    owned_ = result == kPrimaryOwner || result == kAlreadyOwner;
    takenByAnother_ = result == kExists;
}

OwnedBusName::~OwnedBusName() {
    if (!owned_) return;
    GVariantPtr reply(g_dbus_connection_call_sync(
        bus_, kBusName, kBusPath, kBusName, "ReleaseName", g_variant_new("(s)", name_.c_str()),
        nullptr, G_DBUS_CALL_FLAGS_NONE, kBusStartLimitMs, nullptr, nullptr));
}

}  // namespace ampora::linux_port
