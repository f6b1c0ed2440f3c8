#include "fake_frameworks.h"

#include <ServiceManagement/ServiceManagement.h>

#include <cstddef>
#include <cstring>
#include <deque>
#include <map>

struct AmporaCompatIONotificationPort {
    bool onRunLoop = false;
    bool destroyed = false;
};

namespace fake {
namespace {

// Iterators, registry entries and interest notifications.
struct IOObject {
    std::string className{};
    Object* properties = nullptr;
    AmporaCompatIONotificationPort* port = nullptr;
    void* refCon = nullptr;
    IOServiceMatchingCallback matched = nullptr;
    IOServiceInterestCallback message = nullptr;
    io_object_t service = 0;
    std::vector<io_object_t> pending{};  // an iterator's entries not handed out yet
};

struct State {
    World world;
    std::deque<Object> objects;
    std::deque<AmporaCompatIONotificationPort> ports;
    std::map<io_object_t, IOObject> io;
    io_object_t next = 0x100;
};
State& state() {
    static State s;  // also for callers that run before static initialisation is done
    return s;
}

Object trueObject{true}, falseObject{false}, defaultMode{std::string("kCFRunLoopDefaultMode")};

Object* object(CFTypeRef ref) {
    return static_cast<Object*>(const_cast<void*>(ref));
}

bool delivers(const IOObject& object) {
    return object.port && object.port->onRunLoop && !object.port->destroyed;
}

io_object_t add(IOObject object) {
    state().io[state().next] = std::move(object);
    return state().next++;
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
    Object* result = object(value({}));
    result->isDictionary = true;
    auto* dictionary = reinterpret_cast<CFMutableDictionaryRef>(result);
    for (const auto& [key, item] : entries) put(dictionary, value(std::string(key)), item);
    return dictionary;
}

void put(CFMutableDictionaryRef dictionary, CFTypeRef key, CFTypeRef value) {
    object(dictionary)->entries.emplace_back(object(key), object(value));
    CFRelease(key);
    CFRelease(value);
}

io_object_t publish(const char* className, CFMutableDictionaryRef properties) {
    const io_object_t entry = add({.className = className, .properties = object(properties)});
    if (properties) --state().world.cfReferences;  // the registry's now
    for (auto& [handle, iterator] : state().io) {
        if (iterator.matched && iterator.className == className && delivers(iterator)) {
            iterator.pending.push_back(entry);
            iterator.matched(iterator.refCon, handle);
        }
    }
    return entry;
}

void setProperties(io_object_t entry, CFMutableDictionaryRef properties) {
    state().io.at(entry).properties = object(properties);
    --state().world.cfReferences;
}

void sendMessage(io_object_t entry, std::uint32_t messageType) {
    for (auto& [handle, notification] : state().io) {
        if (notification.message && notification.service == entry && delivers(notification)) {
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

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value) {
    const auto& held = object(number)->value;
    const double real = held.index() == 2 ? std::get<double>(held) : std::get<std::int64_t>(held);
    const auto integer = held.index() == 1 ? std::get<std::int64_t>(held) : std::int64_t(real);
    if (type == kCFNumberDoubleType) std::memcpy(value, &real, sizeof real);
    if (type == kCFNumberSInt64Type) std::memcpy(value, &integer, sizeof integer);
    return type == kCFNumberDoubleType || type == kCFNumberSInt64Type;
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    return std::get<bool>(object(boolean)->value);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex size,
                                    CFStringEncoding, Boolean) {
    const auto* text = reinterpret_cast<const char*>(bytes);
    return static_cast<CFStringRef>(fake::value(std::string(text, static_cast<std::size_t>(size))));
}

CFIndex CFStringGetLength(CFStringRef string) {
    return static_cast<CFIndex>(std::get<std::string>(object(string)->value).size());
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding) {
    return length * 3;  // UTF-8 from UTF-16
}

const char* CFStringGetCStringPtr(CFStringRef, CFStringEncoding) {
    return nullptr;  // allowed at any time: the caller must copy
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
    fake::IOObject registration{className, nullptr, port, refCon, callback};
    for (const auto& [handle, entry] : state().io) {
        if (entry.className == className && !entry.matched) registration.pending.push_back(handle);
    }
    *iterator = fake::add(std::move(registration));
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

io_object_t IOIteratorNext(io_iterator_t handle) {
    fake::IOObject& iterator = state().io.at(handle);
    if (iterator.pending.empty()) return 0;
    const io_object_t entry = iterator.pending.front();
    iterator.pending.erase(iterator.pending.begin());
    ++state().world.ioReferences;  // the caller's
    return entry;
}

kern_return_t IOObjectRelease(io_object_t) {
    --state().world.ioReferences;
    return KERN_SUCCESS;
}

kern_return_t IORegistryEntryCreateCFProperties(io_registry_entry_t entry,
                                                CFMutableDictionaryRef* properties,
                                                CFAllocatorRef allocator, IOOptionBits options) {
    state().world.calls.push_back("properties " + std::to_string(options) +
                                  (allocator == kCFAllocatorDefault ? "" : " not default"));
    fake::Object* found = state().io.at(entry).properties;
    if (!found) return fake::kIOReturnError;
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
