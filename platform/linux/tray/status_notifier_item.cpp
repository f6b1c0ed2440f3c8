#include "platform/linux/tray/status_notifier_item.h"

#include <cstring>
#include <memory>
#include <utility>

#include "platform/linux/base/logging.h"
#include "platform/linux/tray/status_notifier_interface.h"
#include "platform/linux/tray/title_icon.h"

namespace ampora::linux_port {

namespace {

constexpr const char* kInterface = "org.kde.StatusNotifierItem";
constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
// The service behind the panels that show Ayatana labels (xfce4-indicator-plugin, MATE's
// indicator applet) owns this name; its process is the watcher too.
constexpr const char* kLabelHost = "org.ayatana.indicator.application";

GDBusInterfaceInfo* interfaceInfo() {
    // Static tables made from org.kde.StatusNotifierItem.xml, never written to: GDBus leaves
    // interface info whose reference count is -1 alone.
    return const_cast<GDBusInterfaceInfo*>(&org_kde_status_notifier_item_interface);
}

GVariant* noPixmaps() {
    return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
}

bool cancelled(const GErrorPtr& error) {
    return error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED);
}

}  // namespace

// One registration in flight. It outlives the item when cancelled: then it only frees itself.
struct StatusNotifierItem::Call {
    StatusNotifierItem* item;
    std::string watcher;  // the watcher's unique name
    GObjectPtr<GCancellable> cancellable;
    guint32 watcherProcess = 0;
    bool labels = false;
};

StatusNotifierItem::StatusNotifierItem(GDBusConnection* bus, std::string id,
                                       std::string iconThemePath,
                                       std::function<void(TrayHost)> hostChanged)
    : bus_(bus),
      id_(std::move(id)),
      iconThemePath_(std::move(iconThemePath)),
      hostChanged_(std::move(hostChanged)) {
    static const GDBusInterfaceVTable vtable{
        &StatusNotifierItem::methodCall, &StatusNotifierItem::getProperty, nullptr, {}};
    GError* error = nullptr;
    object_ = g_dbus_connection_register_object(bus_, kPath, interfaceInfo(), &vtable, this,
                                                nullptr, &error);
    const GErrorPtr failure(error);
    if (!object_) logWarning(std::string("no tray item on the bus: ") + failure->message);
    watch_ = g_bus_watch_name_on_connection(bus_, kWatcher, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                            &StatusNotifierItem::watcherAppeared,
                                            &StatusNotifierItem::watcherVanished, this, nullptr);
}

StatusNotifierItem::~StatusNotifierItem() {
    cancelCalls();
    g_bus_unwatch_name(watch_);
    if (object_) g_dbus_connection_unregister_object(bus_, object_);
}

void StatusNotifierItem::show(const TrayAppearance& appearance) {
    const TrayAppearance before = std::exchange(shown_, appearance);
    if (before.title != shown_.title) {
        pixmaps_.reset();
        emit("NewTitle");
        emit("XAyatanaNewLabel", g_variant_new("(ss)", shown_.title.c_str(), ""));
    }
    if (before.iconName != shown_.iconName ||
        (shown_.iconName.empty() && before.title != shown_.title)) {
        emit("NewIcon");
    }
    if (before.title != shown_.title || before.description != shown_.description) {
        emit("NewToolTip");
    }
}

void StatusNotifierItem::emit(const char* signal, GVariant* arguments) {
    g_dbus_connection_emit_signal(bus_, nullptr, kPath, kInterface, signal, arguments, nullptr);
}

GVariant* StatusNotifierItem::property(const char* name) {
    const auto is = [name](const char* candidate) { return std::strcmp(name, candidate) == 0; };
    if (is("Category")) return g_variant_new_string("Hardware");
    if (is("Id")) return g_variant_new_string(id_.c_str());
    if (is("Title") || is("XAyatanaLabel")) return g_variant_new_string(shown_.title.c_str());
    if (is("Status")) return g_variant_new_string("Active");
    if (is("WindowId")) return g_variant_new_int32(0);
    if (is("IconThemePath")) return g_variant_new_string(iconThemePath_.c_str());
    if (is("IconName")) return g_variant_new_string(shown_.iconName.c_str());
    if (is("IconPixmap")) {
        if (!shown_.iconName.empty()) return noPixmaps();
        if (!pixmaps_) pixmaps_.reset(g_variant_ref_sink(titleIconPixmaps(shown_.title)));
        return g_variant_ref(pixmaps_.get());
    }
    if (is("ToolTip")) {
        return g_variant_new("(s@a(iiay)ss)", "", noPixmaps(), shown_.title.c_str(),
                             shown_.description.c_str());
    }
    if (is("ItemIsMenu")) return g_variant_new_boolean(TRUE);
    if (is("Menu")) return g_variant_new_object_path(kMenuPath);
    if (is("XAyatanaOrderingIndex")) return g_variant_new_uint32(0);
    if (is("OverlayIconPixmap") || is("AttentionIconPixmap")) return noPixmaps();
    return g_variant_new_string("");  // the other icon names and the movie: none
}

