#include "fake_frameworks.h"

#include <ServiceManagement/ServiceManagement.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

// The port type is opaque in the declarations; this is the fake's.
struct AmporaCompatIONotificationPort {
    bool destroyed = false;
    bool onRunLoop = false;
    int sourceTag = 0;
};

// The callback tables are opaque to the code under test.
struct CFDictionaryKeyCallBacks {
    int unused;
};
struct CFDictionaryValueCallBacks {
    int unused;
};

namespace fake {
namespace {

enum TypeId : CFTypeID { kString = 1, kNumber, kBoolean, kDictionary, kOpaque };

struct Object {
    explicit Object(CFTypeID t) : type(t) {}
    virtual ~Object() = default;
    CFTypeID type;
    int refs = 1;
    bool immortal = false;  // constants: never counted, never freed
};

struct String : Object {
    explicit String(std::string t) : Object(kString), text(std::move(t)) {}
    std::string text;
};

struct Number : Object {
    Number() : Object(kNumber) {}
    bool isFloat = false;
    std::int64_t integer = 0;
    double real = 0.0;
};

struct Bool : Object {
    explicit Bool(bool v) : Object(kBoolean), value(v) { immortal = true; }
    bool value;
};

struct Dictionary : Object {
    Dictionary() : Object(kDictionary) {}
    std::vector<std::pair<Object*, Object*>> entries;  // each side holds a reference
};

struct Opaque : Object {
    Opaque() : Object(kOpaque) {}
};

struct IOObject {
    enum Kind { kEntry, kIterator, kNotification };
    explicit IOObject(Kind k) : kind(k) {}
    Kind kind;
    int refs = 0;
    int baseRefs = 0;  // references the fake registry holds itself
    // entries
    std::string className;
    Object* properties = nullptr;  // one reference, held by the registry
    // iterators and notifications
    AmporaCompatIONotificationPort* port = nullptr;
    void* refCon = nullptr;
    IOServiceMatchingCallback matchingCallback = nullptr;
    IOServiceInterestCallback interestCallback = nullptr;
    std::vector<io_object_t> pending;  // iterators: entries not yet handed out
    bool armed = false;                // iterators: drained, so the next match is announced
    io_object_t service = 0;           // notifications: the entry watched
};

}  // namespace

}  // namespace fake

