#include "battery/read_battery_properties.h"

namespace ampora {

namespace {

// Leaves the field untouched when the key is absent or holds no number.
bool readInt(const PropertyDictionary& properties, std::string_view key, std::int32_t& field) {
    const PropertyValue* value = properties.lookup(key);
    if (!value) return false;
    const auto number = toInt32(*value);
    if (!number) return false;
    field = *number;
    return true;
}

const std::string* readText(const PropertyDictionary& properties, std::string_view key) {
    const PropertyValue* value = properties.lookup(key);
    return value ? std::get_if<std::string>(value) : nullptr;
}

bool readFlag(const PropertyDictionary& properties, std::string_view key) {
    return isBooleanTrue(properties.lookup(key));
}

}  // namespace

void readBatteryProperties(IOPMBattery& record, const PropertyDictionary& properties) {
    record.hasManufactureDate = readInt(properties, "ManufactureDate", record.manufactureDate);
    record.hasTemperature = readInt(properties, "Temperature", record.temperature);

    record.externalConnected = readFlag(properties, "ExternalConnected");
    record.externalChargeCapable = readFlag(properties, "ExternalChargeCapable");
    record.batteryInstalled = readFlag(properties, "BatteryInstalled");
    record.isCharging = readFlag(properties, "IsCharging");

    record.errorCondition = readText(properties, "ErrorCondition");
    record.serialNumber = readText(properties, "BatterySerialNumber");
    record.chargeStatus = readText(properties, "ChargeStatus");

    record.hasCurrentCapacity = readInt(properties, "CurrentCapacity", record.currentCapacity);
    record.hasMaxCapacity = readInt(properties, "MaxCapacity", record.maxCapacity);
    record.hasDesignCapacity = readInt(properties, "DesignCapacity", record.designCapacity);
    readInt(properties, "TimeRemaining", record.timeRemaining);
    readInt(properties, "InstantAmperage", record.instantAmperage);
    record.hasAmperage = readInt(properties, "Amperage", record.amperage);
    readInt(properties, "MaxErr", record.maxErr);
    record.hasCycleCount = readInt(properties, "CycleCount", record.cycleCount);
    readInt(properties, "Location", record.location);

    // Drivers that omit these two still mean a definite value.
    if (!readInt(properties, "BatteryInvalidWakeSeconds", record.invalidWakeSeconds)) {
        record.invalidWakeSeconds = 16;
    }
    std::int32_t failureStatus = 0;
    readInt(properties, "PermanentFailureStatus", failureStatus);
    record.permanentFailureStatus = static_cast<std::uint32_t>(failureStatus);

    record.hasChargeLevel = readInt(properties, "ChargeLevel", record.chargeLevel);
    record.hasHealthLevel = readInt(properties, "HealthLevel", record.healthLevel);
}

}  // namespace ampora
