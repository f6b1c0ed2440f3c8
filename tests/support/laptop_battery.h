#pragma once

#include <cstdint>

#include "battery/property_dictionary.h"

namespace ampora::testing {

// The laptop battery everyone knows the texts of: 1234 mA drawn, 3000 of 4000 mAh (5000 when
// new), 321 cycles, made 7 Nov 2012, at 30.12 °C.
inline PropertyDictionary laptopBatteryProperties(std::int64_t amperage = -1234) {
    PropertyDictionary properties;
    properties.set("Amperage", amperage);
    properties.set("CurrentCapacity", std::int64_t{3000});
    properties.set("MaxCapacity", std::int64_t{4000});
    properties.set("DesignCapacity", std::int64_t{5000});
    properties.set("CycleCount", std::int64_t{321});
    properties.set("ManufactureDate", std::int64_t{16743});
    properties.set("Temperature", std::int64_t{3012});
    return properties;
}

}  // namespace ampora::testing
