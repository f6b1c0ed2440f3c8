#include "platform/macos/autorelease_pool.h"

#import <Foundation/Foundation.h>

namespace ampora::macos {

AutoreleasePool::AutoreleasePool() : pool_([[NSAutoreleasePool alloc] init]) {}

AutoreleasePool::~AutoreleasePool() {
    [static_cast<NSAutoreleasePool*>(pool_) drain];
}

}  // namespace ampora::macos
