#include "fake_frameworks.h"

#include <ServiceManagement/ServiceManagement.h>

#include <deque>
#include <functional>

struct AmporaCompatIONotificationPort {
    bool onRunLoop = false;
};

namespace fake {
namespace {

// What an IOKit handle stands for: a registry entry, an iterator or a notification.
struct Handle {
    Object* properties = nullptr;               // an entry's; null: unreadable
    int references = 0;                         // the code's: without any, a handle is gone for it
    std::function<void(std::uint32_t)> call{};  // a notification's
    io_object_t service = 0;                    // an interest notification's entry
    AmporaCompatIONotificationPort* port = nullptr;
};

struct State {
    World world;
    std::deque<Object> objects;
    std::deque<AmporaCompatIONotificationPort> ports;
    std::deque<Handle> handles{Handle{}};  // 0 is no handle
    std::deque<io_object_t> unseen;        // entries not yet handed out by an iterator
};
State& state() {
    static State s;  // also for callers that run before static initialisation is done
    return s;
}

Object trueObject{true}, falseObject{false}, defaultMode;

Object* object(CFTypeRef ref) {
    return static_cast<Object*>(const_cast<void*>(ref));
}

bool fails(const char* call) {
    return state().world.failing.count(call);
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

CFMutableDictionaryRef dictionary(const std::vector<std::pair<const char*, CFTypeRef>>& entries) {
    auto* result = reinterpret_cast<CFMutableDictionaryRef>(const_cast<void*>(value(Entries{})));
    for (const auto& [key, item] : entries) put(result, value(std::string(key)), item);
    return result;
}

void put(CFMutableDictionaryRef dictionary, CFTypeRef key, CFTypeRef value) {
    std::get<Entries>(object(dictionary)->value).emplace_back(object(key), object(value));
    CFRelease(key);  // both the dictionary's now
    CFRelease(value);
}

io_object_t publish(CFMutableDictionaryRef properties) {
    if (properties) --state().world.cfReferences;  // the registry's now
    state().unseen.push_back(add({.properties = object(properties)}));
    sendMessage(0, 0);  // to the first-match notifications
    return state().unseen.back();
}

void setProperties(io_object_t entry, CFMutableDictionaryRef properties) {
    state().handles[entry].properties = object(properties);
    --state().world.cfReferences;
}

// Released notifications, and those of ports off the run loop, hear nothing.
void sendMessage(io_object_t entry, std::uint32_t messageType) {
    for (std::size_t i = 1; i < state().handles.size(); ++i) {
        const Handle& h = state().handles[i];
        if (h.call && h.service == entry && h.references > 0 && h.port->onRunLoop) {
            h.call(messageType);
        }
    }
}

}  // namespace fake

using fake::object;
using fake::state;

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFRunLoopMode kCFRunLoopDefaultMode = reinterpret_cast<CFStringRef>(&fake::defaultMode);
const CFBooleanRef kCFBooleanTrue = reinterpret_cast<CFBooleanRef>(&fake::trueObject);
const CFBooleanRef kCFBooleanFalse = reinterpret_cast<CFBooleanRef>(&fake::falseObject);

void CFRelease(CFTypeRef cf) {
    if (cf != kCFBooleanTrue && cf != kCFBooleanFalse) --state().world.cfReferences;
}

// The index of the value's kind, integers and reals both numbers.
CFTypeID CFGetTypeID(CFTypeRef cf) {
    const CFTypeID index = object(cf)->value.index();
    return index == 2 ? 1 : index;
}
CFTypeID CFNumberGetTypeID(void) {
    return 1;
}
CFTypeID CFStringGetTypeID(void) {
    return 3;
}
CFTypeID CFBooleanGetTypeID(void) {
    return 4;
}
CFTypeID CFDictionaryGetTypeID(void) {
    return 5;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary) {
    return static_cast<CFIndex>(std::get<fake::Entries>(object(dictionary)->value).size());
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dictionary, const void** keys,
                                  const void** values) {
    for (const auto& [key, value] : std::get<fake::Entries>(object(dictionary)->value)) {
        *keys++ = key;
        *values++ = value;
    }
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    return std::holds_alternative<double>(object(number)->value);
}

// Asked for as what it holds (std::get throws otherwise): int64 or double.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value) {
    const auto& held = object(number)->value;
    if (type == kCFNumberDoubleType) *static_cast<double*>(value) = std::get<double>(held);
    if (type == kCFNumberSInt64Type) *static_cast<std::int64_t*>(value) = std::get<1>(held);
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
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    return true;
}

CFRunLoopRef CFRunLoopGetCurrent(void) {
    return nullptr;  // the one the fake runs
}

void CFRunLoopAddSource(CFRunLoopRef, CFRunLoopSourceRef source, CFRunLoopMode mode) {
    // Only the default mode runs while the program waits for events.
    reinterpret_cast<AmporaCompatIONotificationPort*>(source)->onRunLoop =
        mode == kCFRunLoopDefaultMode;
}

IONotificationPortRef IONotificationPortCreate(mach_port_t) {
    if (fake::fails("port")) return nullptr;
    ++state().world.ioReferences;
    return &state().ports.emplace_back();
}

void IONotificationPortDestroy(IONotificationPortRef) {
    --state().world.ioReferences;
}

CFRunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPortRef port) {
    return fake::fails("source") ? nullptr : reinterpret_cast<CFRunLoopSourceRef>(port);
}

