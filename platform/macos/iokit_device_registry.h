#pragma once

#include <memory>
#include <optional>

#include "app/ports/device_registry.h"

namespace ampora::macos {

// The device registry of macOS (IOKit). Notifications arrive through the current thread's run
// loop, so the port must be created and used on the main thread.
class IOKitDeviceRegistry final : public DeviceRegistry {
  public:
    std::unique_ptr<NotificationPort> createNotificationPort() override;
    std::optional<PropertyDictionary> copyProperties(RegistryEntry entry) override;
};

}  // namespace ampora::macos
