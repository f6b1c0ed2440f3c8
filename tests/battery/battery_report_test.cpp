#include <clocale>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "battery/battery_report.h"
#include "battery/read_battery_properties.h"
#include "laptop_battery.h"

namespace ampora {
namespace {

enum Line { kUsage, kCapacity, kOriginal, kCycles, kDate, kTemperature, kCharge };

IOPMBattery workedExample() {
    IOPMBattery record{};
    record.amperage = -1234;
    record.currentCapacity = 3000;
    record.maxCapacity = 4000;
    record.designCapacity = 5000;
    record.cycleCount = 321;
    record.manufactureDate = 16743;
    record.temperature = 3012;
    return record;
}

std::string line(const IOPMBattery& record, Line which) {
    return makeBatteryReport(record).pairs[which].value;
}

void expectWorkedExample(const BatteryReport& report) {
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
    for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(report.pairs[i], expected[i]);
}

TEST(BatteryReport, LaptopDischargingOnBattery) {
    const PropertyDictionary properties = testing::laptopBatteryProperties();
    IOPMBattery record{};
    readBatteryProperties(record, properties);
    expectWorkedExample(makeBatteryReport(record));
}

TEST(BatteryReport, DriverPublishesNoProperties) {
    IOPMBattery record{};
    readBatteryProperties(record, PropertyDictionary{});
    const BatteryReport report = makeBatteryReport(record);
    EXPECT_EQ(report.title, "0");
    EXPECT_EQ(report.pairs[kUsage].value, "\t0 mAh (milliampere-hour)");
    EXPECT_EQ(report.pairs[kCapacity].value, "\t0 mAh (nan% of Original)");
    EXPECT_EQ(report.pairs[kDate].value, "\t00/00/1980");
    EXPECT_EQ(report.pairs[kTemperature].value,
              "\t.00\xC2\xB0"
              "C  (32.00 \xC2\xB0"
              "F)");
    EXPECT_EQ(report.pairs[kCharge].value, "\t0 (nan% Charged)");
}

TEST(BatteryReport, ChargingShowsNegativeDraw) {
    IOPMBattery record = workedExample();
    record.amperage = 850;
    EXPECT_EQ(makeBatteryReport(record).title, "-850");
    record.amperage = INT32_MIN;  // a negation that must not overflow
    const BatteryReport report = makeBatteryReport(record);
    EXPECT_EQ(report.title, "2147483648");
    EXPECT_EQ(report.pairs[kUsage].value, "\t2147483648 mAh (milliampere-hour)");
    record.amperage = INT32_MAX;
    EXPECT_EQ(makeBatteryReport(record).title, "-2147483647");
}

TEST(BatteryReport, WornOverfullAndUnknownCapacities) {
    struct Case {
        std::int32_t maxCapacity, designCapacity;
        const char* text;
    };
    const Case cases[] = {// single precision rounds these two differently from the exact ratio
                          {2873, 4000, "\t2873 mAh (71.82% of Original)"},
                          {1588, 2983, "\t1588 mAh (53.24% of Original)"},
                          {5200, 5000, "\t5200 mAh (104.00% of Original)"},
                          {4000, 0, "\t4000 mAh (inf% of Original)"},
                          {-4000, 0, "\t-4000 mAh (-inf% of Original)"},
                          {0, 0, "\t0 mAh (nan% of Original)"},
                          {INT32_MAX, 1, "\t2147483647 mAh (214748364800.00% of Original)"},
                          {INT32_MAX, INT32_MIN, "\t2147483647 mAh (-100.00% of Original)"}};
    IOPMBattery record = workedExample();
    for (const Case& c : cases) {
        record.maxCapacity = c.maxCapacity;
        record.designCapacity = c.designCapacity;
        EXPECT_EQ(line(record, kCapacity), c.text);
    }
    record.currentCapacity = 2873;
    record.maxCapacity = 4000;
    EXPECT_EQ(line(record, kCharge), "\t2873 (71.82% Charged)");
}

TEST(BatteryReport, OddManufactureDatesPrintedAsPacked) {
    IOPMBattery record{};
    const std::pair<std::int32_t, const char*> cases[] = {
        {16743, "\t07/11/2012"},
        {(32 << 9) | (13 << 5) | 0, "\t00/13/2012"},  // month 13, day 0: no calendar check
        {0xFFFF, "\t31/15/2107"},
        {0x10000 | 16743, "\t07/11/2012"},  // only the low 16 bits are the date
        {-1, "\t31/15/2107"}};
    for (const auto& [packed, text] : cases) {
        record.manufactureDate = packed;
        EXPECT_EQ(line(record, kDate), text) << packed;
    }
}

TEST(BatteryReport, TemperaturesFromFreezingToHot) {
    struct Case {
        std::int32_t hundredths;
        const char *celsius, *fahrenheit;
    };
    const Case cases[] = {{3012, "30.12", "86.22"},
                          {2500, "25.00", "77.00"},
                          {-1050, "-10.50", "13.10"},
                          {100, "1.00", "33.80"},
                          {50, ".50", "32.90"},
                          {-50, "-.50", "31.10"},
                          {10, ".10", "32.18"},
                          {-10, "-.10", "31.82"},
                          {9, ".09", "32.16"},
                          {5, ".05", "32.09"},
                          {0, ".00", "32.00"},
                          {-5, "-.05", "31.91"},
                          {-9, "-.09", "31.84"},
                          {INT32_MAX, "21474836.47", "38654736.80"},
                          {INT32_MIN, "-21474836.48", "-38654672.80"}};
    IOPMBattery record{};
    for (const Case& c : cases) {
        record.temperature = c.hundredths;
        std::string expected = "\t";
        expected.append(c.celsius)
            .append(
                "\xC2\xB0"
                "C  (")
            .append(c.fahrenheit);
        expected.append(
            " \xC2\xB0"
            "F)");
        EXPECT_EQ(line(record, kTemperature), expected) << c.hundredths;
    }
}

TEST(BatteryReport, UserWithGermanLocaleSeesDecimalPoints) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    IOPMBattery record = workedExample();
    expectWorkedExample(makeBatteryReport(record));
    record.maxCapacity = 1234567;
    record.designCapacity = 1;
    EXPECT_EQ(line(record, kCapacity), "\t1234567 mAh (123456704.00% of Original)");
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace ampora
