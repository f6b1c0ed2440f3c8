#pragma once

#include "app/ports/application.h"

namespace ampora::macos {

// The login-item service for a helper in Contents/Library/LoginItems: SMAppService on macOS 13
// and later, SMLoginItemSetEnabled before.
class ServiceManagementLoginItems final : public LoginItemService {
  public:
    bool setEnabled(std::string_view bundleIdentifier, bool enabled) override;
};

}  // namespace ampora::macos
