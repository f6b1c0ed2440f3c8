#pragma once

#include "battery/iopm_battery.h"
#include "battery/property_dictionary.h"

namespace ampora {

// Fills a zero-filled record from one power source's properties. Never fails: missing keys and
// values of the wrong type leave the field's default.
void readBatteryProperties(IOPMBattery& record, const PropertyDictionary& properties);

}  // namespace ampora
