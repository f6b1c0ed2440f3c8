#include "platform/linux/power/udev_device_registry.h"

#include <libudev.h>

#include <utility>

#include "platform/linux/power/power_supply.h"
#include "platform/linux/power/udev_notification_port.h"

namespace ampora {

UdevDeviceRegistry::UdevDeviceRegistry() : udev_(udev_new()) {}

UdevDeviceRegistry::~UdevDeviceRegistry() = default;

std::unique_ptr<NotificationPort> UdevDeviceRegistry::createNotificationPort() {
    return std::make_unique<UdevNotificationPort>(*this);
}

std::optional<PropertyDictionary> UdevDeviceRegistry::copyProperties(RegistryEntry entry) {
    const auto found = syspaths_.find(entry);
    if (!udev_ || found == syspaths_.end()) return std::nullopt;
    const auto battery = power_supply::open(udev_.get(), found->second);
    if (!battery) return std::nullopt;
    return power_supply::readBattery(battery.get(),
                                     power_supply::anyExternalPowerOnline(udev_.get()));
}

RegistryEntry UdevDeviceRegistry::publish(std::string syspath) {
    const RegistryEntry entry = ++lastEntry_;
    syspaths_.emplace(entry, std::move(syspath));
    return entry;
}

void UdevDeviceRegistry::withdraw(RegistryEntry entry) {
    syspaths_.erase(entry);
}

}  // namespace ampora
