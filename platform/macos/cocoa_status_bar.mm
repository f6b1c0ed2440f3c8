#include "platform/macos/cocoa_status_bar.h"

#import <AppKit/AppKit.h>

#include "platform/macos/cocoa_font.h"
#include "platform/macos/cocoa_menu_native.h"
#include "platform/macos/ns_string.h"

namespace ampora::macos {

namespace {

class CocoaStatusItem final : public StatusItem {
  public:
    explicit CocoaStatusItem(NSStatusItem* item) : item_([item retain]) {}
    ~CocoaStatusItem() override {
        [[NSStatusBar systemStatusBar] removeStatusItem:item_];
        [item_ release];
    }
    CocoaStatusItem(const CocoaStatusItem&) = delete;
    CocoaStatusItem& operator=(const CocoaStatusItem&) = delete;

    void setMenu(Menu& menu) override {
        // The status item retains the menu, so the adapter may be replaced after this call.
        if (auto* cocoaMenu = dynamic_cast<CocoaMenu*>(&menu)) [item_ setMenu:cocoaMenu->native()];
    }

    void setTitle(std::string_view title) override {
        NSString* text = toNSString(title);
        if (NSButton* titleButton = this->button()) {
            [titleButton setTitle:text];
            return;
        }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        [item_ setTitle:text];
#pragma GCC diagnostic pop
    }

    void setAttributedTitle(std::string_view title, const Font& font) override {
        // On the button, font and plain title: an attributed title would bypass the button's own
        // styling (dimmed on inactive displays, dark menu bars).
        if (NSButton* titleButton = this->button()) {
            [titleButton setFont:fontOrMenuFont(font)];
            [titleButton setTitle:toNSString(title)];
            return;
        }
        NSDictionary* attributes = [NSDictionary dictionaryWithObject:fontOrMenuFont(font)
                                                               forKey:NSFontAttributeName];
        NSAttributedString* text =
            [[[NSAttributedString alloc] initWithString:toNSString(title)
                                             attributes:attributes] autorelease];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        [item_ setAttributedTitle:text];
#pragma GCC diagnostic pop
    }

    void setHighlightMode(bool highlight) override {
        // Items with a button highlight by themselves; the setter remains for older systems.
        if (![item_ respondsToSelector:@selector(setHighlightMode:)]) return;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        [item_ setHighlightMode:highlight ? YES : NO];
#pragma GCC diagnostic pop
    }

  private:
    // Since macOS 10.14 the title belongs to the item's button; the item's own title setters
    // are deprecated. Nil where the item has no button.
    NSButton* button() const {
        if (![item_ respondsToSelector:@selector(button)]) return nil;
        return (NSButton*)[item_ performSelector:@selector(button)];
    }

    NSStatusItem* item_;
};

}  // namespace

std::unique_ptr<StatusItem> CocoaStatusBar::statusItemWithLength(double length) {
    NSStatusItem* item = [[NSStatusBar systemStatusBar] statusItemWithLength:length];
    return std::make_unique<CocoaStatusItem>(item);
}

}  // namespace ampora::macos
