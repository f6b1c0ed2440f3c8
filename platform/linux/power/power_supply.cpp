#include "platform/linux/power/power_supply.h"

#include <libudev.h>

#include <optional>
#include <string_view>
#include <utility>

#include "platform/linux/power/sysfs_properties.h"
#include "platform/linux/power/system_battery.h"

namespace ampora::power_supply {
namespace {

constexpr const char* kSubsystem = "power_supply";

const char* attributeOr(udev_device* device, const char* attribute, const char* property) {
    const char* value = udev_device_get_sysattr_value(device, attribute);
    return value != nullptr ? value : udev_device_get_property_value(device, property);
}

}  // namespace

udev_handles::Device open(udev* context, const std::string& syspath) {
    return udev_handles::Device(udev_device_new_from_syspath(context, syspath.c_str()));
}

Kind kindOf(udev_device* device) {
    if (device == nullptr) return Kind::Other;
    const char* type = attributeOr(device, "type", "POWER_SUPPLY_TYPE");
    const char* scope = attributeOr(device, "scope", "POWER_SUPPLY_SCOPE");
    if (type == nullptr || (scope != nullptr && std::string_view(scope) == "Device")) {
        return Kind::Other;
    }
    const std::string_view t(type);
    if (t == "Battery" || t == "UPS") {
        // An empty bay is no power source; a battery put in it is a new one.
        const char* present = attributeOr(device, "present", "POWER_SUPPLY_PRESENT");
        return present != nullptr && std::string_view(present) == "0" ? Kind::Other : Kind::Battery;
    }
    if (t == "Mains" || t == "USB" || t == "Wireless") return Kind::ExternalPower;
    return Kind::Other;
}

std::vector<std::string> presentSupplies(udev* context) {
    std::vector<std::string> syspaths;
    const udev_handles::Enumerate enumerate(udev_enumerate_new(context));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), kSubsystem) < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        return syspaths;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        syspaths.emplace_back(udev_list_entry_get_name(entry));
    }
    return syspaths;
}

PropertyDictionary readSystemBatteries(udev* context,
                                       const std::set<std::string, std::less<>>& batteries) {
    std::vector<BatteryFigures> figures;
    for (const auto& syspath : batteries) {
        const auto battery = open(context, syspath);
        if (kindOf(battery.get()) != Kind::Battery) continue;  // gone since: its event follows
        figures.push_back(batteryFiguresFromSysfs(
            [device = battery.get()](std::string_view name) -> std::optional<std::string> {
                const std::string key(name);
                const char* value = udev_device_get_sysattr_value(device, key.c_str());
                if (value == nullptr) return std::nullopt;
                return std::string(value);
            }));
    }
    bool externalPowerOnline = false;
    for (const auto& syspath : presentSupplies(context)) {
        const auto supply = open(context, syspath);
        if (kindOf(supply.get()) != Kind::ExternalPower) continue;
        const char* online = udev_device_get_sysattr_value(supply.get(), "online");
        // 1 is a fixed supply, 2 a programmable one (USB Power Delivery).
        const auto state = online != nullptr ? parseSysfsInteger(online) : std::nullopt;
        if (state && *state >= 1) externalPowerOnline = true;
    }
    return systemBatteryProperties(std::move(figures), externalPowerOnline);
}

}  // namespace ampora::power_supply
