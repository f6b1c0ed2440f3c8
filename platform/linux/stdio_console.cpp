#include "platform/linux/stdio_console.h"

#include <cstdio>
#include <string>

namespace ampora::linux_port {

void StdioConsole::silenceStandardStreams() {
    // All three with "w", as on the Mac: stdin then reads nothing, which nobody asks it to.
    (void)std::freopen("/dev/null", "w", stdin);
    (void)std::freopen("/dev/null", "w", stdout);
    (void)std::freopen("/dev/null", "w", stderr);
}

void StdioConsole::writeLine(std::string_view line) {
    std::puts(std::string(line).c_str());
}

}  // namespace ampora::linux_port
