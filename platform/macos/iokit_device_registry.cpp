#include "platform/macos/iokit_device_registry.h"

#include <IOKit/IOKitLib.h>

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/macos/autorelease_pool.h"
#include "platform/macos/cf_property_dictionary.h"
#include "platform/macos/cf_ref.h"
#include "platform/macos/io_object.h"

namespace ampora::macos {

namespace {

struct PortDestroyer {
    void operator()(IONotificationPortRef port) const { IONotificationPortDestroy(port); }
};
using PortRef = std::unique_ptr<std::remove_pointer_t<IONotificationPortRef>, PortDestroyer>;

// Walks a matching notification's iterator and keeps every entry it handed out, so that the
// entry handles stay valid for the interest notifications registered on them.
class IOKitRegistryIterator final : public RegistryIterator {
  public:
    RegistryEntry next() override {
        ScopedIOObject entry(IOIteratorNext(iterator_.get()));
        if (entry.get() == 0) return kNoRegistryEntry;
        const RegistryEntry handle = entry.get();
        entries_.push_back(std::move(entry));
        return handle;
    }

    io_iterator_t* receive() { return iterator_.receive(); }

  private:
    ScopedIOObject iterator_;
    std::vector<ScopedIOObject> entries_;
};

struct MatchingRegistration {
    NotificationPort::MatchingCallback callback;
    IOKitRegistryIterator iterator;
};

struct InterestRegistration {
    NotificationPort::InterestCallback callback;
    ScopedIOObject notification;
};

void matchingArrived(void* refCon, io_iterator_t /*iterator: the registration's own*/) {
    const AutoreleasePool pool;
    auto* registration = static_cast<MatchingRegistration*>(refCon);
    registration->callback(registration->iterator);
}

void messageArrived(void* refCon, io_service_t service, uint32_t messageType,
                    void* /*messageArgument*/) {
    const AutoreleasePool pool;
    static_cast<InterestRegistration*>(refCon)->callback(service, messageType);
}

class IOKitNotificationPort final : public NotificationPort {
  public:
    // The default main port is passed as null (its named constants changed between releases).
    IOKitNotificationPort() : port_(IONotificationPortCreate(MACH_PORT_NULL)) {}

    bool addRunLoopSourceToCurrentRunLoop() override {
        if (!port_) return false;
        // The source belongs to the port: not released here.
        CFRunLoopSourceRef source = IONotificationPortGetRunLoopSource(port_.get());
        if (!source) return false;
        CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
        return true;
    }

    RegistryIterator* addFirstMatchNotification(std::string_view className,
                                                MatchingCallback callback) override {
        if (!port_) return nullptr;
        const std::string name(className);
        // The registration consumes the matching dictionary, whether it succeeds or not.
        CFMutableDictionaryRef matching = IOServiceMatching(name.c_str());
        if (!matching) return nullptr;

        auto registration = std::make_unique<MatchingRegistration>();
        registration->callback = std::move(callback);
        const kern_return_t result = IOServiceAddMatchingNotification(
            port_.get(), kIOFirstMatchNotification, matching, &matchingArrived, registration.get(),
            registration->iterator.receive());
        if (result != KERN_SUCCESS) return nullptr;

        RegistryIterator* iterator = &registration->iterator;
        matchings_.push_back(std::move(registration));
        return iterator;
    }

    void addInterestNotification(RegistryEntry entry, InterestCallback callback) override {
        if (!port_) return;
        auto registration = std::make_unique<InterestRegistration>();
        registration->callback = std::move(callback);
        const kern_return_t result = IOServiceAddInterestNotification(
            port_.get(), static_cast<io_service_t>(entry), kIOGeneralInterest, &messageArrived,
            registration.get(), registration->notification.receive());
        if (result == KERN_SUCCESS) interests_.push_back(std::move(registration));
    }

  private:
    // Declared first so that it goes last: the notifications are released before their port.
    PortRef port_;
    std::vector<std::unique_ptr<MatchingRegistration>> matchings_;
    std::vector<std::unique_ptr<InterestRegistration>> interests_;
};

}  // namespace

std::unique_ptr<NotificationPort> IOKitDeviceRegistry::createNotificationPort() {
    return std::make_unique<IOKitNotificationPort>();
}

std::optional<PropertyDictionary> IOKitDeviceRegistry::copyProperties(RegistryEntry entry) {
    CFMutableDictionaryRef delivered = nullptr;
    // The result code is not needed: a failed call delivers no dictionary.
    IORegistryEntryCreateCFProperties(static_cast<io_registry_entry_t>(entry), &delivered,
                                      kCFAllocatorDefault, 0);
    const CFRef<CFMutableDictionaryRef> properties(delivered);
    if (!properties) return std::nullopt;
    return toPropertyDictionary(properties.get());
}

}  // namespace ampora::macos
