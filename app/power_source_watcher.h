#pragma once

#include <cstdint>
#include <memory>

#include "app/ports/device_registry.h"

namespace ampora {

// The registry's "battery status has changed" message: the only one that triggers a re-read.
inline constexpr std::uint32_t kBatteryStatusChangedMessage = 0xE0024100;

// Keeps the display current without polling: reads every power source when it first appears and
// again whenever the registry says its battery status changed. Each reading goes to
// gDelegate->setStatusItem.
class PowerSourceWatcher {
  public:
    explicit PowerSourceWatcher(DeviceRegistry& registry);
    ~PowerSourceWatcher();
    PowerSourceWatcher(const PowerSourceWatcher&) = delete;
    PowerSourceWatcher& operator=(const PowerSourceWatcher&) = delete;

    // Called once. Reads the power sources present now; silently does nothing more when the
    // registry can't deliver notifications.
    void startWatching();

    void powerSourceAppeared(RegistryIterator& iterator);
    void powerSourceMessage(RegistryEntry service, std::uint32_t messageType);

  private:
    void readPowerSource(RegistryEntry entry);

    DeviceRegistry& registry_;
    std::unique_ptr<NotificationPort> port_;
};

}  // namespace ampora
