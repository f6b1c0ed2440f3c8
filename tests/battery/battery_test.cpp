// From a power source's property dictionary to the texts the user reads.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>

#include "battery/battery_report.h"
#include "battery/read_battery_properties.h"
#include "laptop_battery.h"

namespace ampora {
namespace {

enum Line { kUsage, kCapacity, kDate = 4, kTemperature, kCharge };

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
        &IOPMBattery::location,        &IOPMBattery::invalidWakeSeconds};
    std::istringstream keys(
        "ManufactureDate Temperature CurrentCapacity MaxCapacity DesignCapacity TimeRemaining "
        "InstantAmperage Amperage MaxErr CycleCount Location BatteryInvalidWakeSeconds");
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
    for (int i = 0; i < 12; ++i) EXPECT_EQ(record.*fields[i], 100 + i);
    EXPECT_EQ(record.permanentFailureStatus, 0xFFFFFFFFu);
    EXPECT_TRUE(record.externalConnected && record.isCharging);
    EXPECT_FALSE(record.externalChargeCapable || record.batteryInstalled || record.errorCondition);
    EXPECT_EQ(record.serialNumber, std::get_if<std::string>(right.lookup("BatterySerialNumber")));
    EXPECT_EQ(*record.chargeStatus, "ChargeStatus");

    for (const PropertyDictionary& properties : {PropertyDictionary{}, wrong}) {
        const IOPMBattery nothing = read(properties);
        // Drivers that omit it still mean 16 seconds.
        for (int i = 0; i < 12; ++i) EXPECT_EQ(nothing.*fields[i], i == 11 ? 16 : 0) << i;
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
        {&IOPMBattery::designCapacity, 0, kCapacity, "\t4000 mAh (inf% of Original)"},
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

// 0/0 sets the sign bit on x86: still "nan", never "-nan".
TEST(BatteryReport, DriverPublishesNoProperties) {
    const BatteryReport report = makeBatteryReport(read(PropertyDictionary{}));
    EXPECT_EQ(report.title, "0");
    EXPECT_EQ(report.pairs[kCapacity].value, "\t0 mAh (nan% of Original)");
    EXPECT_EQ(report.pairs[kDate].value, "\t00/00/1980");
    EXPECT_EQ(report.pairs[kCharge].value, "\t0 (nan% Charged)");
}

}  // namespace
}  // namespace ampora
