#include "platform/macos/cocoa_workspace.h"

#import <AppKit/AppKit.h>

#include "platform/macos/ns_string.h"

namespace ampora::macos {

std::vector<std::optional<std::string>> CocoaWorkspace::runningApplicationBundleIdentifiers() {
    std::vector<std::optional<std::string>> identifiers;
    NSArray* applications = [[NSWorkspace sharedWorkspace] runningApplications];
    const NSUInteger count = [applications count];
    identifiers.reserve(count);
    // Indexed, not for-in: g++'s Objective-C++ has no fast enumeration.
    for (NSUInteger i = 0; i < count; ++i) {
        NSRunningApplication* application = [applications objectAtIndex:i];
        NSString* identifier = [application bundleIdentifier];
        if (identifier) {
            identifiers.emplace_back(fromNSString(identifier));
        } else {
            identifiers.emplace_back(std::nullopt);
        }
    }
    return identifiers;
}

bool CocoaWorkspace::openURL(std::string_view url) {
    NSURL* address = [NSURL URLWithString:toNSString(url)];
    if (!address) return false;
    return [[NSWorkspace sharedWorkspace] openURL:address];
}

bool CocoaWorkspace::launchApplication(std::string_view path) {
    // Deprecated since macOS 11 but still working, and the one call that takes the executable's
    // path as the helper computes it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return [[NSWorkspace sharedWorkspace] launchApplication:toNSString(path)];
#pragma GCC diagnostic pop
}

}  // namespace ampora::macos
