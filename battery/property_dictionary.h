#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace ampora {

// A registry value of a type the battery reader has no use for (a nested dictionary, data, a
// date, ...). Kept so that "present but not a number" stays distinguishable from "absent".
struct OtherObject {
    bool operator==(const OtherObject&) const = default;
};

// One value of a power source's property dictionary. Booleans are their own type: the number 1
// is not the boolean true.
using PropertyValue = std::variant<std::int64_t, double, bool, std::string, OtherObject>;

// The portable form of a registry entry's property dictionary. Platform adapters convert their
// native dictionary into this one; the reader needs nothing else from the platform.
class PropertyDictionary {
  public:
    PropertyDictionary() = default;

    void set(std::string key, PropertyValue value);
    void erase(std::string_view key);

    // Nothing (nullptr) when the key is missing. The pointer stays valid until the dictionary is
    // changed or destroyed.
    const PropertyValue* lookup(std::string_view key) const;

    std::size_t size() const { return values_.size(); }
    bool empty() const { return values_.empty(); }

    bool operator==(const PropertyDictionary&) const = default;

  private:
    std::map<std::string, PropertyValue, std::less<>> values_;
};

// The platform's "number to signed 32-bit" conversion. Nothing for a value that is not a number.
// Integers keep their low 32 bits (two's complement); floating-point numbers are truncated toward
// zero and saturated at the int32 limits; NaN gives 0.
std::optional<std::int32_t> toInt32(const PropertyValue& value);

// True only for the boolean true; the number 1 or the text "true" are not it.
bool isBooleanTrue(const PropertyValue* value);

}  // namespace ampora
