#include "platform/macos/cocoa_menu.h"

#include <cstdlib>

#include "platform/macos/cocoa_font.h"
#include "platform/macos/cocoa_menu_native.h"
#include "platform/macos/ns_string.h"

namespace ampora::macos {

SEL selectorFor(Selector action) {
    switch (action) {
        case Selector::None:
            return nullptr;
        case Selector::DidSelectOpenAtLogin:
            return @selector(didSelectOpenAtLogin);
        case Selector::RateApp:
            return @selector(RateApp);
        case Selector::GoToSite:
            return @selector(GoToSite);
        case Selector::Terminate:
            return @selector(terminate:);
    }
    return nullptr;
}

CocoaMenuItem::CocoaMenuItem(NSMenuItem* item) : item_([item retain]) {}

CocoaMenuItem::~CocoaMenuItem() {
    [item_ release];
}

void CocoaMenuItem::setTitle(std::string_view title) {
    [item_ setTitle:toNSString(title)];
}

void CocoaMenuItem::setAction(Selector action) {
    [item_ setAction:selectorFor(action)];
}

void CocoaMenuItem::setKeyEquivalent(std::string_view key) {
    [item_ setKeyEquivalent:toNSString(key)];
}

void CocoaMenuItem::setState(int state) {
    [item_ setState:state];
}

int CocoaMenuItem::state() const {
    return static_cast<int>([item_ state]);
}

CocoaMenu::CocoaMenu(NSMenu* menu) : menu_([menu retain]) {}

CocoaMenu::~CocoaMenu() {
    [menu_ release];
}

void CocoaMenu::setFont(const Font& font) {
    // -[NSMenu setFont:] is AppKit's; other implementations of the API may lack it.
    if ([menu_ respondsToSelector:@selector(setFont:)]) {
        [menu_ performSelector:@selector(setFont:) withObject:fontOrMenuFont(font)];
    }
}

MenuItem& CocoaMenu::addItemWithTitle(std::string_view title, Selector action,
                                      std::string_view keyEquivalent) {
    NSMenuItem* item = (NSMenuItem*)[menu_ addItemWithTitle:toNSString(title)
                                                     action:selectorFor(action)
                                              keyEquivalent:toNSString(keyEquivalent)];
    items_.push_back(std::make_unique<CocoaMenuItem>(item));
    return *items_.back();
}

MenuItem& CocoaMenu::addItem(std::unique_ptr<MenuItem> item) {
    // Items come from CocoaMenuFactory only; any other kind has no AppKit item to add.
    auto* cocoaItem = dynamic_cast<CocoaMenuItem*>(item.get());
    if (!cocoaItem) std::abort();
    std::unique_ptr<CocoaMenuItem> owned(cocoaItem);
    item.release();  // now held by owned
    [menu_ addItem:owned->native()];
    items_.push_back(std::move(owned));
    return *items_.back();
}

std::unique_ptr<Menu> CocoaMenuFactory::newMenu(std::string_view title) {
    NSMenu* menu = [[NSMenu alloc] initWithTitle:toNSString(title)];
    auto result = std::make_unique<CocoaMenu>(menu);
    [menu release];
    return result;
}

std::unique_ptr<MenuItem> CocoaMenuFactory::newMenuItem() {
    // The same item -[NSMenuItem init] gives: no title, no action, no key equivalent, off.
    NSMenuItem* item = [[NSMenuItem alloc] initWithTitle:@"" action:nullptr keyEquivalent:@""];
    auto result = std::make_unique<CocoaMenuItem>(item);
    [item release];
    return result;
}

}  // namespace ampora::macos
