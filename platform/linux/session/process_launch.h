#pragma once

#include <glib.h>

#include <string>

namespace ampora::linux_port {

// Starts the program at executable with no arguments, directly (no shell), detached: it is not
// our child to wait for. It gets environment, or ours when that is null. False when it could not
// be started.
bool launchDetached(const std::string& executable, gchar** environment = nullptr);

}  // namespace ampora::linux_port
