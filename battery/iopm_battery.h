#pragma once

#include <cstdint>
#include <string>

namespace ampora {

// The in-memory record of one power source, filled from its property dictionary. Created
// zero-filled (IOPMBattery record{}) for every reading and dropped after it.
//
// The string fields borrow from the dictionary the record was read from: they are null when the
// key is absent (or not a text) and are valid only while that dictionary lives.
//
// The has... bits tell which of the shown figures the power source reported: a figure it left out
// stays 0 in its field, and is shown as not reported rather than as 0.
struct IOPMBattery {
    std::uint32_t externalConnected : 1;
    std::uint32_t externalChargeCapable : 1;
    std::uint32_t isCharging : 1;
    std::uint32_t batteryInstalled : 1;
    std::uint32_t hasAmperage : 1;
    std::uint32_t hasCurrentCapacity : 1;
    std::uint32_t hasMaxCapacity : 1;
    std::uint32_t hasDesignCapacity : 1;
    std::uint32_t hasCycleCount : 1;
    std::uint32_t hasManufactureDate : 1;
    std::uint32_t hasTemperature : 1;
    std::uint32_t hasChargeLevel : 1;
    std::uint32_t hasHealthLevel : 1;
    std::uint32_t permanentFailureStatus;
    std::int32_t currentCapacity;  // mAh
    std::int32_t maxCapacity;      // mAh
    std::int32_t designCapacity;   // mAh
    std::int32_t amperage;         // mA, negative while discharging
    std::int32_t instantAmperage;  // mA
    std::int32_t maxErr;
    std::int32_t cycleCount;
    std::int32_t location;
    std::int32_t timeRemaining;
    std::int32_t invalidWakeSeconds;
    const std::string* serialNumber;
    const std::string* errorCondition;
    const std::string* chargeStatus;
    std::int32_t manufactureDate;  // packed: day bits 0-4, month 5-8, year-1980 9-15
    std::int32_t temperature;      // hundredths of a degree Celsius
    // Shares in hundredths of a percent, from sources that know them more exactly than the mAh
    // figures tell (batteries that count energy) or without them (gauges that count percent):
    // the charge of full, and the full-charge capacity of design.
    std::int32_t chargeLevel;
    std::int32_t healthLevel;
};

}  // namespace ampora
