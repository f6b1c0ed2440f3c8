#include "fake_registry.h"

namespace ampora::fakes {

class FakeRegistry::Iterator : public RegistryIterator {
  public:
    explicit Iterator(FakeRegistry& registry) : registry_(registry) {}
    RegistryEntry next() override {
        if (registry_.unmatched_.empty()) {
            registry_.armed_ = true;
            return kNoRegistryEntry;
        }
        const RegistryEntry entry = registry_.unmatched_.front();
        registry_.unmatched_.pop_front();
        return entry;
    }

  private:
    FakeRegistry& registry_;
};

class FakeRegistry::Port : public NotificationPort {
  public:
    explicit Port(FakeRegistry& registry) : registry_(registry) {}
    ~Port() override { registry_.port_ = nullptr; }

    bool addRunLoopSourceToCurrentRunLoop() override {
        if (!registry_.hasRunLoopSource) return false;
        registry_.runLoopSourceAdded = true;
        return true;
    }
    RegistryIterator* addFirstMatchNotification(std::string_view className,
                                                MatchingCallback callback) override {
        registry_.matchedClass = className;
        if (registry_.matchingFails) return nullptr;
        registry_.matchingCallback_ = std::move(callback);
        registry_.iterator_ = std::make_unique<Iterator>(registry_);
        return registry_.iterator_.get();
    }
    void addInterestNotification(RegistryEntry entry, InterestCallback callback) override {
        ++registry_.interestRegistrations[entry];
        registry_.interest_.emplace(entry, std::move(callback));
    }

  private:
    FakeRegistry& registry_;
};

FakeRegistry::FakeRegistry() = default;
FakeRegistry::~FakeRegistry() = default;

std::unique_ptr<NotificationPort> FakeRegistry::createNotificationPort() {
    auto port = std::make_unique<Port>(*this);
    port_ = port.get();
    return port;
}

std::optional<PropertyDictionary> FakeRegistry::copyProperties(RegistryEntry entry) {
    ++propertyReads[entry];
    const auto found = properties_.find(entry);
    if (found == properties_.end()) return std::nullopt;
    return found->second;
}

void FakeRegistry::publish(RegistryEntry entry, std::optional<PropertyDictionary> properties) {
    properties_[entry] = std::move(properties);
    unmatched_.push_back(entry);
    // Only a drained (armed) notification fires, and only while a run loop delivers it.
    if (port_ && runLoopSourceAdded && armed_ && matchingCallback_) {
        armed_ = false;
        matchingCallback_(*iterator_);
    }
}

void FakeRegistry::setProperties(RegistryEntry entry,
                                 std::optional<PropertyDictionary> properties) {
    properties_[entry] = std::move(properties);
}

void FakeRegistry::sendMessage(RegistryEntry entry, std::uint32_t messageType) {
    if (!port_ || !runLoopSourceAdded) return;
    const auto [first, last] = interest_.equal_range(entry);
    for (auto it = first; it != last; ++it) it->second(entry, messageType);
}

}  // namespace ampora::fakes
