#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "battery/read_battery_properties.h"

namespace ampora {
namespace {

IOPMBattery read(const PropertyDictionary& properties) {
    IOPMBattery record{};
    readBatteryProperties(record, properties);
    return record;
}

std::int32_t amperageFrom(PropertyValue value) {
    PropertyDictionary properties;
    properties.set("Amperage", std::move(value));
    return read(properties).amperage;
}

TEST(BatteryReading, DriverPublishesNoPropertiesAtAll) {
    const IOPMBattery record = read(PropertyDictionary{});
    EXPECT_EQ(record.invalidWakeSeconds, 16);
    EXPECT_EQ(record.permanentFailureStatus, 0u);
    EXPECT_EQ(record.externalConnected | record.externalChargeCapable | record.isCharging |
                  record.batteryInstalled,
              0u);
    EXPECT_EQ(record.serialNumber, nullptr);
    EXPECT_EQ(record.errorCondition, nullptr);
    EXPECT_EQ(record.chargeStatus, nullptr);
    EXPECT_EQ(record.amperage | record.currentCapacity | record.maxCapacity |
                  record.designCapacity | record.cycleCount | record.manufactureDate |
                  record.temperature | record.maxErr | record.location | record.timeRemaining |
                  record.instantAmperage,
              0);
}

// Every key lands in its own field: distinct values catch swapped keys.
TEST(BatteryReading, LaptopOnChargerReportsEveryProperty) {
    PropertyDictionary properties;
    const char* keys[] = {"ManufactureDate",
                          "Temperature",
                          "CurrentCapacity",
                          "MaxCapacity",
                          "DesignCapacity",
                          "TimeRemaining",
                          "InstantAmperage",
                          "Amperage",
                          "MaxErr",
                          "CycleCount",
                          "Location",
                          "BatteryInvalidWakeSeconds",
                          "PermanentFailureStatus"};
    std::int64_t value = 100;
    for (const char* key : keys) properties.set(key, value++);
    properties.set("ExternalConnected", true);
    properties.set("IsCharging", true);
    properties.set("BatterySerialNumber", std::string("W8-1234"));
    properties.set("ChargeStatus", std::string("Charging"));

    const IOPMBattery record = read(properties);
    const std::int64_t fields[] = {record.manufactureDate,
                                   record.temperature,
                                   record.currentCapacity,
                                   record.maxCapacity,
                                   record.designCapacity,
                                   record.timeRemaining,
                                   record.instantAmperage,
                                   record.amperage,
                                   record.maxErr,
                                   record.cycleCount,
                                   record.location,
                                   record.invalidWakeSeconds,
                                   record.permanentFailureStatus};
    for (std::size_t i = 0; i < std::size(fields); ++i)
        EXPECT_EQ(fields[i], static_cast<std::int64_t>(100 + i)) << keys[i];
    EXPECT_EQ(record.externalConnected, 1u);
    EXPECT_EQ(record.isCharging, 1u);
    EXPECT_EQ(record.externalChargeCapable, 0u);
    EXPECT_EQ(record.batteryInstalled, 0u);
    // The texts are borrowed from the dictionary, not copied.
    EXPECT_EQ(record.serialNumber,
              std::get_if<std::string>(properties.lookup("BatterySerialNumber")));
    EXPECT_EQ(*record.chargeStatus, "Charging");
    EXPECT_EQ(record.errorCondition, nullptr);
}

TEST(BatteryReading, OnlyTheBooleanTrueMeansChargerConnected) {
    const PropertyValue notTrue[] = {false, std::int64_t{1}, 1.0, std::string("true"),
                                     OtherObject{}};
    for (const auto& value : notTrue) {
        PropertyDictionary properties;
        properties.set("ExternalConnected", value);
        EXPECT_EQ(read(properties).externalConnected, 0u) << value.index();
    }
}

// A driver that publishes a wrong type is treated as if it had said nothing.
TEST(BatteryReading, DriverPublishesWrongValueTypes) {
    PropertyDictionary properties;
    for (const char* key : {"Amperage", "Temperature", "CycleCount"}) properties.set(key, true);
    properties.set("MaxCapacity", std::string("4000"));
    properties.set("BatteryInvalidWakeSeconds", std::string("30"));
    properties.set("PermanentFailureStatus", OtherObject{});
    properties.set("BatterySerialNumber", std::int64_t{1234});
    properties.set("ChargeStatus", OtherObject{});
    properties.set("ErrorCondition", false);

    const IOPMBattery record = read(properties);
    EXPECT_EQ(record.amperage, 0);
    EXPECT_EQ(record.temperature, 0);
    EXPECT_EQ(record.cycleCount, 0);
    EXPECT_EQ(record.maxCapacity, 0);
    EXPECT_EQ(record.invalidWakeSeconds, 16);
    EXPECT_EQ(record.permanentFailureStatus, 0u);
    EXPECT_EQ(record.serialNumber, nullptr);
    EXPECT_EQ(record.chargeStatus, nullptr);
    EXPECT_EQ(record.errorCondition, nullptr);
}

TEST(BatteryReading, CurrentBeyond32BitsKeepsItsLowWord) {
    constexpr auto i64min = std::numeric_limits<std::int64_t>::min();
    constexpr auto i64max = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(amperageFrom(std::int64_t{-1234}), -1234);
    EXPECT_EQ(amperageFrom(std::int64_t{0xFFFFFB2E}), -1234);  // a 32-bit wrapped discharge
    EXPECT_EQ(amperageFrom(std::int64_t{0x1'0000'0005}), 5);
    EXPECT_EQ(amperageFrom(std::int64_t{2147483648}), INT32_MIN);
    EXPECT_EQ(amperageFrom(i64min), 0);
    EXPECT_EQ(amperageFrom(i64max), -1);

    PropertyDictionary properties;
    properties.set("PermanentFailureStatus", std::int64_t{-1});
    EXPECT_EQ(read(properties).permanentFailureStatus, 0xFFFFFFFFu);
}

TEST(BatteryReading, FractionalOrHugeCurrentIsTruncatedAndSaturated) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(amperageFrom(-1234.9), -1234);
    EXPECT_EQ(amperageFrom(850.9), 850);
    EXPECT_EQ(amperageFrom(2147483647.9), INT32_MAX);
    EXPECT_EQ(amperageFrom(-2147483648.9), INT32_MIN);
    EXPECT_EQ(amperageFrom(3e9), INT32_MAX);
    EXPECT_EQ(amperageFrom(-3e9), INT32_MIN);
    EXPECT_EQ(amperageFrom(1e300), INT32_MAX);
    EXPECT_EQ(amperageFrom(inf), INT32_MAX);
    EXPECT_EQ(amperageFrom(-inf), INT32_MIN);
    EXPECT_EQ(amperageFrom(std::nan("")), 0);
    EXPECT_EQ(amperageFrom(-std::nan("")), 0);
}

}  // namespace
}  // namespace ampora
