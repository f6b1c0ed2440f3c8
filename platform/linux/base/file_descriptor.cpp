#include "platform/linux/base/file_descriptor.h"

#include <poll.h>

#include <cerrno>

namespace ampora::linux_port {

bool FileDescriptor::writeAll(std::string_view text) const {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd_, text.data() + done, text.size() - done);
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
        } else if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd writable{fd_, POLLOUT, 0};
            (void)::poll(&writable, 1, -1);
        } else if (wrote == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool FileDescriptor::close() {
    return ::close(std::exchange(fd_, -1)) == 0;
}

}  // namespace ampora::linux_port
