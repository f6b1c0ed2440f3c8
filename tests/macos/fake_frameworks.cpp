#include "fake_frameworks.h"

#include <ServiceManagement/ServiceManagement.h>

#include <cstring>
#include <deque>

struct AmporaCompatIONotificationPort {
    bool onRunLoop = false;
    bool destroyed = false;
};

namespace fake {
namespace {

// What an IOKit handle stands for: a registry entry, a first-match iterator or an interest
// notification.
struct Handle {
    std::string className{};
    Object* properties = nullptr;
    AmporaCompatIONotificationPort* port = nullptr;
    void* refCon = nullptr;
    IOServiceMatchingCallback matched = nullptr;
    IOServiceInterestCallback message = nullptr;
    io_object_t service = 0;  // a notification's entry
    io_object_t next = 1;     // the next handle an iterator looks at
    int references = 0;       // the code's; an entry without any is no longer valid for it
};

struct State {
    World world;
    std::deque<Object> objects;
    std::deque<AmporaCompatIONotificationPort> ports;
    std::vector<Handle> handles{Handle{}};  // 0 is no handle
};
State& state() {
    static State s;  // also for callers that run before static initialisation is done
    return s;
}

Object trueObject{true}, falseObject{false}, defaultMode{std::string("kCFRunLoopDefaultMode")};

Object* object(CFTypeRef ref) {
    return static_cast<Object*>(const_cast<void*>(ref));
}

bool delivers(io_object_t handle) {
    const Handle& h = state().handles[handle];
    return h.port && h.port->onRunLoop && !h.port->destroyed;
}

io_object_t add(Handle handle) {
    state().handles.push_back(std::move(handle));
    return static_cast<io_object_t>(state().handles.size() - 1);
}

}  // namespace

World& world() {
    return state().world;
}

void reset() {
    state() = State{};
}

CFTypeRef value(decltype(Object::value) value) {
    ++state().world.cfReferences;
    return &state().objects.emplace_back(Object{std::move(value)});
}

CFMutableDictionaryRef dictionary(
    std::initializer_list<std::pair<const char*, CFTypeRef>> entries) {
    auto* result = reinterpret_cast<CFMutableDictionaryRef>(const_cast<void*>(value({})));
    object(result)->isDictionary = true;
    for (const auto& [key, item] : entries) put(result, value(std::string(key)), item);
    return result;
}

void put(CFMutableDictionaryRef dictionary, CFTypeRef key, CFTypeRef value) {
    object(dictionary)->entries.emplace_back(object(key), object(value));
    CFRelease(key);
    CFRelease(value);
}

io_object_t publish(const char* className, CFMutableDictionaryRef properties) {
    if (properties) --state().world.cfReferences;  // the registry's now
    const io_object_t entry = add({.className = className, .properties = object(properties)});
    for (io_object_t h = 1; h < entry; ++h) {
        const Handle& iterator = state().handles[h];
        if (iterator.matched && iterator.className == className && delivers(h)) {
            iterator.matched(iterator.refCon, h);
        }
    }
    return entry;
}

void setProperties(io_object_t entry, CFMutableDictionaryRef properties) {
    state().handles[entry].properties = object(properties);
    --state().world.cfReferences;
}

void sendMessage(io_object_t entry, std::uint32_t messageType) {
    for (io_object_t h = 1; h < state().handles.size(); ++h) {
        const Handle& notification = state().handles[h];
        if (notification.message && notification.service == entry && delivers(h)) {
            notification.message(notification.refCon, entry, messageType, nullptr);
        }
    }
}

}  // namespace fake

using fake::object;
using fake::state;
enum : CFTypeID { kOther, kNumber, kString, kBoolean, kDictionary };

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFRunLoopMode kCFRunLoopDefaultMode = reinterpret_cast<CFStringRef>(&fake::defaultMode);
const CFBooleanRef kCFBooleanTrue = reinterpret_cast<CFBooleanRef>(&fake::trueObject);
const CFBooleanRef kCFBooleanFalse = reinterpret_cast<CFBooleanRef>(&fake::falseObject);

void CFRelease(CFTypeRef cf) {
    if (cf != kCFBooleanTrue && cf != kCFBooleanFalse) --state().world.cfReferences;
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
    constexpr CFTypeID kByValue[] = {kOther, kNumber, kNumber, kString, kBoolean};
    return object(cf)->isDictionary ? kDictionary : kByValue[object(cf)->value.index()];
}
CFTypeID CFNumberGetTypeID(void) {
    return kNumber;
}
CFTypeID CFStringGetTypeID(void) {
    return kString;
}
CFTypeID CFBooleanGetTypeID(void) {
    return kBoolean;
}
CFTypeID CFDictionaryGetTypeID(void) {
    return kDictionary;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary) {
    return static_cast<CFIndex>(object(dictionary)->entries.size());
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dictionary, const void** keys,
                                  const void** values) {
    for (const auto& [key, value] : object(dictionary)->entries) {
        *keys++ = key;
        *values++ = value;
    }
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    return std::holds_alternative<double>(object(number)->value);
}

