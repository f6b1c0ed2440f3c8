#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <optional>
#include <string>

#include "battery/property_dictionary.h"

namespace ampora::macos {

// The UTF-8 text of a CFString; nothing when it is not a string.
std::optional<std::string> toStdString(CFTypeRef value);

// Converts a power source's registry dictionary into the portable one. Numbers become int64 or
// double by their CF type, booleans and strings keep their type, anything else (nested
// dictionaries, arrays, data) is kept as OtherObject. Entries whose key is not a string are left
// out.
//
// Newer Macs publish "CurrentCapacity" and "MaxCapacity" as percentages and the charge in mAh
// elsewhere; the mAh values replace them when present, so the reader always sees mAh. A
// "ManufactureDate" that is not a 16-bit packed date is left out.
PropertyDictionary toPropertyDictionary(CFDictionaryRef dictionary);

}  // namespace ampora::macos
