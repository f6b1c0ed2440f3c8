#pragma once

// Font lookup for the Objective-C++ adapters only.

#import <AppKit/AppKit.h>

#include "app/ports/font.h"

namespace ampora::macos {

// The named font, or the menu font of the same size when it isn't installed: AppKit raises on a
// nil font in an attribute dictionary.
NSFont* fontOrMenuFont(const Font& font);

}  // namespace ampora::macos
