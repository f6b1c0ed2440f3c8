#include "platform/macos/cocoa_application.h"

#import <AppKit/AppKit.h>

namespace ampora::macos {

void CocoaApplication::terminate() {
    [NSApp terminate:nil];
}

}  // namespace ampora::macos
