#include "platform/macos/cf_property_dictionary.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace ampora::macos {

namespace {

constexpr std::string_view kBatteryDataKey = "BatteryData";

PropertyValue numberValue(CFNumberRef number) {
    if (CFNumberIsFloatType(number)) {
        double value = 0.0;
        CFNumberGetValue(number, kCFNumberDoubleType, &value);
        return value;
    }
    // Every integer type CF holds fits in 64 bits.
    std::int64_t value = 0;
    CFNumberGetValue(number, kCFNumberSInt64Type, &value);
    return value;
}

PropertyValue toPropertyValue(CFTypeRef value) {
    if (!value) return OtherObject{};
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFNumberGetTypeID()) return numberValue(static_cast<CFNumberRef>(value));
    if (type == CFBooleanGetTypeID()) return value == kCFBooleanTrue;  // the two are singletons
    if (type == CFStringGetTypeID()) {
        if (std::optional<std::string> text = toStdString(value)) return std::move(*text);
    }
    return OtherObject{};
}

bool isDictionary(CFTypeRef value) {
    return value && CFGetTypeID(value) == CFDictionaryGetTypeID();
}

// Converts the entries of one dictionary level; batteryData (if given) receives the converted
// "BatteryData" sub-dictionary when there is one.
PropertyDictionary convertLevel(CFDictionaryRef dictionary, PropertyDictionary* batteryData) {
    PropertyDictionary result;
    if (!dictionary) return result;
    const CFIndex count = CFDictionaryGetCount(dictionary);
    if (count <= 0) return result;

    std::vector<const void*> keys(static_cast<std::size_t>(count));
    std::vector<const void*> values(static_cast<std::size_t>(count));
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::optional<std::string> key = toStdString(keys[i]);
        if (!key) continue;
        if (batteryData && *key == kBatteryDataKey && isDictionary(values[i])) {
            *batteryData = convertLevel(static_cast<CFDictionaryRef>(values[i]), nullptr);
        }
        result.set(std::move(*key), toPropertyValue(values[i]));
    }
    return result;
}

bool isNumber(const PropertyValue* value) {
    return value &&
           (std::holds_alternative<std::int64_t>(*value) || std::holds_alternative<double>(*value));
}

struct RawCapacitySource {
    bool inBatteryData;
    std::string_view key;
};

// Where the mAh values live, best first: top level on Intel and Apple Silicon, only inside
// "BatteryData" on the newest systems.
constexpr std::array<RawCapacitySource, 3> kRawCurrentCapacity{{
    {false, "AppleRawCurrentCapacity"},
    {true, "AppleRawCurrentCapacity"},
    {true, "RemainingCapacity"},
}};
constexpr std::array<RawCapacitySource, 3> kRawMaxCapacity{{
    {false, "AppleRawMaxCapacity"},
    {true, "AppleRawMaxCapacity"},
    {true, "FullChargeCapacity"},
}};

void fillFromRaw(PropertyDictionary& properties, const PropertyDictionary& batteryData,
                 std::string key, const std::array<RawCapacitySource, 3>& sources) {
    for (const RawCapacitySource& source : sources) {
        const PropertyValue* raw =
            (source.inBatteryData ? batteryData : properties).lookup(source.key);
        if (isNumber(raw)) {
            PropertyValue value = *raw;
            properties.set(std::move(key), std::move(value));
            return;
        }
    }
}

// A packed date fits 16 bits. Anything else under that name is in an encoding no public source
// explains (current systems keep such a value inside "BatteryData"): no date to show.
void keepOnlyPackedDate(PropertyDictionary& properties) {
    constexpr std::string_view kKey = "ManufactureDate";
    const PropertyValue* date = properties.lookup(kKey);
    const auto* packed = date ? std::get_if<std::int64_t>(date) : nullptr;
    if (date && (!packed || *packed < 0 || *packed > 0xFFFF)) properties.erase(kKey);
}

}  // namespace

std::optional<std::string> toStdString(CFTypeRef value) {
    if (!value || CFGetTypeID(value) != CFStringGetTypeID()) return std::nullopt;
    const auto text = static_cast<CFStringRef>(value);
    const CFIndex size =
        CFStringGetMaximumSizeForEncoding(CFStringGetLength(text), kCFStringEncodingUTF8);
    if (size < 0) return std::nullopt;  // too long to encode
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
    if (!CFStringGetCString(text, buffer.data(), static_cast<CFIndex>(buffer.size()),
                            kCFStringEncodingUTF8)) {
        return std::nullopt;
    }
    return std::string(buffer.data());
}

PropertyDictionary toPropertyDictionary(CFDictionaryRef dictionary) {
    PropertyDictionary batteryData;
    PropertyDictionary properties = convertLevel(dictionary, &batteryData);
    fillFromRaw(properties, batteryData, "CurrentCapacity", kRawCurrentCapacity);
    fillFromRaw(properties, batteryData, "MaxCapacity", kRawMaxCapacity);
    keepOnlyPackedDate(properties);
    return properties;
}

}  // namespace ampora::macos
