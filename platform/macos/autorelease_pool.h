#pragma once

namespace ampora::macos {

// An Objective-C autorelease pool for the extent of a scope, usable from plain C++. Callbacks
// that the run loop calls directly (IOKit's) get no pool of their own from AppKit: what they
// autorelease would otherwise live until AppKit's per-event pool drains.
class AutoreleasePool {
  public:
    AutoreleasePool();
    ~AutoreleasePool();
    AutoreleasePool(const AutoreleasePool&) = delete;
    AutoreleasePool& operator=(const AutoreleasePool&) = delete;

  private:
    void* pool_;
};

}  // namespace ampora::macos
