#include "platform/linux/session/process_launch.h"

namespace ampora::linux_port {

bool launchDetached(const std::string& executable, gchar** environment) {
    gchar* argv[] = {const_cast<gchar*>(executable.c_str()), nullptr};
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib forks twice, so no zombie is left behind.
    return g_spawn_async(nullptr, argv, environment, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr,
                         nullptr) != FALSE;
}

}  // namespace ampora::linux_port
