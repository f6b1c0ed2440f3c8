#pragma once

#include <IOKit/IOKitLib.h>

#include <utility>

namespace ampora::macos {

// Owns one reference to an IOKit object (iterator, entry or notification handle). IOKit handles
// are integers, not pointers, hence no unique_ptr.
class ScopedIOObject {
  public:
    ScopedIOObject() = default;
    explicit ScopedIOObject(io_object_t object) : object_(object) {}
    ~ScopedIOObject() { reset(); }

    ScopedIOObject(ScopedIOObject&& other) noexcept : object_(std::exchange(other.object_, 0)) {}
    ScopedIOObject& operator=(ScopedIOObject&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, 0);
        }
        return *this;
    }
    ScopedIOObject(const ScopedIOObject&) = delete;
    ScopedIOObject& operator=(const ScopedIOObject&) = delete;

    io_object_t get() const { return object_; }

    // For IOKit calls that hand out a new reference through a pointer.
    io_object_t* receive() {
        reset();
        return &object_;
    }

    void reset() {
        if (object_ != 0) IOObjectRelease(std::exchange(object_, 0));
    }

  private:
    io_object_t object_ = 0;
};

}  // namespace ampora::macos
