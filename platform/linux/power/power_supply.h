#pragma once

#include <set>
#include <string>
#include <vector>

#include "battery/property_dictionary.h"
#include "platform/linux/power/udev_handles.h"

// Reading the kernel's power_supply class through libudev.
namespace ampora::power_supply {

enum class Kind {
    Battery,        // the system's own battery or UPS, in place: a registry entry
    ExternalPower,  // Mains, USB or Wireless: its changes concern every battery
    Other,          // peripherals' batteries (scope Device), empty bays, vanished devices, ...
};

// A new device object for the supply, so that no attribute comes from libudev's cache. Null when
// the supply is gone.
udev_handles::Device open(udev* context, const std::string& syspath);

// From the supply's attributes, falling back to the event's properties for a removed supply
// whose attributes are gone.
Kind kindOf(udev_device* device);

// Syspaths of the power_supply class members present now, in syspath order.
std::vector<std::string> presentSupplies(udev* context);

// The batteries (by syspath) read afresh and taken as one, with whether external power is
// online. A battery that is gone or no longer one is left out.
PropertyDictionary readSystemBatteries(udev* context,
                                       const std::set<std::string, std::less<>>& batteries);

}  // namespace ampora::power_supply
