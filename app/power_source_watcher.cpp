#include "app/power_source_watcher.h"

#include "app/app_delegate.h"
#include "battery/read_battery_properties.h"

namespace ampora {

PowerSourceWatcher::PowerSourceWatcher(DeviceRegistry& registry) : registry_(registry) {}

PowerSourceWatcher::~PowerSourceWatcher() = default;

void PowerSourceWatcher::startWatching() {
    port_ = registry_.createNotificationPort();
    if (!port_ || !port_->addRunLoopSourceToCurrentRunLoop()) return;

    RegistryIterator* iterator = port_->addFirstMatchNotification(
        "IOPMPowerSource", [this](RegistryIterator& it) { powerSourceAppeared(it); });
    // Draining the iterator reads the sources present now and arms the notification.
    if (iterator) powerSourceAppeared(*iterator);
}

void PowerSourceWatcher::powerSourceAppeared(RegistryIterator& iterator) {
    for (RegistryEntry entry = iterator.next(); entry != kNoRegistryEntry;
         entry = iterator.next()) {
        readPowerSource(entry);
        port_->addInterestNotification(entry, [this](RegistryEntry service, std::uint32_t type) {
            powerSourceMessage(service, type);
        });
    }
}

void PowerSourceWatcher::powerSourceMessage(RegistryEntry service, std::uint32_t messageType) {
    if (messageType == kBatteryStatusChangedMessage) readPowerSource(service);
}

void PowerSourceWatcher::readPowerSource(RegistryEntry entry) {
    // One dictionary per reading; the record's strings borrow from it, so both end together.
    const PropertyDictionary properties =
        registry_.copyProperties(entry).value_or(PropertyDictionary{});
    IOPMBattery record{};
    readBatteryProperties(record, properties);
    if (gDelegate) gDelegate->setStatusItem(record);
}

}  // namespace ampora
