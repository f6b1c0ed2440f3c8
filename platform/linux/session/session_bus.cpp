#include "platform/linux/session/session_bus.h"

namespace ampora::linux_port {

namespace {

constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr guint32 kDoNotQueue = 4;
constexpr guint32 kPrimaryOwner = 1;
constexpr guint32 kExists = 3;
constexpr guint32 kAlreadyOwner = 4;

}  // namespace

GObjectPtr<GDBusConnection> connectSessionBus() {
    return GObjectPtr<GDBusConnection>(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
}

OwnedBusName::OwnedBusName(GDBusConnection* bus, std::string name)
    : bus_(bus), name_(std::move(name)) {
    if (!bus_) return;
    GVariantPtr reply(g_dbus_connection_call_sync(bus_, kBusName, kBusPath, kBusName, "RequestName",
                                                  g_variant_new("(su)", name_.c_str(), kDoNotQueue),
                                                  G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1,
                                                  nullptr, nullptr));
    if (!reply) return;
    guint32 result = 0;
    g_variant_get(reply.get(), "(u)", &result);
    owned_ = result == kPrimaryOwner || result == kAlreadyOwner;
    takenByAnother_ = result == kExists;
}

OwnedBusName::~OwnedBusName() {
    if (!owned_) return;
    GVariantPtr reply(g_dbus_connection_call_sync(bus_, kBusName, kBusPath, kBusName, "ReleaseName",
                                                  g_variant_new("(s)", name_.c_str()), nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
}

}  // namespace ampora::linux_port