namespace fake {
namespace {

struct RunLoop {
    int tag = 0;
};

struct World {
    Frameworks frameworks;
    std::vector<std::unique_ptr<Object>> objects;  // every CF object ever made, freed on reset
    std::unordered_map<const void*, Object*> byAddress;
    std::map<io_object_t, IOObject> io;
    io_object_t nextHandle = 0x1000;
    std::vector<std::unique_ptr<AmporaCompatIONotificationPort>> ports;
    RunLoop currentLoop;
};

World& world() {
    static World w;
    return w;
}

Bool& trueValue() {
    static Bool value(true);
    return value;
}
Bool& falseValue() {
    static Bool value(false);
    return value;
}
struct ImmortalString : String {
    explicit ImmortalString(std::string t) : String(std::move(t)) { immortal = true; }
};
String& defaultMode() {
    static ImmortalString mode("kCFRunLoopDefaultMode");
    return mode;
}

void fault(std::string what) {
    world().frameworks.faults.push_back(std::move(what));
}

template <typename T>
T* adopt(std::unique_ptr<T> object) {
    T* raw = object.get();
    world().byAddress[raw] = raw;
    world().objects.push_back(std::move(object));
    return raw;
}

Object* lookup(CFTypeRef ref, const char* call) {
    if (!ref) {
        fault(std::string(call) + ": null object");
        return nullptr;
    }
    if (ref == &trueValue()) return &trueValue();
    if (ref == &falseValue()) return &falseValue();
    if (ref == &defaultMode()) return &defaultMode();
    auto found = world().byAddress.find(ref);
    if (found == world().byAddress.end()) {
        fault(std::string(call) + ": not a CF object");
        return nullptr;
    }
    if (found->second->refs <= 0) {
        fault(std::string(call) + ": object used after its last release");
        return nullptr;
    }
    return found->second;
}

template <typename T>
T* lookupAs(CFTypeRef ref, CFTypeID type, const char* call) {
    Object* object = lookup(ref, call);
    if (!object) return nullptr;
    if (object->type != type) {
        fault(std::string(call) + ": wrong type");
        return nullptr;
    }
    return static_cast<T*>(object);
}

void retain(Object* object) {
    if (object && !object->immortal) ++object->refs;
}

void release(Object* object);

void freeContents(Object* object) {
    if (object->type != kDictionary) return;
    auto* dictionary = static_cast<Dictionary*>(object);
    for (auto& [key, value] : dictionary->entries) {
        release(key);
        release(value);
    }
    dictionary->entries.clear();
}

void release(Object* object) {
    if (!object || object->immortal) return;
    if (object->refs <= 0) {
        fault("CFRelease: object released once too often");
        return;
    }
    if (--object->refs == 0) freeContents(object);
}

bool sameKey(const Object* a, const Object* b) {
    if (a == b) return true;
    if (a->type != kString || b->type != kString) return false;
    return static_cast<const String*>(a)->text == static_cast<const String*>(b)->text;
}

IOObject* ioLookup(io_object_t handle, const char* call) {
    auto found = world().io.find(handle);
    if (found == world().io.end()) {
        fault(std::string(call) + ": unknown IOKit handle");
        return nullptr;
    }
    return &found->second;
}

io_object_t newIOObject(IOObject object) {
    const io_object_t handle = world().nextHandle++;
    world().io.emplace(handle, std::move(object));
    return handle;
}

bool live(const IOObject& notification) {
    return notification.refs > 0 && notification.port && !notification.port->destroyed;
}

bool delivers(const IOObject& notification) {
    return live(notification) && notification.port->onRunLoop;
}

std::optional<std::string> providerClass(CFDictionaryRef matching) {
    auto* dictionary =
        lookupAs<Dictionary>(matching, kDictionary, "IOServiceAddMatchingNotification");
    if (!dictionary) return std::nullopt;
    for (auto& [key, value] : dictionary->entries) {
        if (key->type == kString && static_cast<String*>(key)->text == "IOProviderClass" &&
            value->type == kString) {
            return static_cast<String*>(value)->text;
        }
    }
    return std::nullopt;
}

}  // namespace

Frameworks& frameworks() {
    return world().frameworks;
}

void reset() {
    World& w = world();
    w.frameworks = Frameworks{};
    w.io.clear();
    w.byAddress.clear();
    w.objects.clear();
    w.ports.clear();
}

io_object_t publish(const std::string& className, CFMutableDictionaryRef properties) {
    IOObject entry{IOObject::kEntry};
    entry.refs = entry.baseRefs = 1;
    entry.className = className;
    entry.properties = properties ? lookup(properties, "publish") : nullptr;
    const io_object_t handle = newIOObject(std::move(entry));

    std::vector<io_object_t> iterators;
    for (auto& [h, object] : world().io) {
        if (object.kind == IOObject::kIterator && live(object) && object.className == className) {
            object.pending.push_back(handle);
            // IOKit announces a match only once the iterator has been drained.
            if (object.port->onRunLoop && object.armed) iterators.push_back(h);
        }
    }
    for (io_object_t h : iterators) {
        IOObject& iterator = world().io.at(h);
        iterator.armed = false;
        iterator.matchingCallback(iterator.refCon, h);
    }
    return handle;
}

void setProperties(io_object_t entry, CFMutableDictionaryRef properties) {
    IOObject* found = ioLookup(entry, "setProperties");
    if (!found || found->kind != IOObject::kEntry) return;
    release(found->properties);
    found->properties = properties ? lookup(properties, "setProperties") : nullptr;
}

void sendMessage(io_object_t entry, std::uint32_t messageType) {
    std::vector<io_object_t> targets;
    for (auto& [h, object] : world().io) {
        if (object.kind == IOObject::kNotification && object.service == entry && delivers(object)) {
            targets.push_back(h);
        }
    }
    for (io_object_t h : targets) {
        IOObject& notification = world().io.at(h);
        notification.interestCallback(notification.refCon, entry, messageType, nullptr);
    }
}

int heldCFReferences() {
    // References the fake accounts for: those of live dictionaries to their contents, and the
    // registry's own to each published entry's properties.
    std::unordered_map<const Object*, int> expected;
    for (const auto& object : world().objects) {
        if (object->refs <= 0 || object->type != kDictionary) continue;
        for (const auto& [key, value] : static_cast<const Dictionary*>(object.get())->entries) {
            ++expected[key];
            ++expected[value];
        }
    }
    for (const auto& [h, object] : world().io) {
        if (object.properties) ++expected[object.properties];
    }
    int held = 0;
    for (const auto& object : world().objects) {
        held += std::max(0, object->refs - expected[object.get()]);
    }
    return held;
}

int heldIOReferences() {
    int count = 0;
    for (const auto& [h, object] : world().io) count += object.refs - object.baseRefs;
    return count;
}

int livePorts() {
    return static_cast<int>(std::count_if(world().ports.begin(), world().ports.end(),
                                          [](const auto& port) { return !port->destroyed; }));
}

CFStringRef makeString(const std::string& text) {
    return CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                                   static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false);
}

