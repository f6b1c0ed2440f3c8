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
    const auto found = published_.find(entry);
    if (!udev_ || found == published_.end()) return std::nullopt;
    return power_supply::readSystemBatteries(udev_.get(), found->second);
}

RegistryEntry UdevDeviceRegistry::publish(Syspaths batteries) {
    const RegistryEntry entry = ++lastEntry_;
    published_.emplace(entry, std::move(batteries));
    return entry;
}

void UdevDeviceRegistry::update(RegistryEntry entry, Syspaths batteries) {
    if (const auto found = published_.find(entry); found != published_.end()) {
        found->second = std::move(batteries);
    }
}

void UdevDeviceRegistry::withdraw(RegistryEntry entry) {
    published_.erase(entry);
}

}  // namespace ampora
