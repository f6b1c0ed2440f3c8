// From a power source's property dictionary to the texts the user reads.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "battery/battery_report.h"
#include "battery/read_battery_properties.h"
#include "laptop_battery.h"

namespace ampora {
namespace {

enum Line { kUsage, kCapacity, kOriginal, kCycles, kDate, kTemperature, kCharge };

IOPMBattery read(const PropertyDictionary& properties) {
    IOPMBattery record{};
    readBatteryProperties(record, properties);
    return record;
}

// Byte for byte, with the degree sign spelled out in UTF-8, whatever the user's locale.
TEST(BatteryReport, LaptopDischargingReadsTheSameInEveryLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        if (!std::setlocale(LC_ALL, locale)) GTEST_SKIP() << locale << " is not installed";
        const BatteryReport report = makeBatteryReport(read(testing::laptopBatteryProperties()));
        EXPECT_EQ(report.title, "1234");
        const ReportLine expected[] = {
            {"Current Usage:", "\t1234 mAh (milliampere-hour)"},
            {"Current Capacity:", "\t4000 mAh (80.00% of Original)"},
            {"Original Capacity:", "\t5000 mAh"},
            {"Number of Charge Cycles:", "\t321"},
            {"Manufacture Date:", "\t07/11/2012"},
            {"Temperature:",
             "\t30.12\xC2\xB0"
             "C  (86.22 \xC2\xB0"
             "F)"},
            {"Current Charge:", "\t3000 (75.00% Charged)"},
        };
        for (int i = 0; i < 7; ++i) EXPECT_EQ(report.pairs[i], expected[i]) << locale;
        // ... and the user's own locale is back afterwards.
        char half[8];
        std::snprintf(half, sizeof half, "%.1f", 0.5);
        EXPECT_EQ(half[1], *locale == 'C' ? '.' : ',');
    }
    std::setlocale(LC_ALL, saved.c_str());
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
    // Which of the shown figures were reported.
    const auto reported = [](const IOPMBattery& r) {
        return std::vector<unsigned>{
            r.hasManufactureDate, r.hasTemperature,    r.hasCurrentCapacity,
            r.hasMaxCapacity,     r.hasDesignCapacity, r.hasAmperage,
            r.hasCycleCount,      r.hasChargeLevel,    r.hasHealthLevel};
    };
    PropertyDictionary right, wrong;
    std::int64_t value = 100;
    for (std::string key; keys >> key; ++value) {
        right.set(key, value);
        wrong.set(key, value % 2 ? PropertyValue{true} : PropertyValue{std::to_string(value)});
    }
    for (const char* flag : {"ExternalConnected", "IsCharging"}) {
        right.set(flag, true);
        wrong.set(flag, std::int64_t{1});
    }
    for (const char* text : {"BatterySerialNumber", "ChargeStatus", "ErrorCondition"}) {
        right.set(text, std::string(text));
        wrong.set(text, OtherObject{});
    }
    right.erase("ErrorCondition");
    right.set("PermanentFailureStatus", std::int64_t{-1});
    wrong.set("PermanentFailureStatus", OtherObject{});

    const IOPMBattery record = read(right);
    for (int i = 0; i < 14; ++i) EXPECT_EQ(record.*fields[i], 100 + i);
    EXPECT_EQ(reported(record), std::vector<unsigned>(9, 1));
    EXPECT_EQ(record.permanentFailureStatus, 0xFFFFFFFFu);
    EXPECT_TRUE(record.externalConnected && record.isCharging);
    EXPECT_FALSE(record.externalChargeCapable || record.batteryInstalled || record.errorCondition);
    EXPECT_EQ(record.serialNumber, std::get_if<std::string>(right.lookup("BatterySerialNumber")));
    EXPECT_EQ(*record.chargeStatus, "ChargeStatus");

    for (const PropertyDictionary& properties : {PropertyDictionary{}, wrong}) {
        const IOPMBattery nothing = read(properties);
        // Drivers that omit it still mean 16 seconds.
        for (int i = 0; i < 14; ++i) EXPECT_EQ(nothing.*fields[i], i == 11 ? 16 : 0) << i;
        EXPECT_EQ(reported(nothing), std::vector<unsigned>(9, 0));
        EXPECT_EQ(nothing.permanentFailureStatus | nothing.externalConnected | nothing.isCharging,
                  0u);
        EXPECT_FALSE(nothing.serialNumber || nothing.chargeStatus || nothing.errorCondition);
    }
}

// Wider integers keep their low 32 bits; reals are truncated and saturated, NaN reads as 0.
TEST(BatteryReading, NumbersConvertAsThePlatformConvertsThem) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::pair<PropertyValue, std::int32_t> cases[] = {
        {std::int64_t{0xFFFFFB2E}, -1234},  // a 32-bit wrapped discharge
        {std::int64_t{0x1'0000'0005}, 5},
        {std::int64_t{2147483648}, INT32_MIN},
        {-1234.9, -1234},
        {2147483647.9, INT32_MAX},
        {2147483648.0, INT32_MAX},
        {-2147483648.9, INT32_MIN},
        {-2147483649.0, INT32_MIN},
        {inf, INT32_MAX},
        {-inf, INT32_MIN},
        {std::nan(""), 0}};
    for (const auto& [value, expected] : cases) {
        PropertyDictionary properties;
        properties.set("Amperage", value);
        EXPECT_EQ(read(properties).amperage, expected) << ::testing::PrintToString(value);
    }
}

