#pragma once

#include <unistd.h>

#include <string_view>
#include <utility>

namespace ampora::linux_port {

// An open file descriptor, closed with its owner; -1 holds none.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }

    int get() const { return fd_; }
    // Writes all of text, waiting where whoever started us left the descriptor non-blocking, as
    // a blocking one would. False on a failure (EPIPE: the reader went away).
    bool writeAll(std::string_view text) const;
    // Closes now and reports whether the last writes made it.
    bool close();

  private:
    int fd_;
};

}  // namespace ampora::linux_port
