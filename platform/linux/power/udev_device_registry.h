#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/ports/device_registry.h"
#include "platform/linux/power/udev_handles.h"

namespace ampora {

// The device registry of a Linux system: the kernel's power_supply class through libudev. The
// system's batteries and UPSes (in place, not a peripheral's) are one entry, read as their sum,
// so that a dual-pack laptop shows one figure. Notifications arrive through the thread-default
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

    // Read afresh from sysfs on every call: the entry's batteries as the port last saw them, and
    // whether external power is online. Nothing for an entry that is gone or unknown.
    std::optional<PropertyDictionary> copyProperties(RegistryEntry entry) override;

  private:
    friend class UdevNotificationPort;

    using Syspaths = std::set<std::string, std::less<>>;

    // Entry handles are never reused: batteries that come back after the last one went are a new
    // entry.
    RegistryEntry publish(Syspaths batteries);
    void update(RegistryEntry entry, Syspaths batteries);
    void withdraw(RegistryEntry entry);
    udev* context() const { return udev_.get(); }

    udev_handles::Udev udev_;
    std::map<RegistryEntry, Syspaths> published_;
    RegistryEntry lastEntry_ = kNoRegistryEntry;
};

}  // namespace ampora
