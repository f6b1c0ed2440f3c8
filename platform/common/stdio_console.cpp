#include "platform/common/stdio_console.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace ampora {

namespace {

// The result needs no handling: a stream that can't be reopened just keeps writing where it
// did. Kept in a variable because fortified C libraries warn when it is dropped, even with (void).
void reopenOnNull(std::FILE* stream) {
    std::FILE* const reopened = std::freopen("/dev/null", "w", stream);
    (void)reopened;
}

}  // namespace

void openStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is this one, as those below it are open by now.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) {
            (void)::dup2(opened, fd);
            ::close(opened);
        }
    }
}

void StdioConsole::silenceStandardStreams() {
    // All three with "w": stdin then reads nothing, which nobody asks it to.
    reopenOnNull(stdin);
    reopenOnNull(stdout);
    reopenOnNull(stderr);
}

void StdioConsole::writeLine(std::string_view line) {
    const std::string text(line);  // puts needs a terminated string
    std::puts(text.c_str());
}

}  // namespace ampora
