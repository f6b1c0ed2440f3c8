// From a power source's property dictionary to the texts the user reads.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>

#include "battery/battery_report.h"
#include "battery/read_battery_properties.h"
#include "laptop_battery.h"

namespace ampora {
namespace {

using I = std::int64_t;
enum Line { kUsage, kCapacity, kOriginal, kCycles, kDate, kTemperature, kCharge };

IOPMBattery read(const PropertyDictionary& properties) {
    IOPMBattery record{};
    readBatteryProperties(record, properties);
    return record;
}

// Byte for byte what the C locale gives (the monitor's menu test has the texts), in a locale
// that writes "," for "."; the user's locale is back afterwards.
TEST(BatteryReport, LaptopReadsTheSameInEveryLocale) {
    const BatteryReport inC = makeBatteryReport(read(testing::laptopBatteryProperties()));
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    const BatteryReport inGerman = makeBatteryReport(read(testing::laptopBatteryProperties()));
    char half[8];
    std::snprintf(half, sizeof half, "%.1f", 0.5);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(inGerman.title, inC.title);
    EXPECT_EQ(inGerman.pairs, inC.pairs);
    EXPECT_EQ(half[1], ',');
}

// Distinct values catch swapped keys; texts are borrowed from the dictionary, not copied. A value
// of the wrong type counts as missing: a boolean or a text is no number, the number 1 no boolean.
TEST(BatteryReading, EveryPropertyReachesItsOwnFieldWhenItHasTheRightType) {
    std::int32_t IOPMBattery::*const fields[] = {
        &IOPMBattery::manufactureDate, &IOPMBattery::temperature,
        &IOPMBattery::currentCapacity, &IOPMBattery::maxCapacity,
        &IOPMBattery::designCapacity,  &IOPMBattery::timeRemaining,
        &IOPMBattery::instantAmperage, &IOPMBattery::amperage,
        &IOPMBattery::maxErr,          &IOPMBattery::cycleCount,
        &IOPMBattery::location,        &IOPMBattery::invalidWakeSeconds,
        &IOPMBattery::chargeLevel,     &IOPMBattery::healthLevel};
    std::istringstream keys(
        "ManufactureDate Temperature CurrentCapacity MaxCapacity DesignCapacity TimeRemaining "
        "InstantAmperage Amperage MaxErr CycleCount Location BatteryInvalidWakeSeconds "
        "ChargeLevel HealthLevel");
    PropertyDictionary right, wrong;
    I value = 100;
    for (std::string key; keys >> key; ++value) {
        right.set(key, value);
        wrong.set(key, value % 2 ? PropertyValue{true} : PropertyValue{std::to_string(value)});
    }
    for (const char* flag : {"ExternalConnected", "IsCharging"}) {
        right.set(flag, true);
        wrong.set(flag, I{1});
    }
    for (const char* text : {"BatterySerialNumber", "ChargeStatus", "ErrorCondition"}) {
        right.set(text, std::string(text));
        wrong.set(text, OtherObject{});
    }
    right.erase("ErrorCondition");
    right.set("PermanentFailureStatus", I{-1});
    wrong.set("PermanentFailureStatus", OtherObject{});

    const IOPMBattery record = read(right);
    for (int i = 0; i < 14; ++i) EXPECT_EQ(record.*fields[i], 100 + i);
    EXPECT_EQ(record.permanentFailureStatus, 0xFFFFFFFFu);
    EXPECT_TRUE(record.externalConnected && record.isCharging);
    EXPECT_FALSE(record.externalChargeCapable || record.batteryInstalled || record.errorCondition);
    EXPECT_EQ(record.serialNumber, std::get_if<std::string>(right.lookup("BatterySerialNumber")));
    EXPECT_EQ(*record.chargeStatus, "ChargeStatus");

    for (const PropertyDictionary& properties : {PropertyDictionary{}, wrong}) {
        const IOPMBattery nothing = read(properties);
        // Drivers that omit it still mean 16 seconds.
        for (int i = 0; i < 14; ++i) EXPECT_EQ(nothing.*fields[i], i == 11 ? 16 : 0) << i;
        EXPECT_EQ(nothing.permanentFailureStatus | nothing.externalConnected | nothing.isCharging,
                  0u);
        EXPECT_FALSE(nothing.serialNumber || nothing.chargeStatus || nothing.errorCondition);
    }
}

// One property of the laptop battery changed, or left out (nothing): charging, worn, frozen and
// odd batteries. What the source leaves out reads as unknown, never as a made-up 0, date, nan or
// inf; numbers convert as the platform converts them.
TEST(BatteryReport, OnePropertyChangedOrLeftOut) {
    const std::string nr = "\tNot reported";
    const struct {
        const char* key;
        std::optional<PropertyValue> value;
        Line line;
        std::string text;
        const char* leftOut = "";
    } cases[] = {
        {"Amperage", I{850}, kUsage, "\t-850 mAh (milliampere-hour)"},
        {"Amperage", std::nullopt, kUsage, nr},
        // Wider integers keep their low 32 bits (a 32-bit wrapped discharge); reals are truncated
        // and saturated, NaN reads as 0; the most negative current is negated without overflow.
        {"Amperage", I{0xFFFFFB2E}, kUsage, "\t1234 mAh (milliampere-hour)"},
        {"Amperage", -1234.9, kUsage, "\t1234 mAh (milliampere-hour)"},
        {"Amperage", 2147483648.0, kUsage, "\t-2147483647 mAh (milliampere-hour)"},
        {"Amperage", -2147483649.0, kUsage, "\t2147483648 mAh (milliampere-hour)"},
        {"Amperage", std::nan(""), kUsage, "\t0 mAh (milliampere-hour)"},
        // no share of a design of 0, none above 100 %, none of a negative charge
        {"DesignCapacity", I{0}, kCapacity, "\t4000 mAh"},
        {"DesignCapacity", I{0}, kOriginal, nr},
        {"DesignCapacity", I{3999}, kCapacity, "\t4000 mAh (100.00% of Original)"},
        {"MaxCapacity", std::nullopt, kCapacity, nr},
        {"MaxCapacity", I{0}, kCharge, "\t3000"},
        {"MaxCapacity", I{1}, kCharge, "\t3000 (100.00% Charged)"},
        {"CurrentCapacity", I{-5}, kCharge, "\t-5"},
        {"CurrentCapacity", I{0}, kCharge, "\t0 (0.00% Charged)"},
        {"CurrentCapacity", std::nullopt, kCharge, nr},
        // single precision rounds this one differently from the exact ratio
        {"CurrentCapacity", I{2873}, kCharge, "\t2873 (71.82% Charged)"},
        {"CycleCount", std::nullopt, kCycles, nr},
        // no calendar check: month 13, day 0; only the low 16 bits are the date
        {"ManufactureDate", I{(32 << 9) | (13 << 5)}, kDate, "\t00/13/2012"},
        {"ManufactureDate", I{(32 << 9) | (10 << 5) | 10}, kDate, "\t10/10/2012"},
        {"ManufactureDate", I{-1}, kDate, "\t31/15/2107"},
        {"ManufactureDate", std::nullopt, kDate, nr},
        {"Temperature", I{-1050}, kTemperature, "\t-10.50\u00B0C  (13.10 \u00B0F)"},
        {"Temperature", I{50}, kTemperature, "\t.50\u00B0C  (32.90 \u00B0F)"},
        // under a tenth of a degree: read like the neighbours above
        {"Temperature", I{-5}, kTemperature, "\t-.05\u00B0C  (31.91 \u00B0F)"},
        {"Temperature", I{0}, kTemperature, "\t.00\u00B0C  (32.00 \u00B0F)"},
        {"Temperature", I{INT32_MIN}, kTemperature,
         "\t-21474836.48\u00B0C  (-38654672.80 \u00B0F)"},
        {"Temperature", std::nullopt, kTemperature, nr},
        // gauges that know their levels better than the mAh tell
        {"ChargeLevel", I{4125}, kCharge, "\t3000 (41.25% Charged)"},
        {"ChargeLevel", I{10001}, kCharge, "\t100.00% Charged", "CurrentCapacity"},
        {"ChargeLevel", I{-1}, kCharge, nr, "CurrentCapacity"},
        {"ChargeLevel", I{0}, kCharge, "\t3000 (0.00% Charged)"},
        {"HealthLevel", I{9999}, kCapacity, "\t99.99% of Original", "MaxCapacity"},
    };
    for (const auto& c : cases) {
        PropertyDictionary properties = testing::laptopBatteryProperties();
        properties.erase(c.key);
        properties.erase(c.leftOut);
        if (c.value) properties.set(c.key, *c.value);
        const BatteryReport report = makeBatteryReport(read(properties));
        EXPECT_EQ(report.pairs[c.line].value, c.text) << c.key << " " << c.text;
        const std::string& usage = report.pairs[kUsage].value;
        EXPECT_EQ(report.title, usage == nr ? "\u2014" : usage.substr(1, usage.find(' ') - 1));
    }
}

}  // namespace
}  // namespace ampora
