#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ports/device_registry.h"

namespace ampora::fakes {

// An in-memory device registry. Entries are published with their properties; messages are sent
// to the entries' interest subscribers, as the system would through the run loop.
class FakeRegistry : public DeviceRegistry {
  public:
    FakeRegistry();
    ~FakeRegistry() override;

    std::unique_ptr<NotificationPort> createNotificationPort() override;
    std::optional<PropertyDictionary> copyProperties(RegistryEntry entry) override;

    // Publishes an entry (before or after start-up). Properties nothing = the call delivers none.
    void publish(RegistryEntry entry, std::optional<PropertyDictionary> properties);
    void setProperties(RegistryEntry entry, std::optional<PropertyDictionary> properties);
    void sendMessage(RegistryEntry entry, std::uint32_t messageType);

    bool hasRunLoopSource = true;
    bool matchingFails = false;

    bool runLoopSourceAdded = false;
    std::string matchedClass;
    std::map<RegistryEntry, int> propertyReads;
    std::map<RegistryEntry, int> interestRegistrations;

  private:
    class Port;
    class Iterator;
    friend class Port;

    std::map<RegistryEntry, std::optional<PropertyDictionary>> properties_;
    std::deque<RegistryEntry> unmatched_;  // published, not yet handed out by the iterator
    Port* port_ = nullptr;
    NotificationPort::MatchingCallback matchingCallback_;
    std::unique_ptr<Iterator> iterator_;
    bool armed_ = false;  // the iterator has been drained once
    std::multimap<RegistryEntry, NotificationPort::InterestCallback> interest_;
};

}  // namespace ampora::fakes
