#pragma once

// Text conversions for the Objective-C++ adapters only.

#import <Foundation/Foundation.h>

#include <string>
#include <string_view>

namespace ampora::macos {

// An autoreleased NSString; the empty string when the bytes are not UTF-8.
inline NSString* toNSString(std::string_view text) {
    NSString* string = [[[NSString alloc] initWithBytes:text.data()
                                                 length:text.size()
                                               encoding:NSUTF8StringEncoding] autorelease];
    return string ? string : @"";
}

inline std::string fromNSString(NSString* text) {
    const char* utf8 = [text UTF8String];
    return utf8 ? std::string(utf8) : std::string();
}

}  // namespace ampora::macos
