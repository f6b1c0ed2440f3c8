// What a battery's sysfs attributes become in the registry's units, including what buggy or
// unusual drivers write. The registry itself runs end to end, on simulated power supplies.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/linux/power/sysfs_properties.h"

namespace ampora {
namespace {

const std::string kLaptop =
    "status=Discharging present=1 current_now=1234000 charge_now=3000000 charge_full=4000000 "
    "charge_full_design=5000000 cycle_count=321 temp=301 manufacture_year=2012 "
    "manufacture_month=11 manufacture_day=7 time_to_empty_now=5400 time_to_full_now=60";
const std::string kEnergyOnly =
    "status=Discharging energy_now=48000000 energy_full=60000000 energy_full_design=66000000 "
    "voltage_min_design=12000000 voltage_now=11000000 power_now=22000000";

// "name=value name=value ..."
std::vector<std::pair<std::string, std::string>> pairs(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> result;
    std::istringstream in(text);
    for (std::string pair; in >> pair;) {
        const auto equals = pair.find('=');
        result.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
    }
    return result;
}

// The registry keys named in `keys` as "Key=value", value "none" when the key is left out.
std::string describe(const PropertyDictionary& properties, const std::string& keys) {
    std::string shown;
    for (const auto& [key, ignored] : pairs(keys)) {
        const PropertyValue* value = properties.lookup(key);
        shown += (shown.empty() ? "" : " ") + key + "=";
        if (value == nullptr) {
            shown += "none";
        } else if (const bool* flag = std::get_if<bool>(value)) {
            shown += *flag ? "true" : "false";
        } else if (const auto* text = std::get_if<std::string>(value)) {
            shown += *text;
        } else {
            shown += std::to_string(std::get<std::int64_t>(*value));
        }
    }
    return shown;
}

// The mapping of a battery's attributes (a later value of a name wins; the serial number is
// padded unless given), described as above.
std::string mapped(const std::string& battery, const std::string& keys, bool online = false) {
    std::map<std::string, std::string, std::less<>> attributes = {
        {"serial_number", "  AMP-0042 \n"}};
    for (const auto& [name, value] : pairs(battery)) attributes[name] = value;
    return describe(batteryPropertiesFromSysfs(
                        [&](std::string_view name) -> std::optional<std::string> {
                            const auto found = attributes.find(name);
                            if (found == attributes.end()) return std::nullopt;
                            return found->second;
                        },
                        online),
                    keys);
}

TEST(SysfsMapping, BatteriesGiveTheirFiguresInRegistryUnits) {
    struct Case {
        std::string battery;
        bool online;
        std::string expected;
    };
    const Case cases[] = {
        {kLaptop, false,
         "Amperage=-1234 InstantAmperage=-1234 CurrentCapacity=3000 MaxCapacity=4000 "
         "DesignCapacity=5000 CycleCount=321 Temperature=3010 ManufactureDate=16743 "
         "TimeRemaining=90 IsCharging=false BatteryInstalled=true ExternalConnected=false "
         "ExternalChargeCapable=false BatterySerialNumber=AMP-0042"},
        // Most ACPI drivers report an unsigned current, some a signed one: the status decides.
        // While charging, the time remaining is the time to full.
        {kLaptop + " status=Charging current_now=850000", true,
         "Amperage=850 IsCharging=true ExternalConnected=true ExternalChargeCapable=true "
         "TimeRemaining=1"},
        {kLaptop + " status=Charging current_now=-850999", true,
         "Amperage=850 InstantAmperage=850"},
        {kLaptop + " current_avg=850000 current_now=1", false, "Amperage=-850 InstantAmperage=0"},
        // Energy over the design voltage (the present one drifts with the charge), power over
        // the present voltage.
        {kEnergyOnly, false,
         "CurrentCapacity=4000 MaxCapacity=5000 DesignCapacity=5500 Amperage=-2000"},
        {kEnergyOnly + " voltage_min_design=0", false, "CurrentCapacity=4363"},
        {kEnergyOnly + " voltage_min_design=1000000 energy_full=2147483647000", false,
         "MaxCapacity=2147483647"},
        // The largest energy that can be scaled without overflowing 64 bits.
        {kEnergyOnly + " energy_now=18446744073709551 voltage_min_design=10000000000", false,
         "CurrentCapacity=1844674407"},
        {kEnergyOnly + " voltage_min_design= voltage_now=0", false,
         "CurrentCapacity=none Amperage=none"},
        // Negative where that means nothing.
        {kLaptop + " charge_now=-1 cycle_count=-1 time_to_empty_now=-1 serial_number= present=0",
         false,
         "CurrentCapacity=none CycleCount=none TimeRemaining=1 BatterySerialNumber=none "
         "BatteryInstalled=false"},
        // A frozen battery is no garbage, down to the coldest figure that fits.
        {kLaptop + " temp=-214748364 cycle_count=0", false, "Temperature=-2147483640 CycleCount=0"},
        // The largest figures that still fit 32 bits.
        {kLaptop + " charge_full=2147483647999 cycle_count=2147483647 temp=214748364 "
                   "time_to_empty_now=128849018820",
         false,
         "MaxCapacity=2147483647 CycleCount=2147483647 Temperature=2147483640 "
         "TimeRemaining=2147483647"},
        // Only years the packed date can hold; a field that doesn't fit its bits is dropped.
        {kLaptop + " manufacture_year=1980 manufacture_month=1 manufacture_day=1", false,
         "ManufactureDate=33"},
        {kLaptop + " manufacture_year=2107 manufacture_month=12 manufacture_day=31", false,
         "ManufactureDate=65439"},
        {kLaptop + " manufacture_year=1979", false, "ManufactureDate=none"},
        {kLaptop + " manufacture_year=2108", false, "ManufactureDate=none"},
        {kLaptop + " manufacture_month=16 manufacture_day=40", false, "ManufactureDate=16384"},
        {kLaptop + " manufacture_month=13 manufacture_day=-1", false, "ManufactureDate=16800"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mapped(c.battery, c.expected, c.online), c.expected) << c.battery;
    }
}

// Empty, non-numeric or out of range: the key is left out and nothing else is disturbed.
TEST(SysfsMapping, GarbageAttributesLeaveOnlyTheirOwnKeysOut) {
    const std::string leftOut =
        "Amperage=none InstantAmperage=none CurrentCapacity=none MaxCapacity=none "
        "DesignCapacity=none CycleCount=none Temperature=none ManufactureDate=none "
        "TimeRemaining=none BatteryInstalled=none IsCharging=false BatterySerialNumber=AMP-0042";
    for (const std::string value :
         {"", "abc", "12abc", "+12", "0x10", "1.5", "99999999999999999999999",
          "9223372036854775807", "-9223372036854775808"}) {
        std::string battery = kLaptop;
        for (const char* name :
             {"current_now", "charge_now", "charge_full", "charge_full_design", "cycle_count",
              "temp", "manufacture_year", "time_to_empty_now", "time_to_full_now", "present"}) {
            battery += " " + std::string(name) + "=" + value;
        }
        EXPECT_EQ(mapped(battery, leftOut), leftOut) << '"' << value << '"';
    }
}

}  // namespace
}  // namespace ampora
