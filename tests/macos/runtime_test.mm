// Linked into each program: its real main and adapters run under GNUstep's AppKit in Xvfb, on
// the fake IOKit, and this file drives them once they have launched. What GNUstep lacks is stood
// in for here only: the status bar (systemStatusBar is nil) and SMAppService (GNUstep's nil list
// of running applications reads as none); web pages and launches are recorded, not opened. A
// failed check exits 1; the programs' own exit is 0, and only after the command that asks it.
#import <AppKit/AppKit.h>

#include <objc/runtime.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "fake_frameworks.h"
#include "platform/macos/cocoa_notification_center.h"
#include "shared/identifiers.h"

// Live objects per class (NSDebug.h declares these only without NDEBUG).
extern "C" BOOL GSDebugAllocationActive(BOOL active);
extern "C" int GSDebugAllocationCount(Class objectClass);

namespace {

int report;              // standard error as it was before the monitor silenced it
NSMutableArray* opened;  // URLs, paths and settings panes the programs asked to open
NSMenu* menu;            // the status item's
NSButton* button;        // the status item's, which carries its title
io_object_t battery;
long serviceStatus = 1;  // SMAppServiceStatusEnabled
bool quitAsked = false;
IMP finishLaunching;
bool openedWithConfiguration = false;

void check(bool ok, const std::string& what) {
    if (ok) return;
    dprintf(report, "FAILED: %s\n", what.c_str());
    _exit(1);
}

CFMutableDictionaryRef batteryProperties(std::int64_t amperage) {
    return fake::dictionary({{"Amperage", fake::value(amperage)},
                             {"AppleRawMaxCapacity", fake::value(std::int64_t{4000})},
                             {"DesignCapacity", fake::value(std::int64_t{5000})}});
}

int live(const char* className) {
    return GSDebugAllocationCount(objc_getClass(className));
}

// Plays macOS 10.15 and later, where NSWorkspace opens applications with a configuration. A
// function: +load runs before C++ initializers.
bool playsMacOS1015() {
    return getenv("AMPORA_PLAY_MACOS_10_15") != nullptr;
}

}  // namespace

// macOS 13's login-item service, where the user switches the item off in System Settings.
@interface SMAppService : NSObject
@end
@implementation SMAppService
+ (id)loginItemServiceWithIdentifier:(NSString*)identifier {
    return [[[self alloc] init] autorelease];
}
+ (void)openSystemSettingsLoginItems {
    [opened addObject:@"Login Items"];
}
- (long)status {
    return serviceStatus;
}
- (BOOL)registerAndReturnError:(NSError**)error {
    serviceStatus = 2;  // RequiresApproval: registered, but the user must allow it
    return NO;
}
- (BOOL)unregisterAndReturnError:(NSError**)error {
    serviceStatus = 0;
    return YES;
}
@end

// As macOS 10.15 has it (GNUstep lacks it). The class is always there, the NSWorkspace method
// that takes it only when playing 10.15: seeing the class alone, a helper must not call it.
@interface NSWorkspaceOpenConfiguration : NSObject
@end
@implementation NSWorkspaceOpenConfiguration
+ (id)configuration {
    return [[[self alloc] init] autorelease];
}
@end

@interface AMPDriver : NSObject
@end
@implementation AMPDriver

// ---- stand-ins for NSStatusBar, NSStatusItem, NSWorkspace and NSApplication methods ----

+ (id)systemStatusBar {
    static id bar = [[AMPDriver alloc] init];  // the status bar, and its one status item
    return bar;
}
- (id)statusItemWithLength:(CGFloat)length {
    button = [[NSButton alloc] init];
    return self;
}
- (void)setMenu:(NSMenu*)newMenu {
    [newMenu retain];
    [menu release];
    menu = newMenu;
}
- (NSButton*)button {
    return button;
}
- (BOOL)openURL:(NSURL*)url {
    [opened addObject:[url absoluteString]];
    return YES;
}
- (BOOL)launchApplication:(NSString*)path {
    [opened addObject:path];
    return YES;
}
- (void)openApplicationAtURL:(NSURL*)url
               configuration:(id)configuration
           completionHandler:(id)handler {
    openedWithConfiguration = [configuration isKindOfClass:[NSWorkspaceOpenConfiguration class]];
    [opened addObject:[url path]];
}
- (void)finishLaunching {
    opened = [[NSMutableArray alloc] init];
    reinterpret_cast<void (*)(id, SEL)>(reinterpret_cast<void (*)()>(finishLaunching))(self, _cmd);
    [[NSNotificationCenter defaultCenter] addObserver:[AMPDriver class]
                                             selector:@selector(willTerminate:)
                                                 name:NSApplicationWillTerminateNotification
                                               object:nil];
    const bool monitor = objc_getClass("AMPAppDelegateBridge");
    [AMPDriver performSelector:monitor ? @selector(driveMonitor) : @selector(driveHelper)
                    withObject:nil
                    afterDelay:0];
}

// ---- the drivers ----

