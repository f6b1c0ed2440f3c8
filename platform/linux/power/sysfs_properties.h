#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ampora {

// One power supply's sysfs attribute by name, as text without the trailing newline; nothing when
// the driver doesn't provide it.
using SysfsAttributeLookup = std::function<std::optional<std::string>(std::string_view name)>;

// A whole decimal integer ("-12", "4000"), nothing for anything else: empty, blanks, signs other
// than a leading '-', trailing text or a value outside 64 bits.
std::optional<std::int64_t> parseSysfsInteger(std::string_view text);

// What one battery reports, in the registry's units. A figure is set only when the attributes it
// comes from are present, parse cleanly and mean something (a full or design capacity of 0 or a
// cycle count of 0 means the driver doesn't know).
struct BatteryFigures {
    std::optional<std::int64_t> current;       // mA, negative while discharging
    std::optional<std::int64_t> charge;        // mAh
    std::optional<std::int64_t> fullCharge;    // mAh
    std::optional<std::int64_t> designCharge;  // mAh
    // Hundredths of a percent: the charge of full, the full-charge capacity of design; from the
    // battery's own units, so that no voltage conversion rounds them.
    std::optional<std::int64_t> chargeLevel;
    std::optional<std::int64_t> healthLevel;
    std::optional<std::int64_t> cycleCount;
    std::optional<std::int64_t> temperature;      // hundredths of a degree Celsius
    std::optional<std::int64_t> manufactureDate;  // packed as the registry packs it
    std::optional<std::int64_t> timeRemaining;    // minutes
    std::optional<bool> installed;
    std::optional<std::string> serialNumber;
    bool charging = false;
    // The status says neither charging nor discharging and the driver gave no sign: the current
    // is a magnitude whose direction external power decides.
    bool currentUndirected = false;
};

// Charges in uAh, or energies in uWh over the design voltage (the present one drifts with the
// charge); a gauge that reports only a percentage gives a charge of that share of full. A charge
// above full is taken as full. The current is the present one, never an average: current_now, or
// power_now over the voltage for batteries that count energy; its sign comes from status
// ("Discharging" is negative), as drivers disagree on it, else from the driver.
BatteryFigures batteryFiguresFromSysfs(const SysfsAttributeLookup& attribute);

}  // namespace ampora
