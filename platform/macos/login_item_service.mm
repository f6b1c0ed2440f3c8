#include "platform/macos/login_item_service.h"

#import <Foundation/Foundation.h>

#include "platform/macos/ns_string.h"
#include "platform/macos/objc_call.h"
#include "platform/macos/sm_login_item.h"

namespace ampora::macos {

namespace {

// SMAppService arrived with macOS 13; looked up at run time so that the file builds with older
// SDKs, and called through its implementations since no header declares it there.
id appServiceForLoginItem(std::string_view identifier) {
    Class serviceClass = NSClassFromString(@"SMAppService");
    SEL make = @selector(loginItemServiceWithIdentifier:);
    if (!serviceClass || ![serviceClass respondsToSelector:make]) return nil;
    using MakeService = id (*)(id, SEL, NSString*);
    return implementation<MakeService>(serviceClass, make)(serviceClass, make,
                                                           toNSString(identifier));
}

LoginItemStatus statusOf(id service) {
    SEL status = @selector(status);
    if (![service respondsToSelector:status]) return LoginItemStatus::Unknown;
    using Status = NSInteger (*)(id, SEL);
    // SMAppServiceStatus: NotRegistered, Enabled, RequiresApproval, NotFound.
    switch (implementation<Status>(service, status)(service, status)) {
        case 0:
            return LoginItemStatus::NotRegistered;
        case 1:
            return LoginItemStatus::Enabled;
        case 2:
            return LoginItemStatus::RequiresApproval;
        case 3:
            return LoginItemStatus::NotFound;
        default:
            return LoginItemStatus::Unknown;
    }
}

void changeRegistration(id service, bool enabled) {
    SEL change =
        enabled ? @selector(registerAndReturnError:) : @selector(unregisterAndReturnError:);
    if (![service respondsToSelector:change]) return;
    using ChangeRegistration = BOOL (*)(id, SEL, NSError**);
    NSError* error = nil;
    implementation<ChangeRegistration>(service, change)(service, change, &error);
}

}  // namespace

bool ServiceManagementLoginItems::setEnabled(std::string_view bundleIdentifier, bool enabled) {
    id service = appServiceForLoginItem(bundleIdentifier);
    if (!service) return setLegacyLoginItemEnabled(bundleIdentifier, enabled);

    // Judged by the record, not by the call: registering an item the user switched off fails yet
    // leaves it registered (awaiting approval), and unregistering an unregistered one fails too.
    const LoginItemStatus wanted =
        enabled ? LoginItemStatus::Enabled : LoginItemStatus::NotRegistered;
    if (statusOf(service) == wanted) return true;
    changeRegistration(service, enabled);
    return statusOf(service) == wanted;
}

LoginItemStatus ServiceManagementLoginItems::status(std::string_view bundleIdentifier) {
    id service = appServiceForLoginItem(bundleIdentifier);
    return service ? statusOf(service) : LoginItemStatus::Unknown;
}

void ServiceManagementLoginItems::openSystemSettings() {
    Class serviceClass = NSClassFromString(@"SMAppService");
    SEL open = @selector(openSystemSettingsLoginItems);
    if ([serviceClass respondsToSelector:open]) [serviceClass performSelector:open];
}

}  // namespace ampora::macos
