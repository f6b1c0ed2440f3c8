#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/linux/base/deferred.h"
#include "platform/linux/base/glib_handles.h"
#include "platform/linux/base/logging.h"

namespace ampora::linux_port {

// What the tray item shows. The item signals only what changed from the last one.
struct TrayAppearance {
    std::string title;        // the title, and the tooltip's heading
    std::string label;        // the Ayatana label beside the icon: empty where the host shows none
    std::string iconName;     // empty: the title is drawn as the icon
    std::string description;  // the tooltip's body (markup)

    bool operator==(const TrayAppearance&) const = default;
};

// Who shows the item: nobody (no watcher, a watcher without a panel behind it, one that refused
// it or hasn't answered), a host that shows icons only, or one that also shows the Ayatana label
// next to the icon.
enum class TrayHost { None, Icons, IconsAndLabels };

// A StatusNotifierItem on the session bus, at /StatusNotifierItem. It registers with the
// StatusNotifierWatcher when one is there at start-up and again only when the watcher's owner
// changes (a panel restarted), and says each time who shows it, following the hosts that come
// and go behind the watcher.
class StatusNotifierItem {
  public:
    // hostChanged: who shows the item now. menuRequested: a click the host passed on rather than
    // opening the menu itself, at a point of the screen (0, 0 where the host gives none); false
    // where the menu can't be shown so, and the host's own should.
    StatusNotifierItem(GDBusConnection* bus, std::string id, std::string iconThemePath,
                       std::function<void(TrayHost)> hostChanged,
                       std::function<bool(int x, int y)> menuRequested);
    ~StatusNotifierItem();
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    static constexpr const char* kPath = "/StatusNotifierItem";
    static constexpr const char* kMenuPath = "/StatusNotifierItem/Menu";

    void show(const TrayAppearance& appearance);

  private:
    struct Call;
    static GVariant* getProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                 const gchar* name, GError**, gpointer self);
    static void methodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                           const gchar* method, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
    static void watcherAppeared(GDBusConnection*, const gchar*, const gchar* owner, gpointer self);
    static void watcherVanished(GDBusConnection*, const gchar*, gpointer self);
    static void watcherSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                              const gchar* signal, GVariant*, gpointer self);
    static void askProcess(std::unique_ptr<Call> call);
    static void processFound(GObject* bus, GAsyncResult* result, gpointer call);
    static void registered(GObject* bus, GAsyncResult* result, gpointer call);
    static void askHosts(std::unique_ptr<Call> call);
    static void hostsFound(GObject* bus, GAsyncResult* result, gpointer call);

    GVariant* property(const char* name);
    void emit(const char* signal, GVariant* arguments = nullptr);
    std::unique_ptr<Call> newCall();
    void forgetWatcher();
    void hostFound(bool present);

    GDBusConnection* bus_;
    std::string id_;
    std::string iconThemePath_;
    std::function<void(TrayHost)> hostChanged_;
    std::function<bool(int, int)> menuRequested_;
    TrayAppearance shown_;
    GVariantPtr pixmaps_;  // the drawn title, made when a host first asks for it
    guint object_ = 0;
    guint watch_ = 0;
    // The watcher now on the bus: its unique name, whether it shows labels, whether it took us.
    std::string watcher_;
    bool labels_ = false;
    bool registered_ = false;
    bool watcherSeen_ = false;
    guint watcherSignals_ = 0;
    GObjectPtr<GCancellable> calls_;
    Deferred unanswered_;  // gives up waiting for the watcher to take us and show us
    Deferred gone_;        // gives up waiting for a watcher that vanished to come back
    RecurringFailure silentWatcher_;
};

}  // namespace ampora::linux_port