CFNumberRef makeInt(std::int64_t value, CFNumberType type) {
    switch (type) {
        case kCFNumberSInt8Type: {
            const auto v = static_cast<std::int8_t>(value);
            return CFNumberCreate(kCFAllocatorDefault, type, &v);
        }
        case kCFNumberSInt16Type: {
            const auto v = static_cast<std::int16_t>(value);
            return CFNumberCreate(kCFAllocatorDefault, type, &v);
        }
        case kCFNumberSInt32Type: {
            const auto v = static_cast<std::int32_t>(value);
            return CFNumberCreate(kCFAllocatorDefault, type, &v);
        }
        default:
            return CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &value);
    }
}

CFNumberRef makeDouble(double value) {
    return CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &value);
}

CFTypeRef makeOpaque() {
    return adopt(std::make_unique<Opaque>());
}

CFMutableDictionaryRef makeDictionary() {
    return CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

void put(CFMutableDictionaryRef dictionary, const std::string& key, CFTypeRef value) {
    CFStringRef keyString = makeString(key);
    CFDictionarySetValue(dictionary, keyString, value);
    CFRelease(keyString);
    CFRelease(value);
}

}  // namespace fake

using fake::Dictionary;
using fake::Number;
using fake::Object;
using fake::String;

// ---- CoreFoundation ----

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFRunLoopMode kCFRunLoopDefaultMode = reinterpret_cast<CFStringRef>(&fake::defaultMode());
const CFBooleanRef kCFBooleanTrue = reinterpret_cast<CFBooleanRef>(&fake::trueValue());
const CFBooleanRef kCFBooleanFalse = reinterpret_cast<CFBooleanRef>(&fake::falseValue());
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{0};

CFTypeRef CFRetain(CFTypeRef cf) {
    fake::retain(fake::lookup(cf, "CFRetain"));
    return cf;
}

void CFRelease(CFTypeRef cf) {
    if (!cf) {
        fake::fault("CFRelease: null");  // the real one crashes
        return;
    }
    auto found = fake::world().byAddress.find(cf);
    if (found == fake::world().byAddress.end()) {
        if (cf != &fake::trueValue() && cf != &fake::falseValue() && cf != &fake::defaultMode()) {
            fake::fault("CFRelease: not a CF object");
        }
        return;
    }
    fake::release(found->second);
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
    Object* object = fake::lookup(cf, "CFGetTypeID");
    return object ? object->type : 0;
}

