#pragma once

#include <optional>

namespace ampora::linux_port {

// The monitor's command line: --help and --version, read without opening a display. Returns the
// exit status when the program ends here (0 after --help or --version, 2 with the usage on stderr
// for anything else), nothing when it should run.
std::optional<int> handleCommandLine(int& argc, char**& argv);

}  // namespace ampora::linux_port
