// Arbitrary attribute sets and values through the sysfs mapping, then the reader and the report.
// Input: one byte, whose low bit says whether external power is online, then "name=value" lines.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "battery/battery_report.h"
#include "battery/read_battery_properties.h"
#include "platform/linux/registry/sysfs_properties.h"

namespace {

std::map<std::string, std::string, std::less<>> parseAttributes(std::string_view text) {
    std::map<std::string, std::string, std::less<>> attributes;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = text.substr(0, end);
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            attributes.insert_or_assign(std::string(line), std::string());
        } else {
            attributes.insert_or_assign(std::string(line.substr(0, equals)),
                                        std::string(line.substr(equals + 1)));
        }
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return attributes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool externalPowerOnline = (data[0] & 1) != 0;
    const auto attributes =
        parseAttributes(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

    const auto properties = ampora::batteryPropertiesFromSysfs(
        [&attributes](std::string_view name) -> std::optional<std::string> {
            const auto found = attributes.find(name);
            if (found == attributes.end()) return std::nullopt;
            return found->second;
        },
        externalPowerOnline);

    // The mapping promises numbers the reader can take without truncation.
    for (const char* key :
         {"Amperage", "InstantAmperage", "CurrentCapacity", "MaxCapacity", "DesignCapacity",
          "CycleCount", "Temperature", "ManufactureDate", "TimeRemaining"}) {
        const ampora::PropertyValue* value = properties.lookup(key);
        if (value == nullptr) continue;
        const auto* number = std::get_if<std::int64_t>(value);
        if (number == nullptr || *number < std::numeric_limits<std::int32_t>::min() ||
            *number > std::numeric_limits<std::int32_t>::max()) {
            __builtin_trap();
        }
    }

    ampora::IOPMBattery record{};
    ampora::readBatteryProperties(record, properties);
    const auto report = ampora::makeBatteryReport(record);
    if (report.title.empty()) __builtin_trap();
    return 0;
}
