#pragma once

#include <vector>

#include "battery/property_dictionary.h"
#include "platform/linux/power/sysfs_properties.h"

namespace ampora {

// The power-source properties of the system's batteries taken as one, the way the desktop's own
// power indicator shows them: currents summed with their signs, charges and capacities summed,
// the charge level from the totals. A sum is published only when every battery reports its part
// (a partial sum would be a made-up figure); of the facts that don't add up, the most worn pack's
// cycle count, the hottest pack's temperature and the oldest pack's date. externalPowerOnline
// tells whether any Mains, USB or Wireless supply is online.
PropertyDictionary systemBatteryProperties(std::vector<BatteryFigures> batteries,
                                           bool externalPowerOnline);

}  // namespace ampora
