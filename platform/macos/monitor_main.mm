#import <AppKit/AppKit.h>

#include "platform/macos/monitor_program.h"

// The application delegate AppKit sees. It owns the monitor and passes on AppKit's calls; the
// menu entries' actions (sent with no target) reach it through the responder chain.
@interface AMPAppDelegateBridge : NSObject {
    ampora::macos::MonitorProgram* program_;
}
- (void)awakeFromNib;
- (void)applicationDidFinishLaunching:(NSNotification*)notification;
- (void)didSelectOpenAtLogin;
- (void)RateApp;
- (void)GoToSite;
@end

@implementation AMPAppDelegateBridge

- (id)init {
    self = [super init];
    if (self) program_ = new ampora::macos::MonitorProgram();
    return self;
}

- (void)dealloc {
    delete program_;
    [super dealloc];
}

- (void)awakeFromNib {
    program_->delegate().awakeFromNib();
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
    (void)notification;
    program_->delegate().applicationDidFinishLaunching();
}

- (void)didSelectOpenAtLogin {
    program_->delegate().didSelectOpenAtLogin();
}

- (void)RateApp {
    program_->delegate().RateApp();
}

- (void)GoToSite {
    program_->delegate().GoToSite();
}

@end

int main(int argc, char* argv[]) {
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    [NSApplication sharedApplication];

    // What loading the interface file does, in its order: create the menu, the delegate and its
    // outlet (the bridge's init), make it the application's delegate, then awakeFromNib; AppKit
    // sends applicationDidFinishLaunching: once the event loop starts. The application does not
    // retain its delegate: this reference keeps it for the life of the process.
    AMPAppDelegateBridge* delegate = [[AMPAppDelegateBridge alloc] init];
    [NSApp setDelegate:(id)delegate];
    [delegate awakeFromNib];

    [pool drain];
    return NSApplicationMain(argc, const_cast<const char**>(argv));
}
