#import <AppKit/AppKit.h>

#include "platform/macos/helper_program.h"
#include "platform/macos/ns_string.h"

// The login helper's application delegate as AppKit sees it; owns the helper's logic.
@interface AMPHelperDelegateBridge : NSObject {
    ampora::macos::HelperProgram* program_;
}
- (void)applicationDidFinishLaunching:(NSNotification*)notification;
@end

@implementation AMPHelperDelegateBridge

- (id)init {
    self = [super init];
    if (self) {
        program_ = new ampora::macos::HelperProgram(
            ampora::macos::fromNSString([[NSBundle mainBundle] bundlePath]));
    }
    return self;
}

- (void)dealloc {
    delete program_;
    [super dealloc];
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
    (void)notification;
    program_->delegate().applicationDidFinishLaunching();
}

@end

int main(int argc, char* argv[]) {
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    [NSApplication sharedApplication];

    // The application does not retain its delegate: this reference keeps it for the process.
    AMPHelperDelegateBridge* delegate = [[AMPHelperDelegateBridge alloc] init];
    [NSApp setDelegate:(id)delegate];

    [pool drain];
    return NSApplicationMain(argc, const_cast<const char**>(argv));
}