// One figure of the laptop battery changed at a time.
TEST(BatteryReport, OddFiguresFromChargingWornFrozenOrUnknownBatteries) {
    struct Case {
        std::int32_t IOPMBattery::*field;
        std::int32_t value;
        Line line;
        const char* text;
    };
    const Case cases[] = {
        {&IOPMBattery::amperage, 850, kUsage, "\t-850 mAh (milliampere-hour)"},
        {&IOPMBattery::amperage, INT32_MAX, kUsage, "\t-2147483647 mAh (milliampere-hour)"},
        // a negation that must not overflow
        {&IOPMBattery::amperage, INT32_MIN, kUsage, "\t2147483648 mAh (milliampere-hour)"},
        // no share of a design of 0, none above 100 %, none of a negative charge
        {&IOPMBattery::designCapacity, 0, kCapacity, "\t4000 mAh"},
        {&IOPMBattery::designCapacity, 0, kOriginal, "\tNot reported"},
        {&IOPMBattery::designCapacity, 3999, kCapacity, "\t4000 mAh (100.00% of Original)"},
        {&IOPMBattery::currentCapacity, 4001, kCharge, "\t4001 (100.00% Charged)"},
        {&IOPMBattery::currentCapacity, -5, kCharge, "\t-5"},
        {&IOPMBattery::maxCapacity, 0, kCharge, "\t3000"},
        {&IOPMBattery::maxCapacity, 1, kCharge, "\t3000 (100.00% Charged)"},
        // single precision rounds this one differently from the exact ratio
        {&IOPMBattery::currentCapacity, 2873, kCharge, "\t2873 (71.82% Charged)"},
        // no calendar check: month 13, day 0; only the low 16 bits are the date
        {&IOPMBattery::manufactureDate, (32 << 9) | (13 << 5) | 0, kDate, "\t00/13/2012"},
        {&IOPMBattery::manufactureDate, (32 << 9) | (10 << 5) | 10, kDate, "\t10/10/2012"},
        {&IOPMBattery::manufactureDate, -1, kDate, "\t31/15/2107"},
        {&IOPMBattery::temperature, -1050, kTemperature, "\t-10.50\u00B0C  (13.10 \u00B0F)"},
        {&IOPMBattery::temperature, 50, kTemperature, "\t.50\u00B0C  (32.90 \u00B0F)"},
        // under a tenth of a degree: read like the neighbours above
        {&IOPMBattery::temperature, 5, kTemperature, "\t.05\u00B0C  (32.09 \u00B0F)"},
        {&IOPMBattery::temperature, -5, kTemperature, "\t-.05\u00B0C  (31.91 \u00B0F)"},
        {&IOPMBattery::temperature, 0, kTemperature, "\t.00\u00B0C  (32.00 \u00B0F)"},
        {&IOPMBattery::temperature, INT32_MIN, kTemperature,
         "\t-21474836.48\u00B0C  (-38654672.80 \u00B0F)"},
    };
    for (const Case& c : cases) {
        IOPMBattery record = read(testing::laptopBatteryProperties());
        record.*c.field = c.value;
        const BatteryReport report = makeBatteryReport(record);
        EXPECT_EQ(report.pairs[c.line].value, c.text) << c.value;
        EXPECT_EQ("\t" + report.title + " mAh (milliampere-hour)", report.pairs[kUsage].value);
    }
}

// What the power source leaves out is said to be unknown, never a made-up 0, date, nan or inf; a
// level it reports itself is shown as it is.
TEST(BatteryReport, FiguresThePowerSourceDoesNotReport) {
    struct Case {
        std::vector<const char*> leftOut;
        std::vector<std::pair<const char*, std::int64_t>> added;
        Line line;
        const char* text;
    };
    const Case cases[] = {
        {{"Temperature"}, {}, kTemperature, "\tNot reported"},
        {{"ManufactureDate"}, {}, kDate, "\tNot reported"},
        {{"CycleCount"}, {}, kCycles, "\tNot reported"},
        {{"DesignCapacity"}, {}, kCapacity, "\t4000 mAh"},
        {{"MaxCapacity"}, {}, kCapacity, "\tNot reported"},
        {{"MaxCapacity"}, {}, kCharge, "\t3000"},
        {{"CurrentCapacity"}, {}, kCharge, "\tNot reported"},
        {{"Amperage"}, {}, kUsage, "\tNot reported"},
        // gauges that know their levels better than the mAh tell
        {{}, {{"ChargeLevel", 4125}, {"HealthLevel", 7500}}, kCharge, "\t3000 (41.25% Charged)"},
        {{}, {{"HealthLevel", 7500}}, kCapacity, "\t4000 mAh (75.00% of Original)"},
        {{"CurrentCapacity"}, {{"ChargeLevel", 10001}}, kCharge, "\t100.00% Charged"},
        {{"MaxCapacity"}, {{"HealthLevel", 9999}}, kCapacity, "\t99.99% of Original"},
        {{"CurrentCapacity"}, {{"ChargeLevel", -1}}, kCharge, "\tNot reported"},
    };
    for (const Case& c : cases) {
        PropertyDictionary properties = testing::laptopBatteryProperties();
        for (const char* key : c.leftOut) properties.erase(key);
        for (const auto& [key, value] : c.added) properties.set(key, value);
        const BatteryReport report = makeBatteryReport(read(properties));
        EXPECT_EQ(report.pairs[c.line].value, c.text) << c.line;
        EXPECT_EQ(report.title,
                  c.leftOut == std::vector<const char*>{"Amperage"} ? "\u2014" : "1234");
    }
}

TEST(BatteryReport, DriverPublishesNoProperties) {
    const BatteryReport report = makeBatteryReport(read(PropertyDictionary{}));
    EXPECT_EQ(report.title, "\u2014");
    for (const ReportLine& line : report.pairs) EXPECT_EQ(line.value, "\tNot reported");
}

}  // namespace
}  // namespace ampora
