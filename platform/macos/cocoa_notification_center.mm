#include "platform/macos/cocoa_notification_center.h"

#import <Foundation/Foundation.h>

#include <utility>
#include <vector>

#include "platform/macos/ns_string.h"

namespace {

// The callback travels as void*: g++ can't encode C++ function types in Objective-C signatures.
using Callback = std::function<void()>;

void runCallback(void* callback) {
    auto* function = static_cast<Callback*>(callback);
    if (function && *function) (*function)();
}

void deleteCallback(void* callback) {
    delete static_cast<Callback*>(callback);
}

}  // namespace

// Receives one kind of distributed notification and runs a C++ callback for it.
@interface AMPNotificationTrampoline : NSObject {
    void* callback_;  // a Callback, owned
    NSString* name_;
    NSString* object_;
}
// Takes ownership of callback (a Callback*), even when it returns nil.
- (id)initWithName:(NSString*)name object:(NSString*)object callback:(void*)callback;
- (void)notificationArrived:(NSNotification*)notification;
@end

@implementation AMPNotificationTrampoline

- (id)initWithName:(NSString*)name object:(NSString*)object callback:(void*)callback {
    self = [super init];
    if (self) {
        callback_ = callback;
        name_ = [name copy];
        object_ = [object copy];
    } else {
        deleteCallback(callback);
    }
    return self;
}

- (void)dealloc {
    deleteCallback(callback_);
    [name_ release];
    [object_ release];
    [super dealloc];
}

- (void)notificationArrived:(NSNotification*)notification {
    // The centre filters by name and object already; checked again so that a sender's object of
    // another type can never reach the callback.
    if (![[notification name] isEqual:name_] || ![[notification object] isEqual:object_]) return;
    runCallback(callback_);
}

@end

namespace ampora::macos {

struct CocoaDistributedNotificationCenter::Observers {
    std::vector<AMPNotificationTrampoline*> trampolines;
};

CocoaDistributedNotificationCenter::CocoaDistributedNotificationCenter()
    : observers_(std::make_unique<Observers>()) {}

CocoaDistributedNotificationCenter::~CocoaDistributedNotificationCenter() {
    NSDistributedNotificationCenter* center = [NSDistributedNotificationCenter defaultCenter];
    for (AMPNotificationTrampoline* trampoline : observers_->trampolines) {
        [center removeObserver:trampoline];
        [trampoline release];
    }
}

void CocoaDistributedNotificationCenter::postNotification(std::string_view name,
                                                          std::string_view object) {
    // Immediately: AppKit holds notifications for an application that is not active, and a
    // background-only helper never is. No user info: the sandbox drops it.
    [[NSDistributedNotificationCenter defaultCenter] postNotificationName:toNSString(name)
                                                                   object:toNSString(object)
                                                                 userInfo:nil
                                                       deliverImmediately:YES];
}

void CocoaDistributedNotificationCenter::addObserver(std::string_view name, std::string_view object,
                                                     std::function<void()> callback) {
    NSString* observedName = toNSString(name);
    NSString* observedObject = toNSString(object);
    AMPNotificationTrampoline* trampoline =
        [[AMPNotificationTrampoline alloc] initWithName:observedName
                                                 object:observedObject
                                               callback:new Callback(std::move(callback))];
    if (!trampoline) return;
    observers_->trampolines.push_back(trampoline);
    // Delivered even while the observer's application is not active (see postNotification).
    [[NSDistributedNotificationCenter defaultCenter]
               addObserver:trampoline
                  selector:@selector(notificationArrived:)
                      name:observedName
                    object:observedObject
        suspensionBehavior:NSNotificationSuspensionBehaviorDeliverImmediately];
}

}  // namespace ampora::macos
