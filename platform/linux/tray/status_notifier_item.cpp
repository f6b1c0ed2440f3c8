#include "platform/linux/tray/status_notifier_item.h"

#include <array>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/linux/tray/status_notifier_interface.h"
#include "platform/linux/tray/title_icon.h"

namespace ampora::linux_port {

namespace {

constexpr const char* kInterface = "org.kde.StatusNotifierItem";
constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
// Watchers that live in the process of a host showing labels: the Ayatana indicator service
// (behind xfce4-indicator-plugin and MATE's indicator applet), and GNOME Shell, whose
// AppIndicator extension shows the label beside the icon.
constexpr std::array<const char*, 2> kLabelHosts{"org.ayatana.indicator.application",
                                                 "org.gnome.Shell"};
// A watcher takes an item and says whether a panel shows it in a few milliseconds; one that has
// not within this long is hung or still starting, and the user would see nothing meanwhile.
constexpr guint kWatcherAnswerMs = 2000;
// A panel restarting (xfce4-panel -r, plasmashell --replace) brings its watcher back within a
// second or two: falling back sooner would load GTK for good for nothing.
constexpr guint kWatcherReturnMs = 3000;

GDBusInterfaceInfo* interfaceInfo() {
    // Static tables made from org.kde.StatusNotifierItem.xml, never written to: GDBus leaves
    // interface info whose reference count is -1 alone.
    return const_cast<GDBusInterfaceInfo*>(&org_kde_status_notifier_item_interface);
}

GVariant* noPixmaps() {
    return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
}

// The reply of an asynchronous call; null with the error in failure. cancelled: the call was.
GVariantPtr finish(GObject* bus, GAsyncResult* result, GErrorPtr& failure, bool& cancelled) {
    GError* error = nullptr;
    GVariantPtr reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error));
    failure.reset(error);
    cancelled = error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    return reply;
}

}  // namespace

// A call to the watcher or about it, in flight. It outlives the item when cancelled: then it
// only frees itself.
struct StatusNotifierItem::Call {
    StatusNotifierItem* item;
    GObjectPtr<GCancellable> cancellable;
    std::string watcher;  // the watcher's unique name
    guint32 watcherProcess = 0;
    std::size_t asked = 0;  // processes asked for: the watcher's, then the label hosts' in turn
    bool labels = false;
};

StatusNotifierItem::StatusNotifierItem(GDBusConnection* bus, std::string id,
                                       std::string iconThemePath,
                                       std::function<void(TrayHost)> hostChanged,
                                       std::function<bool(int x, int y)> menuRequested)
    : bus_(bus),
      id_(std::move(id)),
      iconThemePath_(std::move(iconThemePath)),
      hostChanged_(std::move(hostChanged)),
      menuRequested_(std::move(menuRequested)) {
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
    forgetWatcher();
    g_bus_unwatch_name(watch_);
    if (object_) g_dbus_connection_unregister_object(bus_, object_);
}

void StatusNotifierItem::show(const TrayAppearance& appearance) {
    const TrayAppearance before = std::exchange(shown_, appearance);
    if (before.title != shown_.title) {
        pixmaps_.reset();
        emit("NewTitle");
    }
    if (before.label != shown_.label) {
        emit("XAyatanaNewLabel", g_variant_new("(ss)", shown_.label.c_str(), ""));
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
    if (is("Title")) return g_variant_new_string(shown_.title.c_str());
    if (is("XAyatanaLabel")) return g_variant_new_string(shown_.label.c_str());
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
    // The other icon names, the label's guide, the accessible descriptions, the movie: none.
    return g_variant_new_string("");
}

GVariant* StatusNotifierItem::getProperty(GDBusConnection*, const gchar*, const gchar*,
                                          const gchar*, const gchar* name, GError**,
                                          gpointer self) {
    return static_cast<StatusNotifierItem*>(self)->property(name);
}

void StatusNotifierItem::methodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                    const gchar* method, GVariant* parameters,
                                    GDBusMethodInvocation* invocation, gpointer self) {
    // A click opens the menu, as on the Mac: it is all there is. Where we can't show it
    // ourselves, refusing makes the host show its own (Plasma on Wayland).
    if (std::strcmp(method, "Activate") == 0 || std::strcmp(method, "ContextMenu") == 0) {
        gint32 x = 0;
        gint32 y = 0;
        g_variant_get(parameters, "(ii)", &x, &y);
        if (!static_cast<StatusNotifierItem*>(self)->menuRequested_(x, y)) {
            g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR,
                                                  G_DBUS_ERROR_UNKNOWN_METHOD,
                                                  "%s: the host's menu shows it here", method);
            return;
        }
    }
    // The rest (the middle button, scrolling, activation tokens) needs nothing done, and an
    // error would be taken for a fault.
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

std::unique_ptr<StatusNotifierItem::Call> StatusNotifierItem::newCall() {
    return std::make_unique<Call>(
        Call{this, GObjectPtr<GCancellable>(g_object_ref(calls_.get())), watcher_});
}

void StatusNotifierItem::forgetWatcher() {
    if (calls_) g_cancellable_cancel(calls_.get());
    calls_.reset();
    if (watcherSignals_) g_dbus_connection_signal_unsubscribe(bus_, watcherSignals_);
    watcherSignals_ = 0;
    watcher_.clear();
    labels_ = false;
    registered_ = false;
    unanswered_.cancel();
}

