#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/ports/device_registry.h"
#include "platform/linux/power/udev_handles.h"

namespace ampora {

// The device registry of a Linux system: the kernel's power_supply class through libudev. Its
// entries are the system's batteries and UPSes; notifications arrive through the thread-default
// GLib main context, from the udev monitor only, without polling.
//
// Must outlive the notification ports it creates. Not thread-safe: use it from the thread that
// runs the main loop.
class UdevDeviceRegistry final : public DeviceRegistry {
  public:
    // Connects to udev. Without udev, ports deliver nothing and every registration fails.
    UdevDeviceRegistry();
    ~UdevDeviceRegistry() override;
    UdevDeviceRegistry(const UdevDeviceRegistry&) = delete;
    UdevDeviceRegistry& operator=(const UdevDeviceRegistry&) = delete;

    std::unique_ptr<NotificationPort> createNotificationPort() override;

    // Read afresh from sysfs on every call. Nothing for an entry that is gone or unknown.
    std::optional<PropertyDictionary> copyProperties(RegistryEntry entry) override;

  private:
    friend class UdevNotificationPort;

    // Entry handles are never reused: a battery that comes back is a new entry.
    RegistryEntry publish(std::string syspath);
    void withdraw(RegistryEntry entry);
    udev* context() const { return udev_.get(); }

    udev_handles::Udev udev_;
    std::map<RegistryEntry, std::string> syspaths_;
    RegistryEntry lastEntry_ = kNoRegistryEntry;
};

}  // namespace ampora
