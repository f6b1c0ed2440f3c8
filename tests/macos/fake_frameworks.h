#pragma once

// CoreFoundation, IOKit and ServiceManagement in memory, behind the platform's own declarations:
// as much as the macOS adapters use. References handed out are counted, and nothing is freed
// before reset(), so that a leak or an extra release shows in the counts.

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace fake {

inline constexpr kern_return_t kIOReturnError = static_cast<kern_return_t>(0xE00002BC);

// A number, a text, a boolean, a dictionary, or something the reader has no use for (an array,
// data, a date).
struct Object {
    std::variant<std::monostate, std::int64_t, double, std::string, bool> value;
    bool isDictionary = false;
    std::vector<std::pair<Object*, Object*>> entries{};
};

struct World {
    bool portCreated = true;
    bool runLoopSource = true;
    kern_return_t matchingResult = KERN_SUCCESS;
    kern_return_t interestResult = KERN_SUCCESS;
    bool loginItemResult = true;
    std::vector<std::string> calls;  // "port 0", "match IOPMPowerSource IOServiceFirstMatch", ...
    int cfReferences = 0;            // what the code under test holds
    int ioReferences = 0;
    int ports = 0;  // not destroyed
};
World& world();
void reset();

// New objects; dictionary() and put() take over the references to keys and values.
CFTypeRef value(decltype(Object::value) value);
CFMutableDictionaryRef dictionary(std::initializer_list<std::pair<const char*, CFTypeRef>> entries);
void put(CFMutableDictionaryRef dictionary, CFTypeRef key, CFTypeRef value);

// A registry entry of the class, with its properties (taken over; null: unreadable). Ports on the
// run loop hear of it at once, as they would from the run loop.
io_object_t publish(const char* className, CFMutableDictionaryRef properties);
void setProperties(io_object_t entry, CFMutableDictionaryRef properties);
void sendMessage(io_object_t entry, std::uint32_t messageType);

}  // namespace fake