void StatusNotifierItem::watcherAppeared(GDBusConnection* bus, const gchar*, const gchar* owner,
                                         gpointer self) {
    auto* item = static_cast<StatusNotifierItem*>(self);
    item->forgetWatcher();
    item->gone_.cancel();
    item->watcherSeen_ = true;
    item->watcher_ = owner;
    item->calls_.reset(g_cancellable_new());
    // From the start, so no host that comes while we register goes unnoticed.
    item->watcherSignals_ = g_dbus_connection_signal_subscribe(
        bus, owner, kWatcher, nullptr, kWatcherPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        &StatusNotifierItem::watcherSignal, item, nullptr);
    item->unanswered_.after(kWatcherAnswerMs, [item] {
        item->silentWatcher_.log(
            "the StatusNotifierWatcher did not answer within 2 s: showing "
            "the XEmbed icon until it does");
        item->hostChanged_(TrayHost::None);
    });
    askProcess(item->newCall());
}

void StatusNotifierItem::watcherVanished(GDBusConnection*, const gchar*, gpointer self) {
    auto* item = static_cast<StatusNotifierItem*>(self);
    item->forgetWatcher();
    // None at start-up: nothing to wait for.
    if (!item->watcherSeen_) return item->hostChanged_(TrayHost::None);
    item->gone_.after(kWatcherReturnMs, [item] { item->hostChanged_(TrayHost::None); });
}

void StatusNotifierItem::watcherSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                       const gchar* signal, GVariant*, gpointer self) {
    auto* item = static_cast<StatusNotifierItem*>(self);
    if (!item->registered_) return;  // the registration asks once it is through
    if (std::strcmp(signal, "StatusNotifierHostRegistered") == 0) {
        item->hostFound(true);
    } else if (std::strcmp(signal, "StatusNotifierHostUnregistered") == 0) {
        askHosts(item->newCall());  // one of several may have gone
    }
}

// The process that owns the next name; the call's callback takes the call over.
void StatusNotifierItem::askProcess(std::unique_ptr<Call> call) {
    Call* const pending = call.release();
    const char* name =
        pending->asked == 0 ? pending->watcher.c_str() : kLabelHosts[pending->asked - 1];
    g_dbus_connection_call(pending->item->bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                           g_variant_new("(s)", name), G_VARIANT_TYPE("(u)"),
                           G_DBUS_CALL_FLAGS_NONE, -1, pending->cancellable.get(),
                           &StatusNotifierItem::processFound, pending);
}

void StatusNotifierItem::processFound(GObject* bus, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Call> call(static_cast<Call*>(data));
    GErrorPtr failure;
    bool cancelled = false;
    const GVariantPtr reply = finish(bus, result, failure, cancelled);
    if (cancelled) return;
    guint32 process = 0;  // none: the name has no owner
    if (reply) g_variant_get(reply.get(), "(u)", &process);
    if (call->asked++ == 0) {
        call->watcherProcess = process;
    } else {
        call->labels = process != 0 && process == call->watcherProcess;
    }
    if (!call->labels && call->asked <= kLabelHosts.size()) return askProcess(std::move(call));

    // Sent to the watcher that appeared, never so as to start one, and waited for as long as it
    // takes: a watcher that answers late still shows us then.
    Call* const pending = call.release();
    g_dbus_connection_call(G_DBUS_CONNECTION(bus), pending->watcher.c_str(), kWatcherPath, kWatcher,
                           "RegisterStatusNotifierItem", g_variant_new("(s)", kPath), nullptr,
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, G_MAXINT, pending->cancellable.get(),
                           &StatusNotifierItem::registered, pending);
}

void StatusNotifierItem::registered(GObject* bus, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Call> call(static_cast<Call*>(data));
    GErrorPtr failure;
    bool cancelled = false;
    const GVariantPtr reply = finish(bus, result, failure, cancelled);
    if (cancelled) return;
    StatusNotifierItem* item = call->item;
    if (!reply) {
        logWarning(std::string("the StatusNotifierWatcher refused the tray item: ") +
                   failure->message);
        item->unanswered_.cancel();
        return item->hostChanged_(TrayHost::None);
    }
    item->registered_ = true;
    item->labels_ = call->labels;
    askHosts(std::move(call));
}

// Whether a panel shows what the watcher holds; the call's callback takes the call over.
void StatusNotifierItem::askHosts(std::unique_ptr<Call> call) {
    Call* const pending = call.release();
    g_dbus_connection_call(pending->item->bus_, pending->watcher.c_str(), kWatcherPath,
                           "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", kWatcher, "IsStatusNotifierHostRegistered"),
                           G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, G_MAXINT,
                           pending->cancellable.get(), &StatusNotifierItem::hostsFound, pending);
}

void StatusNotifierItem::hostsFound(GObject* bus, GAsyncResult* result, gpointer data) {
    const std::unique_ptr<Call> call(static_cast<Call*>(data));
    GErrorPtr failure;
    bool cancelled = false;
    const GVariantPtr reply = finish(bus, result, failure, cancelled);
    if (cancelled) return;
    // A watcher that doesn't say is taken at its word that it shows what it takes.
    gboolean present = TRUE;
    if (reply) {
        GVariant* boxed = nullptr;
        g_variant_get(reply.get(), "(v)", &boxed);
        const GVariantPtr value(boxed);
        if (g_variant_is_of_type(value.get(), G_VARIANT_TYPE_BOOLEAN)) {
            present = g_variant_get_boolean(value.get());
        }
    }
    call->item->hostFound(present);
}

void StatusNotifierItem::hostFound(bool present) {
    unanswered_.cancel();
    if (!present) logDebug("no panel shows the StatusNotifierWatcher's items");
    hostChanged_(!present ? TrayHost::None : labels_ ? TrayHost::IconsAndLabels : TrayHost::Icons);
}

}  // namespace ampora::linux_port
