#include "platform/macos/cocoa_workspace.h"

#import <AppKit/AppKit.h>

#include "platform/macos/ns_string.h"
#include "platform/macos/objc_call.h"

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

namespace {

// The bundle whose executable is at path (<bundle>/Contents/MacOS/<name>); nil for any other path.
NSURL* bundleURLOfExecutable(NSString* path) {
    NSArray* components = [path pathComponents];
    const NSUInteger count = [components count];
    if (count < 4 || ![[components objectAtIndex:count - 2] isEqual:@"MacOS"] ||
        ![[components objectAtIndex:count - 3] isEqual:@"Contents"]) {
        return nil;
    }
    NSArray* bundle = [components subarrayWithRange:NSMakeRange(0, count - 3)];
    return [NSURL fileURLWithPath:[NSString pathWithComponents:bundle]];
}

// macOS 10.15 and later; looked up at run time, as the oldest systems we support lack it.
bool openApplication(NSURL* bundle) {
    Class configurationClass = NSClassFromString(@"NSWorkspaceOpenConfiguration");
    SEL open = NSSelectorFromString(@"openApplicationAtURL:configuration:completionHandler:");
    NSWorkspace* workspace = [NSWorkspace sharedWorkspace];
    if (!configurationClass || ![workspace respondsToSelector:open]) return false;
    id configuration = [configurationClass performSelector:@selector(configuration)];
    // No completion handler: the helper waits for the monitor's notification either way.
    using Open = void (*)(id, SEL, NSURL*, id, id);
    implementation<Open>(workspace, open)(workspace, open, bundle, configuration, nil);
    return true;
}

}  // namespace

bool CocoaWorkspace::launchApplication(std::string_view path) {
    NSURL* bundle = bundleURLOfExecutable(toNSString(path));
    // Outside an application's bundle there is nothing the workspace could start.
    if (!bundle) return false;
    if (openApplication(bundle)) return true;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    // Before 10.15: the bundle's path, which the call takes; an executable's path is no
    // application to it.
    return [[NSWorkspace sharedWorkspace] launchApplication:[bundle path]];
#pragma GCC diagnostic pop
}

}  // namespace ampora::macos
