#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "battery/property_dictionary.h"

namespace ampora {

// A handle of one registry entry (a power source). 0 is no entry.
using RegistryEntry = std::uint64_t;
inline constexpr RegistryEntry kNoRegistryEntry = 0;

// Walks the entries a matching notification delivered. next() gives kNoRegistryEntry at the end.
class RegistryIterator {
  public:
    virtual ~RegistryIterator() = default;
    virtual RegistryEntry next() = 0;
};

// Delivers registry notifications through the main run loop. Owns every notification, iterator
// and entry handle registered on it, for its whole life.
class NotificationPort {
  public:
    using MatchingCallback = std::function<void(RegistryIterator& iterator)>;
    using InterestCallback = std::function<void(RegistryEntry entry, std::uint32_t messageType)>;

    virtual ~NotificationPort() = default;

    // Adds the port's run-loop source to the current run loop in the default mode. False when
    // the port has no run-loop source, in which case nothing is delivered.
    virtual bool addRunLoopSourceToCurrentRunLoop() = 0;

    // Registers for entries of className as they first match. The callback is not called for the
    // entries present now: the caller drains the returned iterator itself, which also arms the
    // notification. Null when the registration fails. The iterator lives as long as the port.
    virtual RegistryIterator* addFirstMatchNotification(std::string_view className,
                                                        MatchingCallback callback) = 0;

    // Subscribes to the general-interest messages of one entry.
    virtual void addInterestNotification(RegistryEntry entry, InterestCallback callback) = 0;
};

class DeviceRegistry {
  public:
    virtual ~DeviceRegistry() = default;
    virtual std::unique_ptr<NotificationPort> createNotificationPort() = 0;
    // All properties of the entry; nothing when the registry delivers none.
    virtual std::optional<PropertyDictionary> copyProperties(RegistryEntry entry) = 0;
};

}  // namespace ampora