CFTypeID CFDictionaryGetTypeID(void) {
    return fake::kDictionary;
}
CFTypeID CFNumberGetTypeID(void) {
    return fake::kNumber;
}
CFTypeID CFBooleanGetTypeID(void) {
    return fake::kBoolean;
}
CFTypeID CFStringGetTypeID(void) {
    return fake::kString;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dict) {
    auto* d = fake::lookupAs<Dictionary>(dict, fake::kDictionary, "CFDictionaryGetCount");
    return d ? static_cast<CFIndex>(d->entries.size()) : 0;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, const void** keys, const void** values) {
    auto* d = fake::lookupAs<Dictionary>(dict, fake::kDictionary, "CFDictionaryGetKeysAndValues");
    if (!d) return;
    for (std::size_t i = 0; i < d->entries.size(); ++i) {
        if (keys) keys[i] = d->entries[i].first;
        if (values) values[i] = d->entries[i].second;
    }
}

const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key) {
    auto* d = fake::lookupAs<Dictionary>(dict, fake::kDictionary, "CFDictionaryGetValue");
    Object* k = fake::lookup(key, "CFDictionaryGetValue");
    if (!d || !k) return nullptr;
    for (auto& [entryKey, value] : d->entries) {
        if (fake::sameKey(entryKey, k)) return value;
    }
    return nullptr;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex,
                                                 const CFDictionaryKeyCallBacks*,
                                                 const CFDictionaryValueCallBacks*) {
    return reinterpret_cast<CFMutableDictionaryRef>(fake::adopt(std::make_unique<Dictionary>()));
}

void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key, const void* value) {
    auto* d = fake::lookupAs<Dictionary>(dict, fake::kDictionary, "CFDictionarySetValue");
    Object* k = fake::lookup(key, "CFDictionarySetValue");
    Object* v = fake::lookup(value, "CFDictionarySetValue");
    if (!d || !k || !v) return;
    fake::retain(v);
    for (auto& [entryKey, entryValue] : d->entries) {
        if (fake::sameKey(entryKey, k)) {
            fake::release(entryValue);
            entryValue = v;
            return;
        }
    }
    fake::retain(k);
    d->entries.emplace_back(k, v);
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
    auto number = std::make_unique<Number>();
    switch (theType) {
        case kCFNumberSInt8Type:
        case kCFNumberCharType:
            number->integer = *static_cast<const std::int8_t*>(valuePtr);
            break;
        case kCFNumberSInt16Type:
        case kCFNumberShortType:
            number->integer = *static_cast<const std::int16_t*>(valuePtr);
            break;
        case kCFNumberSInt32Type:
        case kCFNumberIntType:
            number->integer = *static_cast<const std::int32_t*>(valuePtr);
            break;
        case kCFNumberFloat32Type:
        case kCFNumberFloatType:
            number->isFloat = true;
            number->real = *static_cast<const float*>(valuePtr);
            break;
        case kCFNumberFloat64Type:
        case kCFNumberDoubleType:
        case kCFNumberCGFloatType:
            number->isFloat = true;
            number->real = *static_cast<const double*>(valuePtr);
            break;
        default:
            number->integer = *static_cast<const std::int64_t*>(valuePtr);
            break;
    }
    return reinterpret_cast<CFNumberRef>(fake::adopt(std::move(number)));
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    auto* n = fake::lookupAs<Number>(number, fake::kNumber, "CFNumberIsFloatType");
    return n && n->isFloat;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
    auto* n = fake::lookupAs<Number>(number, fake::kNumber, "CFNumberGetValue");
    if (!n) return false;
    switch (theType) {
        case kCFNumberSInt64Type:
        case kCFNumberLongLongType: {
            const std::int64_t v = n->isFloat ? static_cast<std::int64_t>(n->real) : n->integer;
            std::memcpy(valuePtr, &v, sizeof v);
            return !n->isFloat || static_cast<double>(v) == n->real;
        }
        case kCFNumberFloat64Type:
        case kCFNumberDoubleType: {
            const double v = n->isFloat ? n->real : static_cast<double>(n->integer);
            std::memcpy(valuePtr, &v, sizeof v);
            return true;
        }
        default:
            fake::fault("CFNumberGetValue: type the fake doesn't model");
            return false;
    }
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    Object* object = fake::lookup(boolean, "CFBooleanGetValue");
    return object && object->type == fake::kBoolean && static_cast<fake::Bool*>(object)->value;
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean) {
    if (encoding != kCFStringEncodingUTF8) fake::fault("CFStringCreateWithBytes: not UTF-8");
    std::string text(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(numBytes));
    return reinterpret_cast<CFStringRef>(fake::adopt(std::make_unique<String>(std::move(text))));
}

