#pragma once

#include "app/ports/application.h"

namespace ampora::macos {

// The login-item service for a helper in Contents/Library/LoginItems: SMAppService on macOS 13
// and later, which keeps a record the user can change in System Settings; SMLoginItemSetEnabled
// before, which keeps none.
class ServiceManagementLoginItems final : public LoginItemService {
  public:
    bool setEnabled(std::string_view bundleIdentifier, bool enabled) override;
    LoginItemStatus status(std::string_view bundleIdentifier) override;
    void openSystemSettings() override;
};

}  // namespace ampora::macos
