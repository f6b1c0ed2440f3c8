#pragma once

// CoreFoundation, IOKit and ServiceManagement in memory, as much as the macOS adapters use.
// Nothing is freed before reset(): references are only counted, so that a leak or an extra
// release shows in the counts.

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace fake {

inline constexpr kern_return_t kIOReturnError = static_cast<kern_return_t>(0xE00002BC);

struct Object;
using Entries = std::vector<std::pair<Object*, Object*>>;
// A number, a text, a boolean, a dictionary, or something the reader has no use for (an array,
// data, a date).
struct Object {
    std::variant<std::monostate, std::int64_t, double, std::string, bool, Entries> value;
};

struct World {
    std::set<std::string> failing;  // calls that fail: "port", "source", "match", "interest", ...
    std::vector<std::string> loginItems;  // "org.example.Helper on"
    int cfReferences = 0;                 // what the code under test holds
    int ioReferences = 0;                 // notification ports included
};
World& world();
void reset();

// New objects; dictionary() and put() take over the references to keys and values.
CFTypeRef value(decltype(Object::value) value);
CFMutableDictionaryRef dictionary(const std::vector<std::pair<const char*, CFTypeRef>>& entries);
void put(CFMutableDictionaryRef dictionary, CFTypeRef key, CFTypeRef value);

// A power source with its properties (taken over; null: unreadable). Ports on the run loop hear of
// it at once, as they would from the run loop.
io_object_t publish(CFMutableDictionaryRef properties);
void setProperties(io_object_t entry, CFMutableDictionaryRef properties);
void sendMessage(io_object_t entry, std::uint32_t messageType);

}  // namespace fake
