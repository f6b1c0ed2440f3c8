#include "platform/linux/base/private_environment.h"

namespace ampora::linux_port {

void PrivateEnvironment::set(const char* name, const char* value) {
    if (g_getenv(name)) return;
    g_setenv(name, value, TRUE);
    names_.emplace_back(name);
}

GStrvPtr PrivateEnvironment::forChildren() const {
    gchar** environment = g_get_environ();
    for (const std::string& name : names_) {
        environment = g_environ_unsetenv(environment, name.c_str());
    }
    return GStrvPtr(environment);
}

}  // namespace ampora::linux_port
