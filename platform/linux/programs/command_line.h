#pragma once

#include <optional>

namespace ampora::linux_port {

// Where the monitor shows the battery: in the tray, or as lines on standard output for a bar
// (--watch): the title alone, or Waybar's JSON.
enum class Output { Tray, Lines, Waybar };

// The monitor's command line, read without opening a display. Returns the exit status when the
// program ends here (0 after --help or --version, 2 with the usage on stderr for anything wrong),
// nothing when it should run and show the battery where output says.
std::optional<int> handleCommandLine(int& argc, char**& argv, Output& output);

}  // namespace ampora::linux_port
