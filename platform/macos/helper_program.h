#pragma once

#include <string>

#include "helper/helper_app_delegate.h"
#include "platform/macos/cocoa_application.h"
#include "platform/macos/cocoa_notification_center.h"
#include "platform/macos/cocoa_workspace.h"

namespace ampora::macos {

// The login helper's objects. bundlePath is the helper's own bundle.
class HelperProgram {
  public:
    explicit HelperProgram(std::string bundlePath);
    HelperProgram(const HelperProgram&) = delete;
    HelperProgram& operator=(const HelperProgram&) = delete;

    HelperAppDelegate& delegate() { return delegate_; }

  private:
    CocoaWorkspace workspace_;
    CocoaDistributedNotificationCenter notifications_;
    CocoaApplication application_;
    HelperAppDelegate delegate_;
};

}  // namespace ampora::macos
