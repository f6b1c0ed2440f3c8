#include "platform/macos/sm_login_item.h"

#include <CoreFoundation/CoreFoundation.h>
#include <ServiceManagement/ServiceManagement.h>

#include "platform/macos/cf_ref.h"

namespace ampora::macos {

bool setLegacyLoginItemEnabled(std::string_view bundleIdentifier, bool enabled) {
    const CFRef<CFStringRef> identifier(CFStringCreateWithBytes(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bundleIdentifier.data()),
        static_cast<CFIndex>(bundleIdentifier.size()), kCFStringEncodingUTF8, false));
    if (!identifier) return false;
        // Deprecated since macOS 13, where the caller prefers SMAppService; still the call that
        // works on every older system.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return SMLoginItemSetEnabled(identifier.get(), enabled) != 0;
#pragma GCC diagnostic pop
}

}  // namespace ampora::macos