CFMutableDictionaryRef IOServiceMatching(const char*) {
    return fake::dictionary({});  // any power source matches
}

kern_return_t IOServiceAddMatchingNotification(IONotificationPortRef port, const io_name_t,
                                               CFDictionaryRef matching,
                                               IOServiceMatchingCallback callback, void* refCon,
                                               io_iterator_t* iterator) {
    CFRelease(matching);  // consumed, whatever the outcome
    if (fake::fails("match")) return fake::kIOReturnError;
    ++state().world.ioReferences;
    const auto self = static_cast<io_iterator_t>(state().handles.size());
    *iterator = fake::add(
        {.references = 1, .call = [=](std::uint32_t) { callback(refCon, self); }, .port = port});
    return KERN_SUCCESS;
}

kern_return_t IOServiceAddInterestNotification(IONotificationPortRef port, io_service_t service,
                                               const io_name_t, IOServiceInterestCallback callback,
                                               void* refCon, io_object_t* notification) {
    if (fake::fails("interest")) return fake::kIOReturnError;
    ++state().world.ioReferences;
    *notification =
        fake::add({.references = 1,
                   .call = [=](std::uint32_t type) { callback(refCon, service, type, nullptr); },
                   .service = service,
                   .port = port});
    return KERN_SUCCESS;
}

// Entries in the order they were published; there is one iterator at a time.
io_object_t IOIteratorNext(io_iterator_t) {
    if (state().unseen.empty()) return 0;
    const io_object_t entry = state().unseen.front();
    state().unseen.pop_front();
    ++state().handles[entry].references;
    ++state().world.ioReferences;
    return entry;
}

kern_return_t IOObjectRelease(io_object_t handle) {
    --state().handles[handle].references;
    --state().world.ioReferences;
    return KERN_SUCCESS;
}

kern_return_t IORegistryEntryCreateCFProperties(io_registry_entry_t entry,
                                                CFMutableDictionaryRef* properties,
                                                CFAllocatorRef allocator, IOOptionBits options) {
    const fake::Handle& h = state().handles[entry];
    if (!h.properties || h.references <= 0 || allocator || options) return fake::kIOReturnError;
    ++state().world.cfReferences;  // a new reference for the caller, as Create promises
    *properties = reinterpret_cast<CFMutableDictionaryRef>(h.properties);
    return KERN_SUCCESS;
}

Boolean SMLoginItemSetEnabled(CFStringRef identifier, Boolean enabled) {
    state().world.loginItems.push_back(std::get<std::string>(object(identifier)->value) +
                                       (enabled ? " on" : " off"));
    return !fake::fails("login item");
}

}  // extern "C"
