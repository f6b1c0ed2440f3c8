#include "platform/common/stdio_console.h"

#include <cstdio>
#include <string>

namespace ampora {

void StdioConsole::silenceStandardStreams() {
    // All three with "w": stdin then reads nothing, which nobody asks it to. Results ignored: a
    // stream that can't be reopened just keeps writing where it did.
    (void)std::freopen("/dev/null", "w", stdin);
    (void)std::freopen("/dev/null", "w", stdout);
    (void)std::freopen("/dev/null", "w", stderr);
}

void StdioConsole::writeLine(std::string_view line) {
    const std::string text(line);  // puts needs a terminated string
    std::puts(text.c_str());
}

}  // namespace ampora
