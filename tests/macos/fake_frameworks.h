#pragma once

// A small in-process CoreFoundation, IOKit and ServiceManagement behind the platform's own C
// declarations, so that the macOS adapters run here. It models what the adapters rely on:
// reference counts (and reports over-releases and leaks), a registry of published entries,
// notification delivery only through a port whose source is on the run loop, and the
// login-item call.

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fake {

// kern_return_t values IOKit gives for refused calls.
inline constexpr kern_return_t kIOReturnNoResources = static_cast<kern_return_t>(0xE00002BE);
inline constexpr kern_return_t kIOReturnNotFound = static_cast<kern_return_t>(0xE00002F0);

struct Frameworks {
    // --- behaviour ---
    bool portHasRunLoopSource = true;
    kern_return_t matchingResult = KERN_SUCCESS;
    kern_return_t interestResult = KERN_SUCCESS;
    Boolean loginItemResult = true;

    // --- what the code under test asked for ---
    std::vector<mach_port_t> portsCreatedOnMainPort;
    std::vector<std::string> runLoopModes;  // one per CFRunLoopAddSource on the current loop
    std::vector<std::string> matchingClasses;
    std::vector<std::string> matchingTypes;
    std::vector<std::string> interestTypes;
    std::vector<IOOptionBits> propertyOptions;
    bool propertiesAskedWithOtherAllocator = false;
    std::vector<std::pair<std::string, bool>> loginItemCalls;
    std::vector<std::string> faults;  // misuse seen: over-releases, unknown handles, ...
};

// The one fake world. reset() gives a fresh one and frees everything of the last.
Frameworks& frameworks();
void reset();

// Publishes a registry entry of the class with the given properties (ownership taken; null for
// an entry whose properties can't be read). Delivers first-match notifications at once, as the
// run loop would, to ports whose source is on the run loop.
io_object_t publish(const std::string& className, CFMutableDictionaryRef properties);
// Replaces an entry's properties (ownership taken), as a driver updating its battery does.
void setProperties(io_object_t entry, CFMutableDictionaryRef properties);
// Delivers a message to the entry's interest notifications, as the run loop would.
void sendMessage(io_object_t entry, std::uint32_t messageType);

// References the code under test (or the test) still holds: CF references beyond those the fake
// accounts for itself, IOKit references beyond the registry's own, ports not destroyed.
int heldCFReferences();
int heldIOReferences();
int livePorts();

// Fixture helpers built on the CF calls themselves.
CFStringRef makeString(const std::string& text);
CFNumberRef makeInt(std::int64_t value, CFNumberType type = kCFNumberSInt64Type);
CFNumberRef makeDouble(double value);
CFTypeRef makeOpaque();  // an array, data or date: something the reader has no use for
// Sets key to value in dictionary and drops the caller's reference to value.
void put(CFMutableDictionaryRef dictionary, const std::string& key, CFTypeRef value);
CFMutableDictionaryRef makeDictionary();

}  // namespace fake