CFIndex CFStringGetLength(CFStringRef theString) {
    auto* s = fake::lookupAs<String>(theString, fake::kString, "CFStringGetLength");
    if (!s) return 0;
    // UTF-16 code units, as CF counts: one per character, two beyond the basic plane.
    CFIndex units = 0;
    for (unsigned char byte : s->text) {
        if ((byte & 0xC0) != 0x80) ++units;
        if (byte >= 0xF0) ++units;
    }
    return units;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
    if (encoding != kCFStringEncodingUTF8) return -1;
    return length * 3;
}

const char* CFStringGetCStringPtr(CFStringRef, CFStringEncoding) {
    return nullptr;  // allowed at any time, and forces the copying path
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
    auto* s = fake::lookupAs<String>(theString, fake::kString, "CFStringGetCString");
    if (!s || encoding != kCFStringEncodingUTF8) return false;
    if (static_cast<CFIndex>(s->text.size()) + 1 > bufferSize) return false;
    std::memcpy(buffer, s->text.c_str(), s->text.size() + 1);
    return true;
}

CFRunLoopRef CFRunLoopGetCurrent(void) {
    return reinterpret_cast<CFRunLoopRef>(&fake::world().currentLoop);
}

void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFRunLoopMode mode) {
    if (rl != CFRunLoopGetCurrent()) {
        fake::fault("CFRunLoopAddSource: not the current run loop");
        return;
    }
    String* modeName = fake::lookupAs<String>(mode, fake::kString, "CFRunLoopAddSource");
    fake::frameworks().runLoopModes.push_back(modeName ? modeName->text : "?");
    for (auto& port : fake::world().ports) {
        if (reinterpret_cast<CFRunLoopSourceRef>(&port->sourceTag) == source) {
            // Only the default mode runs while the program waits for events.
            port->onRunLoop = mode == kCFRunLoopDefaultMode;
            return;
        }
    }
    fake::fault("CFRunLoopAddSource: unknown source");
}

// ---- IOKit ----

IONotificationPortRef IONotificationPortCreate(mach_port_t mainPort) {
    fake::frameworks().portsCreatedOnMainPort.push_back(mainPort);
    fake::world().ports.push_back(std::make_unique<AmporaCompatIONotificationPort>());
    return fake::world().ports.back().get();
}

void IONotificationPortDestroy(IONotificationPortRef notify) {
    for (auto& port : fake::world().ports) {
        if (port.get() == notify) {
            if (port->destroyed) fake::fault("IONotificationPortDestroy: destroyed twice");
            port->destroyed = true;
            return;
        }
    }
    fake::fault("IONotificationPortDestroy: unknown port");
}

CFRunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPortRef notify) {
    if (!fake::frameworks().portHasRunLoopSource) return nullptr;
    return reinterpret_cast<CFRunLoopSourceRef>(&notify->sourceTag);
}

CFMutableDictionaryRef IOServiceMatching(const char* name) {
    CFMutableDictionaryRef matching = fake::makeDictionary();
    fake::put(matching, "IOProviderClass", fake::makeString(name));
    return matching;
}