GVariant* StatusNotifierItem::getProperty(GDBusConnection*, const gchar*, const gchar*,
                                          const gchar*, const gchar* name, GError**,
                                          gpointer self) {
    return static_cast<StatusNotifierItem*>(self)->property(name);
}

void StatusNotifierItem::methodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                    const gchar* method, GVariant*,
                                    GDBusMethodInvocation* invocation, gpointer) {
    // Every click opens the menu, which the panel draws itself. Refusing the rest makes panels
    // that call these first fall back to showing it.
    g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD,
                                          "%s: the menu is all there is", method);
}

void StatusNotifierItem::cancelCalls() {
    if (calls_) g_cancellable_cancel(calls_.get());
    calls_.reset();
}

void StatusNotifierItem::watcherAppeared(GDBusConnection* bus, const gchar*, const gchar* owner,
                                         gpointer self) {
    auto* item = static_cast<StatusNotifierItem*>(self);
    item->cancelCalls();
    item->calls_.reset(g_cancellable_new());
    auto call = std::make_unique<Call>(
        Call{item, owner, GObjectPtr<GCancellable>(g_object_ref(item->calls_.get()))});
    const char* watcher = call->watcher.c_str();  // the call's own, which moves on with it
    askProcess(bus, watcher, std::move(call), &StatusNotifierItem::watcherProcessFound);
}

// The call's callback takes the call over.
void StatusNotifierItem::askProcess(GDBusConnection* bus, const char* name,
                                    std::unique_ptr<Call> call, GAsyncReadyCallback next) {
    Call* const pending = call.release();
    g_dbus_connection_call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                           g_variant_new("(s)", name), G_VARIANT_TYPE("(u)"),
                           G_DBUS_CALL_FLAGS_NONE, -1, pending->cancellable.get(), next, pending);
}

// The process that owns a name, 0 when there is none; false when the call was cancelled.
bool StatusNotifierItem::processFound(GObject* bus, GAsyncResult* result, guint32& process) {
    GError* error = nullptr;
    const GVariantPtr reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error));
    const GErrorPtr failure(error);
    process = 0;
    if (reply) g_variant_get(reply.get(), "(u)", &process);
    return !cancelled(failure);
}

void StatusNotifierItem::watcherProcessFound(GObject* bus, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Call> call(static_cast<Call*>(data));
    if (!processFound(bus, result, call->watcherProcess)) return;
    askProcess(G_DBUS_CONNECTION(bus), kLabelHost, std::move(call),
               &StatusNotifierItem::labelHostFound);
}

void StatusNotifierItem::labelHostFound(GObject* bus, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Call> call(static_cast<Call*>(data));
    guint32 labelHost = 0;
    if (!processFound(bus, result, labelHost)) return;
    call->labels = labelHost != 0 && labelHost == call->watcherProcess;
    // Sent to the watcher that just appeared, and never so as to start one. The reply's callback
    // takes the call over.
    Call* const pending = call.release();
    g_dbus_connection_call(G_DBUS_CONNECTION(bus), pending->watcher.c_str(), kWatcherPath, kWatcher,
                           "RegisterStatusNotifierItem", g_variant_new("(s)", kPath), nullptr,
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, pending->cancellable.get(),
                           &StatusNotifierItem::registered, pending);
}

void StatusNotifierItem::registered(GObject* bus, GAsyncResult* result, gpointer data) {
    const std::unique_ptr<Call> call(static_cast<Call*>(data));
    GError* error = nullptr;
    const GVariantPtr reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error));
    const GErrorPtr failure(error);
    if (!cancelled(failure)) {
        call->item->hostChanged_(!reply         ? TrayHost::None
                                 : call->labels ? TrayHost::IconsAndLabels
                                                : TrayHost::Icons);
    }
}

void StatusNotifierItem::watcherVanished(GDBusConnection*, const gchar*, gpointer self) {
    // A registration still in flight fails on its own now, and says the same.
    static_cast<StatusNotifierItem*>(self)->hostChanged_(TrayHost::None);
}

}  // namespace ampora::linux_port
