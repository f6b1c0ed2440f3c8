#include "platform/macos/cocoa_font.h"

#include "platform/macos/ns_string.h"

namespace ampora::macos {

NSFont* fontOrMenuFont(const Font& font) {
    NSFont* named = [NSFont fontWithName:toNSString(font.name) size:font.size];
    return named ? named : [NSFont menuFontOfSize:font.size];
}

}  // namespace ampora::macos