// Asked for as int64 or double only.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value) {
    const auto& held = object(number)->value;
    const double real = held.index() == 2 ? std::get<double>(held) : std::get<std::int64_t>(held);
    const auto integer = held.index() == 1 ? std::get<std::int64_t>(held) : std::int64_t(real);
    if (type == kCFNumberDoubleType) std::memcpy(value, &real, sizeof real);
    if (type == kCFNumberSInt64Type) std::memcpy(value, &integer, sizeof integer);
    return true;
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex size,
                                    CFStringEncoding, Boolean) {
    const std::string text(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
    return static_cast<CFStringRef>(fake::value(text));
}

CFIndex CFStringGetLength(CFStringRef string) {
    return static_cast<CFIndex>(std::get<std::string>(object(string)->value).size());
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding) {
    return length * 3;  // UTF-8 from UTF-16
}

Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex size, CFStringEncoding) {
    const std::string& text = std::get<std::string>(object(string)->value);
    if (static_cast<CFIndex>(text.size()) >= size) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

CFRunLoopRef CFRunLoopGetCurrent(void) {
    return nullptr;  // the one the fake runs
}

void CFRunLoopAddSource(CFRunLoopRef, CFRunLoopSourceRef source, CFRunLoopMode mode) {
    state().world.calls.push_back("run loop " + std::get<std::string>(object(mode)->value));
    // Only the default mode runs while the program waits for events.
    reinterpret_cast<AmporaCompatIONotificationPort*>(source)->onRunLoop =
        mode == kCFRunLoopDefaultMode;
}

IONotificationPortRef IONotificationPortCreate(mach_port_t mainPort) {
    state().world.calls.push_back("port " + std::to_string(mainPort));
    if (!state().world.portCreated) return nullptr;
    ++state().world.ports;
    return &state().ports.emplace_back();
}

void IONotificationPortDestroy(IONotificationPortRef port) {
    port->destroyed = true;
    --state().world.ports;
}

CFRunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPortRef port) {
    return state().world.runLoopSource ? reinterpret_cast<CFRunLoopSourceRef>(port) : nullptr;
}

CFMutableDictionaryRef IOServiceMatching(const char* name) {
    return fake::dictionary({{"IOProviderClass", fake::value(std::string(name))}});
}

kern_return_t IOServiceAddMatchingNotification(IONotificationPortRef port, const io_name_t type,
                                               CFDictionaryRef matching,
                                               IOServiceMatchingCallback callback, void* refCon,
                                               io_iterator_t* iterator) {
    const auto className = std::get<std::string>(object(matching)->entries.at(0).second->value);
    CFRelease(matching);  // consumed, whatever the outcome
    state().world.calls.push_back("match " + className + " " + type);
    if (state().world.matchingResult != KERN_SUCCESS) return state().world.matchingResult;
    *iterator =
        fake::add({.className = className, .port = port, .refCon = refCon, .matched = callback});
    ++state().world.ioReferences;
    return KERN_SUCCESS;
}

kern_return_t IOServiceAddInterestNotification(IONotificationPortRef port, io_service_t service,
                                               const io_name_t type,
                                               IOServiceInterestCallback callback, void* refCon,
                                               io_object_t* notification) {
    state().world.calls.push_back(std::string("interest ") + type);
    if (state().world.interestResult != KERN_SUCCESS) return state().world.interestResult;
    *notification =
        fake::add({.port = port, .refCon = refCon, .message = callback, .service = service});
    ++state().world.ioReferences;
    return KERN_SUCCESS;
}

// The entries of the iterator's class, present ones first, then each as it is published.
io_object_t IOIteratorNext(io_iterator_t iterator) {
    auto& handles = state().handles;
    while (handles[iterator].next < handles.size()) {
        const io_object_t candidate = handles[iterator].next++;
        const fake::Handle& entry = handles[candidate];
        if (entry.matched || entry.className != handles[iterator].className) continue;
        ++handles[candidate].references;
        ++state().world.ioReferences;
        return candidate;
    }
    return 0;
}

kern_return_t IOObjectRelease(io_object_t handle) {
    --state().handles[handle].references;
    --state().world.ioReferences;
    return KERN_SUCCESS;
}

kern_return_t IORegistryEntryCreateCFProperties(io_registry_entry_t entry,
                                                CFMutableDictionaryRef* properties,
                                                CFAllocatorRef allocator, IOOptionBits options) {
    state().world.calls.push_back("properties " + std::to_string(options) +
                                  (allocator == kCFAllocatorDefault ? "" : " not default"));
    fake::Object* found = state().handles[entry].properties;
    if (!found || state().handles[entry].references <= 0) return fake::kIOReturnError;
    ++state().world.cfReferences;  // a new reference for the caller, as Create promises
    *properties = reinterpret_cast<CFMutableDictionaryRef>(found);
    return KERN_SUCCESS;
}

Boolean SMLoginItemSetEnabled(CFStringRef identifier, Boolean enabled) {
    state().world.calls.push_back("login item " + std::get<std::string>(object(identifier)->value) +
                                  (enabled ? " on" : " off"));
    return state().world.loginItemResult;
}

}  // extern "C"
