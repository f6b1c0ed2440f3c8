#include "platform/macos/cocoa_alert.h"

#import <AppKit/AppKit.h>

#include "platform/macos/ns_string.h"

namespace ampora::macos {

void CocoaAlertPresenter::runModal(std::string_view message, std::string_view button,
                                   std::string_view informativeText) {
    NSString* messageText = toNSString(message);
    NSString* buttonTitle = toNSString(button);
    NSString* information = toNSString(informativeText);

    // An agent application is not activated by its status menu: without this the alert may open
    // behind the other applications' windows.
    if ([NSApp respondsToSelector:@selector(activate)]) {
        [NSApp performSelector:@selector(activate)];  // macOS 14 and later
    } else {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        [NSApp activateIgnoringOtherApps:YES];
#pragma GCC diagnostic pop
    }

    // The convenience constructor is deprecated since 10.10; a system that dropped it gets the
    // same alert built by hand.
    if ([NSAlert respondsToSelector:@selector
                 (alertWithMessageText:
                         defaultButton:alternateButton:otherButton:informativeTextWithFormat:)]) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        NSAlert* alert = [NSAlert alertWithMessageText:messageText
                                         defaultButton:buttonTitle
                                       alternateButton:nil
                                           otherButton:nil
                             informativeTextWithFormat:@"%@", information];
#pragma GCC diagnostic pop
        [alert runModal];
        return;
    }

    NSAlert* alert = [[[NSAlert alloc] init] autorelease];
    [alert setMessageText:messageText];
    [alert setInformativeText:information];
    [alert addButtonWithTitle:buttonTitle];
    [alert runModal];
}

}  // namespace ampora::macos