+ (void)load {
    report = dup(2);
    // A deadline that holds while a modal panel (an alert, AppKit's exception panel) waits, too.
    signal(SIGALRM, [](int) { _exit(2); });  // 2: timed out
    alarm(60);
    GSDebugAllocationActive(YES);
    battery = fake::publish(batteryProperties(-1234));
    const struct {
        const char* className;
        SEL selector;
    } standIns[] = {{"NSWorkspace", @selector(openURL:)},
                    {"NSWorkspace", @selector(launchApplication:)},
                    {"NSApplication", @selector(finishLaunching)}};
    for (const auto& [className, selector] : standIns) {
        IMP original = method_setImplementation(
            class_getInstanceMethod(objc_getClass(className), selector),
            method_getImplementation(class_getInstanceMethod(self, selector)));
        if (selector == @selector(finishLaunching)) finishLaunching = original;
    }
    if (playsMacOS1015()) {
        const SEL open = @selector(openApplicationAtURL:configuration:completionHandler:);
        const Method method = class_getInstanceMethod(self, open);
        class_addMethod(objc_getClass("NSWorkspace"), open, method_getImplementation(method),
                        method_getTypeEncoding(method));
    }
    method_setImplementation(
        class_getClassMethod(objc_getClass("NSStatusBar"), @selector(systemStatusBar)),
        method_getImplementation(class_getClassMethod(self, @selector(systemStatusBar))));
}

+ (void)driveMonitor {
    check([[button title] isEqual:@"1234"] && [[button font] pointSize] == 13.0, "the title");
    check([menu numberOfItems] == 18, "18 entries");
    [menu update];
    for (NSInteger i = 0; i < 18; ++i) {
        check([[menu itemAtIndex:i] isEnabled] == (i >= 14), "entry " + std::to_string(i));
    }
    check([[[menu itemAtIndex:3] title] isEqual:@"\t4000 mAh (80.00% of Original)"], "a value");
    check([[menu itemAtIndex:14] state] == NSOnState, "checked at start: the service has it on");
    for (NSInteger i : {15, 16, 14, 14}) [menu performActionForItemAtIndex:i];
    // On again, but switched off in System Settings.
    check([[menu itemAtIndex:14] state] == NSOffState, "unchecked while not allowed");
    serviceStatus = 1;  // the user allows it; choosing again finds it enabled
    [menu performActionForItemAtIndex:14];
    check([[menu itemAtIndex:14] state] == NSOnState, "checked once allowed");
    NSArray* expected = [NSArray arrayWithObjects:@AMPORA_STORE_URL,
                                                  @"http://" AMPORA_SITE_HOST "/?referrer?Ampora",
                                                  @"Login Items", nil];
    check([opened isEqual:expected], "the commands reach the delegate");
    // Next turn, when the objects this one autoreleased have gone.
    [self performSelector:@selector(readings) withObject:nil afterDelay:0];
}

// Each reading's menus and strings go when its callback ends, not with the run loop's pool.
+ (void)readings {
    const int menus = live("NSMenu"), items = live("NSMenuItem");
    for (std::int64_t i = 0; i < 50; ++i) {
        fake::setProperties(battery, batteryProperties(-1000 - i));
        fake::sendMessage(battery, 0xE0024100);
    }
    check([[button title] isEqual:@"1049"], "the last reading shown");
    check(live("NSMenu") == menus && live("NSMenuItem") == items,
          "50 readings leave " + std::to_string(live("NSMenuItem") - items) + " more items");
    check(fake::world().cfReferences == 0, "each reading's properties released");
    check([[menu itemAtIndex:14] state] == NSOnState, "the check mark survives readings");
    quitAsked = true;
    [menu performActionForItemAtIndex:17];
    check(false, "Quit did not end the monitor");
}

+ (void)driveHelper {
    // Run from <monitor>.app/Contents/Library/LoginItems/<helper>.app: starts <monitor>.app.
    NSArray* helper = [[[NSBundle mainBundle] bundlePath] pathComponents];
    NSString* monitor =
        [NSString pathWithComponents:[helper subarrayWithRange:NSMakeRange(0, [helper count] - 4)]];
    check([monitor hasSuffix:@".app"] && [opened isEqual:[NSArray arrayWithObject:monitor]],
          "the helper launches the monitor's bundle");
    check(openedWithConfiguration == playsMacOS1015(), "the call of the system played");
    // Posted the monitor's way: a notification with another object is ignored.
    static auto* center = new ampora::macos::CocoaDistributedNotificationCenter();
    center->addObserver(ampora::TerminateHelperNotification, "org.example.Other", [] {
        [AMPDriver performSelector:@selector(quitHelper) withObject:nil afterDelay:0];
    });
    center->postNotification(ampora::TerminateHelperNotification, "org.example.Other");
}

+ (void)quitHelper {
    quitAsked = true;
    ampora::macos::CocoaDistributedNotificationCenter().postNotification(
        ampora::TerminateHelperNotification, ampora::MainBundleIdentifier);
}

+ (void)willTerminate:(NSNotification*)notification {
    check(quitAsked, "ended before being asked to");
}

@end
