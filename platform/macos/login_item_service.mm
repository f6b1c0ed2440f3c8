#include "platform/macos/login_item_service.h"

#import <Foundation/Foundation.h>

#include "platform/macos/ns_string.h"
#include "platform/macos/sm_login_item.h"

namespace ampora::macos {

namespace {

// An implementation as a function of its real type. The detour through void(*)() is the
// sanctioned way to change a function pointer's type.
template <typename Function>
Function implementation(id receiver, SEL selector) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>([receiver methodForSelector:selector]));
}

// SMAppService arrived with macOS 13; looked up at run time so that the file builds with older
// SDKs, and called through its implementations since no header declares it there.
id appServiceForLoginItem(NSString* identifier) {
    Class serviceClass = NSClassFromString(@"SMAppService");
    SEL make = @selector(loginItemServiceWithIdentifier:);
    if (!serviceClass || ![serviceClass respondsToSelector:make]) return nil;
    using MakeService = id (*)(id, SEL, NSString*);
    return implementation<MakeService>(serviceClass, make)(serviceClass, make, identifier);
}

bool changeRegistration(id service, bool enabled) {
    SEL change =
        enabled ? @selector(registerAndReturnError:) : @selector(unregisterAndReturnError:);
    if (![service respondsToSelector:change]) return false;
    using ChangeRegistration = BOOL (*)(id, SEL, NSError**);
    NSError* error = nil;
    return implementation<ChangeRegistration>(service, change)(service, change, &error) == YES;
}

}  // namespace

bool ServiceManagementLoginItems::setEnabled(std::string_view bundleIdentifier, bool enabled) {
    if (id service = appServiceForLoginItem(toNSString(bundleIdentifier))) {
        return changeRegistration(service, enabled);
    }
    return setLegacyLoginItemEnabled(bundleIdentifier, enabled);
}

}  // namespace ampora::macos
