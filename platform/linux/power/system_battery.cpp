#include "platform/linux/power/system_battery.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

namespace ampora {
namespace {

using Field = std::optional<std::int64_t> BatteryFigures::*;

std::optional<std::int64_t> total(const std::vector<BatteryFigures>& batteries, Field field) {
    std::int64_t sum = 0;
    for (const BatteryFigures& battery : batteries) {
        if (!(battery.*field)) return std::nullopt;
        sum += *(battery.*field);  // each fits 32 bits: no overflow for any number of packs
    }
    if (sum < std::numeric_limits<std::int32_t>::min() ||
        sum > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return sum;
}

// The largest (or with `lowest`, the smallest) that any battery reports.
std::optional<std::int64_t> extreme(const std::vector<BatteryFigures>& batteries, Field field,
                                    bool lowest = false) {
    std::optional<std::int64_t> found;
    for (const BatteryFigures& battery : batteries) {
        const auto value = battery.*field;
        if (value && (!found || (lowest ? *value < *found : *value > *found))) found = value;
    }
    return found;
}

// The packs' levels weighed by their capacities (all alike where some capacity is unknown),
// rounded to the nearest; nothing unless every pack has one.
std::optional<std::int64_t> weighed(const std::vector<BatteryFigures>& batteries, Field level,
                                    Field capacity) {
    const bool byCapacity = total(batteries, capacity).has_value();
    std::int64_t sum = 0;
    std::int64_t weights = 0;
    for (const BatteryFigures& battery : batteries) {
        if (!(battery.*level)) return std::nullopt;
        const std::int64_t weight = byCapacity ? *(battery.*capacity) : 1;
        sum += *(battery.*level) * weight;  // at most 10000 x 2^31 per pack
        weights += weight;
    }
    if (weights <= 0) return std::nullopt;
    return (2 * sum + weights) / (2 * weights);
}

}  // namespace

PropertyDictionary systemBatteryProperties(std::vector<BatteryFigures> batteries,
                                           bool externalPowerOnline) {
    // Where the battery doesn't tell, it charges on external power and feeds the system without.
    for (BatteryFigures& battery : batteries) {
        if (battery.current && battery.currentUndirected && !externalPowerOnline) {
            battery.current = -*battery.current;
        }
    }
    PropertyDictionary properties;
    const auto set = [&properties](const char* key, std::optional<std::int64_t> value) {
        if (value) properties.set(key, *value);
    };
    if (!batteries.empty()) {
        const auto current = total(batteries, &BatteryFigures::current);
        set("Amperage", current);
        set("InstantAmperage", current);
        const auto charge = total(batteries, &BatteryFigures::charge);
        const auto full = total(batteries, &BatteryFigures::fullCharge);
        set("CurrentCapacity", charge);
        set("MaxCapacity", full);
        set("DesignCapacity", total(batteries, &BatteryFigures::designCharge));
        set("ChargeLevel",
            weighed(batteries, &BatteryFigures::chargeLevel, &BatteryFigures::fullCharge));
        set("HealthLevel",
            weighed(batteries, &BatteryFigures::healthLevel, &BatteryFigures::designCharge));
        set("CycleCount", extreme(batteries, &BatteryFigures::cycleCount));
        set("Temperature", extreme(batteries, &BatteryFigures::temperature));
        set("ManufactureDate", extreme(batteries, &BatteryFigures::manufactureDate, true));
        properties.set("IsCharging", std::any_of(batteries.begin(), batteries.end(),
                                                 [](const auto& b) { return b.charging; }));
        // A pair has no one serial number or time estimate.
        if (batteries.size() == 1) {
            const BatteryFigures& only = batteries.front();
            set("TimeRemaining", only.timeRemaining);
            if (only.installed) properties.set("BatteryInstalled", *only.installed);
            if (only.serialNumber) properties.set("BatterySerialNumber", *only.serialNumber);
        } else {
            properties.set("BatteryInstalled", true);
        }
    }
    properties.set("ExternalConnected", externalPowerOnline);
    properties.set("ExternalChargeCapable", externalPowerOnline);
    return properties;
}

}  // namespace ampora
