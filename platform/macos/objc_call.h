#pragma once

// Calls to methods no header of the oldest SDK declares, for the Objective-C++ adapters only.

#import <Foundation/Foundation.h>

namespace ampora::macos {

// The receiver's implementation of selector as a function of its real type, e.g.
// BOOL (*)(id, SEL, NSError**). The detour through void(*)() is the sanctioned way to change a
// function pointer's type.
template <typename Function>
Function implementation(id receiver, SEL selector) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>([receiver methodForSelector:selector]));
}

}  // namespace ampora::macos
