#include "platform/linux/session/process_launch.h"

#include <glib.h>

#include "platform/linux/base/glib_handles.h"
#include "platform/linux/base/logging.h"

namespace ampora::linux_port {

namespace {

struct Watched {
    std::string executable;
    std::function<void()> ended;
};

void childEnded(GPid pid, gint status, gpointer data) {
    const auto* watched = static_cast<const Watched*>(data);
    g_spawn_close_pid(pid);
    GError* error = nullptr;
    const GErrorPtr failure(g_spawn_check_wait_status(status, &error) ? nullptr : error);
    if (failure) {
        logWarning(watched->executable + " ended: " + failure->message);
    } else {
        logDebug(watched->executable + " ended");
    }
    watched->ended();
}

void forget(gpointer watched) {
    delete static_cast<Watched*>(watched);
}

}  // namespace

bool launchDetached(const std::string& executable, gchar** environment) {
    gchar* argv[] = {const_cast<gchar*>(executable.c_str()), nullptr};
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib forks twice, so no zombie is left behind.
    return g_spawn_async(nullptr, argv, environment, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr,
                         nullptr) != FALSE;
}

bool launchWatched(const std::string& executable, std::function<void()> ended) {
    gchar* argv[] = {const_cast<gchar*>(executable.c_str()), nullptr};
    GPid pid = 0;
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid,
                       &error)) {
        const GErrorPtr failure(error);
        logWarning("cannot start " + executable + ": " + failure->message);
        return false;
    }
    // The watch owns what it needs, and lets it go once the child has ended.
    g_child_watch_add_full(G_PRIORITY_DEFAULT, pid, childEnded,
                           new Watched{executable, std::move(ended)}, forget);
    return true;
}

}  // namespace ampora::linux_port
