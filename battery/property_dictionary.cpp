#include "battery/property_dictionary.h"

#include <cmath>
#include <limits>

namespace ampora {

void PropertyDictionary::set(std::string key, PropertyValue value) {
    values_.insert_or_assign(std::move(key), std::move(value));
}

void PropertyDictionary::erase(std::string_view key) {
    if (auto it = values_.find(key); it != values_.end()) values_.erase(it);
}

const PropertyValue* PropertyDictionary::lookup(std::string_view key) const {
    auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
}

namespace {

std::int32_t lowWord(std::int64_t value) {
    // Modular since C++20; the same as the platform's conversion of a wide number.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::int32_t truncateSaturated(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483649.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);  // in range after truncation toward zero
}

}  // namespace

std::optional<std::int32_t> toInt32(const PropertyValue& value) {
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return lowWord(*integer);
    if (const auto* real = std::get_if<double>(&value)) return truncateSaturated(*real);
    return std::nullopt;
}

bool isBooleanTrue(const PropertyValue* value) {
    const auto* flag = value ? std::get_if<bool>(value) : nullptr;
    return flag && *flag;
}

}  // namespace ampora
