#include "platform/linux/session/bus_notification_center.h"

#include <string>

namespace ampora::linux_port {

namespace {

constexpr const char* kObjectPath = "/com/larchmoor/Ampora/Distributed";
constexpr const char* kInterface = "com.larchmoor.Ampora.Distributed";
constexpr const char* kMember = "Notification";

}  // namespace

struct BusNotificationCenter::Observer {
    std::string name;
    std::string object;
    std::function<void()> callback;
    guint subscription = 0;
};

namespace {

void onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
              GVariant* parameters, gpointer data) {
    auto* observer = static_cast<BusNotificationCenter::Observer*>(data);
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ss)"))) return;
    const gchar* name = nullptr;
    const gchar* object = nullptr;
    g_variant_get(parameters, "(&s&s)", &name, &object);
    if (observer->name == name && observer->object == object) observer->callback();
}

}  // namespace

BusNotificationCenter::BusNotificationCenter(GDBusConnection* bus) : bus_(bus) {}

BusNotificationCenter::~BusNotificationCenter() {
    for (const auto& observer : observers_) {
        g_dbus_connection_signal_unsubscribe(bus_, observer->subscription);
    }
}

void BusNotificationCenter::postNotification(std::string_view name, std::string_view object) {
    if (!bus_) return;
    const std::string nameText(name);
    const std::string objectText(object);
    g_dbus_connection_emit_signal(bus_, nullptr, kObjectPath, kInterface, kMember,
                                  g_variant_new("(ss)", nameText.c_str(), objectText.c_str()),
                                  nullptr);
    // The receiver may be told to quit while we exit: get the signal out of our queue now.
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
}

void BusNotificationCenter::addObserver(std::string_view name, std::string_view object,
                                        std::function<void()> callback) {
    if (!bus_) return;
    auto observer = std::make_unique<Observer>();
    observer->name = name;
    observer->object = object;
    observer->callback = std::move(callback);
    // arg0 lets the bus drop other names before they reach us; the object is checked on arrival.
    observer->subscription = g_dbus_connection_signal_subscribe(
        bus_, nullptr, kInterface, kMember, kObjectPath, observer->name.c_str(),
        G_DBUS_SIGNAL_FLAGS_NONE, onSignal, observer.get(), nullptr);
    observers_.push_back(std::move(observer));
}

}  // namespace ampora::linux_port
