#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/linux/base/glib_handles.h"

namespace ampora::linux_port {

// What the tray item shows. The item signals only what changed from the last one.
struct TrayAppearance {
    std::string title;        // the title, the Ayatana label and the tooltip's heading
    std::string iconName;     // empty: the title is drawn as the icon
    std::string description;  // the tooltip's body (markup)

    bool operator==(const TrayAppearance&) const = default;
};

// Who shows the item: nobody (the watcher is gone or refused it), a host that shows icons only,
// or one that also shows the Ayatana label next to the icon.
enum class TrayHost { None, Icons, IconsAndLabels };

// A StatusNotifierItem on the session bus, at /StatusNotifierItem. It registers with the
// StatusNotifierWatcher when one is there at start-up and again only when the watcher's owner
// changes (a panel restarted), and says each time who shows it.
class StatusNotifierItem {
  public:
    StatusNotifierItem(GDBusConnection* bus, std::string id, std::string iconThemePath,
                       std::function<void(TrayHost)> hostChanged);
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
    static void methodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                           GVariant*, GDBusMethodInvocation* invocation, gpointer);
    static void watcherAppeared(GDBusConnection*, const gchar*, const gchar* owner, gpointer self);
    static void watcherVanished(GDBusConnection*, const gchar*, gpointer self);
    static void askProcess(GDBusConnection* bus, const char* name, std::unique_ptr<Call> call,
                           GAsyncReadyCallback next);
    static bool processFound(GObject* bus, GAsyncResult* result, guint32& process);
    static void watcherProcessFound(GObject* bus, GAsyncResult* result, gpointer call);
    static void labelHostFound(GObject* bus, GAsyncResult* result, gpointer call);
    static void registered(GObject* bus, GAsyncResult* result, gpointer call);

    GVariant* property(const char* name);
    void emit(const char* signal, GVariant* arguments = nullptr);
    void cancelCalls();

    GDBusConnection* bus_;
    std::string id_;
    std::string iconThemePath_;
    std::function<void(TrayHost)> hostChanged_;
    TrayAppearance shown_;
    GVariantPtr pixmaps_;  // the drawn title, made when a host first asks for it
    guint object_ = 0;
    guint watch_ = 0;
    GObjectPtr<GCancellable> calls_;
};

}  // namespace ampora::linux_port