kern_return_t IOServiceAddMatchingNotification(IONotificationPortRef notifyPort,
                                               const io_name_t notificationType,
                                               CFDictionaryRef matching,
                                               IOServiceMatchingCallback callback, void* refCon,
                                               io_iterator_t* notification) {
    const std::optional<std::string> className = fake::providerClass(matching);
    CFRelease(matching);  // consumed, whatever the outcome
    fake::frameworks().matchingClasses.push_back(className.value_or("?"));
    fake::frameworks().matchingTypes.push_back(notificationType);
    if (fake::frameworks().matchingResult != KERN_SUCCESS) {
        return fake::frameworks().matchingResult;
    }
    if (std::string(notificationType) != kIOFirstMatchNotification || !className) {
        return fake::kIOReturnNotFound;
    }

    fake::IOObject iterator{fake::IOObject::kIterator};
    iterator.refs = 1;
    iterator.className = *className;
    iterator.port = notifyPort;
    iterator.refCon = refCon;
    iterator.matchingCallback = callback;
    for (const auto& [handle, object] : fake::world().io) {
        if (object.kind == fake::IOObject::kEntry && object.className == *className) {
            iterator.pending.push_back(handle);
        }
    }
    *notification = fake::newIOObject(std::move(iterator));
    return KERN_SUCCESS;
}

kern_return_t IOServiceAddInterestNotification(IONotificationPortRef notifyPort,
                                               io_service_t service, const io_name_t interestType,
                                               IOServiceInterestCallback callback, void* refCon,
                                               io_object_t* notification) {
    fake::frameworks().interestTypes.push_back(interestType);
    fake::IOObject* entry = fake::ioLookup(service, "IOServiceAddInterestNotification");
    if (!entry || entry->refs <= 0) return fake::kIOReturnNotFound;
    if (fake::frameworks().interestResult != KERN_SUCCESS) return fake::frameworks().interestResult;

    fake::IOObject object{fake::IOObject::kNotification};
    object.refs = 1;
    object.port = notifyPort;
    object.refCon = refCon;
    object.interestCallback = callback;
    object.service = service;
    *notification = fake::newIOObject(std::move(object));
    return KERN_SUCCESS;
}

io_object_t IOIteratorNext(io_iterator_t iterator) {
    fake::IOObject* it = fake::ioLookup(iterator, "IOIteratorNext");
    if (!it || it->kind != fake::IOObject::kIterator) return 0;
    if (it->pending.empty()) {
        it->armed = true;
        return 0;
    }
    const io_object_t entry = it->pending.front();
    it->pending.erase(it->pending.begin());
    ++fake::world().io.at(entry).refs;  // the caller owns what the iterator hands out
    return entry;
}

kern_return_t IOObjectRelease(io_object_t object) {
    fake::IOObject* found = fake::ioLookup(object, "IOObjectRelease");
    if (!found) return fake::kIOReturnNotFound;
    if (found->refs <= found->baseRefs) {
        fake::fault("IOObjectRelease: released once too often");
        return fake::kIOReturnNotFound;
    }
    --found->refs;
    return KERN_SUCCESS;
}

kern_return_t IORegistryEntryCreateCFProperties(io_registry_entry_t entry,
                                                CFMutableDictionaryRef* properties,
                                                CFAllocatorRef allocator, IOOptionBits options) {
    fake::frameworks().propertyOptions.push_back(options);
    if (allocator != kCFAllocatorDefault)
        fake::frameworks().propertiesAskedWithOtherAllocator = true;
    fake::IOObject* found = fake::ioLookup(entry, "IORegistryEntryCreateCFProperties");
    if (!found || found->kind != fake::IOObject::kEntry || !found->properties) {
        return fake::kIOReturnNoResources;
    }
    fake::retain(found->properties);  // a new reference for the caller, as Create promises
    *properties = reinterpret_cast<CFMutableDictionaryRef>(found->properties);
    return KERN_SUCCESS;
}

// ---- ServiceManagement ----

Boolean SMLoginItemSetEnabled(CFStringRef identifier, Boolean enabled) {
    auto* s = fake::lookupAs<String>(identifier, fake::kString, "SMLoginItemSetEnabled");
    fake::frameworks().loginItemCalls.emplace_back(s ? s->text : "?", enabled != 0);
    return fake::frameworks().loginItemResult;
}

}  // extern "C"
