#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "battery/property_dictionary.h"

namespace ampora {

// One power supply's sysfs attribute by name, as text without the trailing newline; nothing when
// the driver doesn't provide it.
using SysfsAttributeLookup = std::function<std::optional<std::string>(std::string_view name)>;

// A whole decimal integer ("-12", "4000"), nothing for anything else: empty, blanks, signs other
// than a leading '-', trailing text or a value outside 64 bits.
std::optional<std::int64_t> parseSysfsInteger(std::string_view text);

// The power-source properties of one battery from its sysfs attributes. A key is set only when
// its source attributes are present, parse cleanly and convert to a value that fits 32 bits;
// otherwise it is left out and the reader keeps its default. externalPowerOnline tells whether any
// Mains, USB or Wireless supply is online.
//
// Currents are magnitudes made negative while status is "Discharging": drivers disagree on the
// sign. ManufactureDate needs a year from 1980 to 2107; a month or day that doesn't fit its bit
// field (0-15, 0-31) or doesn't parse is packed as 0, as the report shows no calendar validation.
PropertyDictionary batteryPropertiesFromSysfs(const SysfsAttributeLookup& attribute,
                                              bool externalPowerOnline);

}  // namespace ampora
