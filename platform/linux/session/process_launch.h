#pragma once

#include <string>

namespace ampora::linux_port {

// Starts the program at executable with no arguments, directly (no shell), detached: it is not
// our child to wait for. False when it could not be started.
bool launchDetached(const std::string& executable);

}  // namespace ampora::linux_port
