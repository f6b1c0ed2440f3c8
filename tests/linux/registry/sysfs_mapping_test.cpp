// What a battery's sysfs attributes become in the registry's units, including what buggy or
// unusual drivers write.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <variant>

#include "platform/linux/registry/sysfs_properties.h"

namespace ampora {
namespace {

using Attributes = std::map<std::string, std::string, std::less<>>;

// Each value as a number (booleans as 0/1, texts as their length); nothing when absent.
struct Mapped {
    explicit Mapped(const Attributes& attributes, bool externalPowerOnline = false)
        : properties(batteryPropertiesFromSysfs(
              [&](std::string_view name) -> std::optional<std::string> {
                  const auto found = attributes.find(name);
                  if (found == attributes.end()) return std::nullopt;
                  return found->second;
              },
              externalPowerOnline)) {}

    std::optional<std::int64_t> operator[](std::string_view key) const {
        const PropertyValue* value = properties.lookup(key);
        if (value == nullptr) return std::nullopt;
        if (const bool* flag = std::get_if<bool>(value)) return *flag;
        if (const auto* text = std::get_if<std::string>(value))
            return static_cast<std::int64_t>(text->size());
        return std::get<std::int64_t>(*value);
    }

    PropertyDictionary properties;
};

const Attributes kLaptopOnBattery = {
    {"status", "Discharging"},    {"present", "1"},
    {"current_now", "1234000"},   {"charge_now", "3000000"},
    {"charge_full", "4000000"},   {"charge_full_design", "5000000"},
    {"cycle_count", "321"},       {"temp", "301"},
    {"manufacture_year", "2012"}, {"manufacture_month", "11"},
    {"manufacture_day", "7"},     {"time_to_empty_now", "5400"},
    {"time_to_full_now", "60"},   {"serial_number", "  AMP-0042 \n"},
};

TEST(SysfsMapping, LaptopOnBatteryGivesEveryFigureInRegistryUnits) {
    const Mapped p(kLaptopOnBattery);
    EXPECT_EQ(p["Amperage"], -1234);
    EXPECT_EQ(p["InstantAmperage"], -1234);
    EXPECT_EQ(p["CurrentCapacity"], 3000);
    EXPECT_EQ(p["MaxCapacity"], 4000);
    EXPECT_EQ(p["DesignCapacity"], 5000);
    EXPECT_EQ(p["CycleCount"], 321);
    EXPECT_EQ(p["Temperature"], 3010);
    EXPECT_EQ(p["ManufactureDate"], 16743);
    EXPECT_EQ(p["TimeRemaining"], 90);
    EXPECT_EQ(p["IsCharging"], false);
    EXPECT_EQ(p["BatteryInstalled"], true);
    EXPECT_EQ(p["ExternalConnected"], false);
    EXPECT_EQ(std::get<std::string>(*p.properties.lookup("BatterySerialNumber")), "AMP-0042");
}

// Most ACPI drivers report an unsigned current, some a signed one: the status decides.
TEST(SysfsMapping, ChargingLaptopShowsAPositiveCurrentWhateverSignTheDriverUses) {
    for (const char* current : {"850000", "-850000"}) {
        Attributes battery = kLaptopOnBattery;
        battery["status"] = "Charging";
        battery["current_now"] = current;
        const Mapped charging(battery, true);
        EXPECT_EQ(charging["Amperage"], 850) << current;
        EXPECT_EQ(charging["IsCharging"], true);
        EXPECT_EQ(charging["ExternalChargeCapable"], true);
        EXPECT_EQ(charging["TimeRemaining"], 1);  // time to full, while charging
        battery["status"] = "Discharging";
        battery["current_avg"] = current;  // preferred over the momentary value
        battery["current_now"] = "1";
        EXPECT_EQ(Mapped(battery)["Amperage"], -850) << current;
    }
}

TEST(SysfsMapping, EnergyOnlyBatteryIsConvertedAtItsDesignVoltage) {
    Attributes battery = {{"status", "Discharging"},          {"energy_now", "48000000"},
                          {"energy_full", "60000000"},        {"energy_full_design", "66000000"},
                          {"voltage_min_design", "12000000"}, {"voltage_now", "11000000"},
                          {"power_now", "22000000"}};
    const Mapped p(battery);
    EXPECT_EQ(p["CurrentCapacity"], 4000);
    EXPECT_EQ(p["MaxCapacity"], 5000);
    EXPECT_EQ(p["DesignCapacity"], 5500);
    EXPECT_EQ(p["Amperage"], -2000);  // power over the present voltage
    battery.erase("voltage_min_design");
    EXPECT_EQ(Mapped(battery)["CurrentCapacity"], 4363);
    battery["voltage_now"] = "0";
    EXPECT_EQ(Mapped(battery)["CurrentCapacity"], std::nullopt);
    EXPECT_EQ(Mapped(battery)["Amperage"], std::nullopt);
}

// Empty, non-numeric, out of range, or negative where that means nothing: the key is left out
// and nothing else is disturbed.
TEST(SysfsMapping, GarbageAttributesLeaveOnlyTheirOwnKeysOut) {
    for (const char* value :
         {"", "abc", "12abc", " 12", "+12", "0x10", "1.5", "99999999999999999999999",
          "9223372036854775807", "-9223372036854775808"}) {
        Attributes battery = kLaptopOnBattery;
        for (const char* name :
             {"current_now", "charge_now", "charge_full", "charge_full_design", "cycle_count",
              "temp", "manufacture_year", "time_to_empty_now", "time_to_full_now", "present"}) {
            battery[name] = value;
        }
        const Mapped p(battery);
        for (const char* key : {"Amperage", "InstantAmperage", "CurrentCapacity", "MaxCapacity",
                                "DesignCapacity", "CycleCount", "Temperature", "ManufactureDate",
                                "TimeRemaining", "BatteryInstalled"}) {
            EXPECT_EQ(p[key], std::nullopt) << key << " from \"" << value << '"';
        }
        EXPECT_EQ(p["IsCharging"], false);
        EXPECT_NE(p["BatterySerialNumber"], std::nullopt);
    }
    Attributes battery = kLaptopOnBattery;
    for (const char* name : {"charge_now", "cycle_count", "time_to_empty_now"})
        battery[name] = "-1";
    battery["serial_number"] = "   ";
    battery["temp"] = "-105";  // a frozen battery is no garbage
    const Mapped p(battery);
    EXPECT_EQ(p["CurrentCapacity"], std::nullopt);
    EXPECT_EQ(p["CycleCount"], std::nullopt);
    EXPECT_EQ(p["TimeRemaining"], 1);
    EXPECT_EQ(p["BatterySerialNumber"], std::nullopt);
    EXPECT_EQ(p["Temperature"], -1050);
}

TEST(SysfsMapping, ManufactureDateOnlyForYearsThePackedFormCanHold) {
    auto packed = [](const char* year, const char* month, const char* day) {
        Attributes battery = kLaptopOnBattery;
        battery["manufacture_year"] = year;
        battery["manufacture_month"] = month;
        battery["manufacture_day"] = day;
        return Mapped(battery)["ManufactureDate"];
    };
    EXPECT_EQ(packed("1980", "1", "1"), (1 << 5) | 1);
    EXPECT_EQ(packed("2107", "12", "31"), (127 << 9) | (12 << 5) | 31);
    EXPECT_EQ(packed("1979", "12", "31"), std::nullopt);
    EXPECT_EQ(packed("2108", "1", "1"), std::nullopt);
    // Fields that don't fit their bits are dropped, never spill into the year.
    EXPECT_EQ(packed("2012", "16", "40"), 32 << 9);
    EXPECT_EQ(packed("2012", "13", "-1"), (32 << 9) | (13 << 5));
}

}  // namespace
}  // namespace ampora
