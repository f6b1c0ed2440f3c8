#pragma once

#include <glib.h>

#include <functional>
#include <string>

namespace ampora::linux_port {

// Starts the program at executable with no arguments, directly (no shell), detached: it is not
// our child to wait for. It gets environment, or ours when that is null. False when it could not
// be started.
bool launchDetached(const std::string& executable, gchar** environment = nullptr);

// Starts it as our child instead and calls ended (on the main loop) once it has exited. False,
// with the reason logged, when it could not be started; ended is then never called.
bool launchWatched(const std::string& executable, std::function<void()> ended);

}  // namespace ampora::linux_port
