#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <memory>
#include <type_traits>

namespace ampora::macos {

struct CFReleaser {
    void operator()(CFTypeRef object) const {
        if (object) CFRelease(object);
    }
};

// Owns one reference to a CoreFoundation object (from a Create or Copy call).
template <typename Ref>
using CFRef = std::unique_ptr<std::remove_pointer_t<Ref>, CFReleaser>;

}  // namespace ampora::macos
