// The power-source registry of a Linux system: what a battery's sysfs attributes become in the
// registry's units (including what buggy or unusual drivers write), and what the power-source
// watcher is told and reads as simulated batteries and chargers (umockdev) come, go and change.
#include <glib.h>
#include <gtest/gtest.h>
#include <umockdev.h>

#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "platform/linux/registry/sysfs_properties.h"
#include "platform/linux/registry/udev_device_registry.h"
#include "platform/linux/registry/udev_notification_port.h"

namespace ampora {
namespace {

const std::string kLaptop =
    "status=Discharging present=1 current_now=1234000 charge_now=3000000 charge_full=4000000 "
    "charge_full_design=5000000 cycle_count=321 temp=301 manufacture_year=2012 "
    "manufacture_month=11 manufacture_day=7 time_to_empty_now=5400 time_to_full_now=60";
const std::string kEnergyOnly =
    "status=Discharging energy_now=48000000 energy_full=60000000 energy_full_design=66000000 "
    "voltage_min_design=12000000 voltage_now=11000000 power_now=22000000";

// "name=value name=value ..."
std::vector<std::pair<std::string, std::string>> pairs(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> result;
    std::istringstream in(text);
    for (std::string pair; in >> pair;) {
        const auto equals = pair.find('=');
        result.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
    }
    return result;
}

// The registry keys named in `keys` as "Key=value", value "none" when the key is left out.
std::string describe(const PropertyDictionary& properties, const std::string& keys) {
    std::string shown;
    for (const auto& [key, ignored] : pairs(keys)) {
        const PropertyValue* value = properties.lookup(key);
        shown += (shown.empty() ? "" : " ") + key + "=";
        if (value == nullptr) {
            shown += "none";
        } else if (const bool* flag = std::get_if<bool>(value)) {
            shown += *flag ? "true" : "false";
        } else if (const auto* text = std::get_if<std::string>(value)) {
            shown += *text;
        } else {
            shown += std::to_string(std::get<std::int64_t>(*value));
        }
    }
    return shown;
}

// The mapping of a battery's attributes (a later value of a name wins; the serial number is
// padded unless given), described as above.
std::string mapped(const std::string& battery, const std::string& keys, bool online = false) {
    std::map<std::string, std::string, std::less<>> attributes = {
        {"serial_number", "  AMP-0042 \n"}};
    for (const auto& [name, value] : pairs(battery)) attributes[name] = value;
    return describe(batteryPropertiesFromSysfs(
                        [&](std::string_view name) -> std::optional<std::string> {
                            const auto found = attributes.find(name);
                            if (found == attributes.end()) return std::nullopt;
                            return found->second;
                        },
                        online),
                    keys);
}

TEST(SysfsMapping, BatteriesGiveTheirFiguresInRegistryUnits) {
    struct Case {
        std::string battery;
        bool online;
        std::string expected;
    };
    const Case cases[] = {
        {kLaptop, false,
         "Amperage=-1234 InstantAmperage=-1234 CurrentCapacity=3000 MaxCapacity=4000 "
         "DesignCapacity=5000 CycleCount=321 Temperature=3010 ManufactureDate=16743 "
         "TimeRemaining=90 IsCharging=false BatteryInstalled=true ExternalConnected=false "
         "ExternalChargeCapable=false BatterySerialNumber=AMP-0042"},
        // Most ACPI drivers report an unsigned current, some a signed one: the status decides.
        // While charging, the time remaining is the time to full.
        {kLaptop + " status=Charging current_now=850000", true,
         "Amperage=850 IsCharging=true ExternalConnected=true ExternalChargeCapable=true "
         "TimeRemaining=1"},
        {kLaptop + " status=Charging current_now=-850999", true,
         "Amperage=850 InstantAmperage=850"},
        {kLaptop + " current_avg=850000 current_now=1", false, "Amperage=-850 InstantAmperage=0"},
        // Energy over the design voltage (the present one drifts with the charge), power over
        // the present voltage.
        {kEnergyOnly, false,
         "CurrentCapacity=4000 MaxCapacity=5000 DesignCapacity=5500 Amperage=-2000"},
        {kEnergyOnly + " voltage_min_design=0", false, "CurrentCapacity=4363"},
        {kEnergyOnly + " voltage_min_design=1000000 energy_full=2147483647000", false,
         "MaxCapacity=2147483647"},
        // The largest energy that can be scaled without overflowing 64 bits.
        {kEnergyOnly + " energy_now=18446744073709551 voltage_min_design=10000000000", false,
         "CurrentCapacity=1844674407"},
        {kEnergyOnly + " voltage_min_design= voltage_now=0", false,
         "CurrentCapacity=none Amperage=none"},
        // Negative where that means nothing.
        {kLaptop + " charge_now=-1 cycle_count=-1 time_to_empty_now=-1 serial_number= present=0",
         false,
         "CurrentCapacity=none CycleCount=none TimeRemaining=1 BatterySerialNumber=none "
         "BatteryInstalled=false"},
        // A frozen battery is no garbage, down to the coldest figure that fits.
        {kLaptop + " temp=-214748364 cycle_count=0", false, "Temperature=-2147483640 CycleCount=0"},
        // The largest figures that still fit 32 bits.
        {kLaptop + " charge_full=2147483647999 cycle_count=2147483647 temp=214748364 "
                   "time_to_empty_now=128849018820",
         false,
         "MaxCapacity=2147483647 CycleCount=2147483647 Temperature=2147483640 "
         "TimeRemaining=2147483647"},
        // Only years the packed date can hold; a field that doesn't fit its bits is dropped.
        {kLaptop + " manufacture_year=1980 manufacture_month=1 manufacture_day=1", false,
         "ManufactureDate=33"},
        {kLaptop + " manufacture_year=2107 manufacture_month=12 manufacture_day=31", false,
         "ManufactureDate=65439"},
        {kLaptop + " manufacture_year=1979", false, "ManufactureDate=none"},
        {kLaptop + " manufacture_year=2108", false, "ManufactureDate=none"},
        {kLaptop + " manufacture_month=16 manufacture_day=40", false, "ManufactureDate=16384"},
        {kLaptop + " manufacture_month=13 manufacture_day=-1", false, "ManufactureDate=16800"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mapped(c.battery, c.expected, c.online), c.expected) << c.battery;
    }
}

// Empty, non-numeric or out of range: the key is left out and nothing else is disturbed.
TEST(SysfsMapping, GarbageAttributesLeaveOnlyTheirOwnKeysOut) {
    const std::string leftOut =
        "Amperage=none InstantAmperage=none CurrentCapacity=none MaxCapacity=none "
        "DesignCapacity=none CycleCount=none Temperature=none ManufactureDate=none "
        "TimeRemaining=none BatteryInstalled=none IsCharging=false BatterySerialNumber=AMP-0042";
    for (const std::string value :
         {"", "abc", "12abc", "+12", "0x10", "1.5", "99999999999999999999999",
          "9223372036854775807", "-9223372036854775808"}) {
        std::string battery = kLaptop;
        for (const char* name :
             {"current_now", "charge_now", "charge_full", "charge_full_design", "cycle_count",
              "temp", "manufacture_year", "time_to_empty_now", "time_to_full_now", "present"}) {
            battery += " " + std::string(name) + "=" + value;
        }
        EXPECT_EQ(mapped(battery, leftOut), leftOut) << '"' << value << '"';
    }
}

class PowerSupplies : public ::testing::Test {
  protected:
    void SetUp() override {
        g_log_set_always_fatal(
            GLogLevelFlags(G_LOG_FATAL_MASK | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL));
        testbed_ = umockdev_testbed_new();
        if (!umockdev_in_mock_environment()) GTEST_SKIP() << "run through umockdev-wrapper";
    }
    void TearDown() override {
        port_.reset();  // its entries go with it, and nothing of it is left to run
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        for (const RegistryEntry entry : matched_) EXPECT_FALSE(registry_->copyProperties(entry));
        registry_.reset();
        g_object_unref(testbed_);
    }

    // A supply as the kernel shows it, the type also as an event property; umockdev sends
    // "add" itself. Batteries and adapters alike get every attribute the tests look at.
    std::string add(const char* name, const char* type = "Battery", const char* scope = "System",
                    const char* present = "1") {
        gchar* path = umockdev_testbed_add_device(
            testbed_, "power_supply", name, nullptr, "type", type, "scope", scope, "present",
            present, "status", "Discharging", "current_now", "1500000", "charge_full", "4000000",
            "online", "0", nullptr, "POWER_SUPPLY_TYPE", type, nullptr);
        std::string syspath(path);
        g_free(path);
        return syspath;
    }
    // Sets an attribute, then tells of it with a uevent ("remove" takes the device away).
    void send(const std::string& path, const char* action, const char* name = nullptr,
              const char* value = nullptr) {
        if (name) umockdev_testbed_set_attribute(testbed_, path.c_str(), name, value);
        umockdev_testbed_uevent(testbed_, path.c_str(), action);
        if (std::string_view(action) == "remove") {
            umockdev_testbed_remove_device(testbed_, path.c_str());
        }
    }

    // As the power-source watcher does: read every new entry and subscribe to it, from inside
    // the registry's callbacks. Messages are counted per entry: "changed", "terminated".
    void startWatching() {
        registry_ = std::make_unique<UdevDeviceRegistry>();
        port_ = registry_->createNotificationPort();
        ASSERT_TRUE(port_->addRunLoopSourceToCurrentRunLoop());
        auto* iterator = port_->addFirstMatchNotification(
            kPowerSourceClass, [this](RegistryIterator& entries) { drain(entries); });
        ASSERT_NE(iterator, nullptr);
        EXPECT_EQ(port_->addFirstMatchNotification("IOPMBattery", {}), nullptr);  // its only class
        drain(*iterator);
    }
    void drain(RegistryIterator& entries) {
        for (auto entry = entries.next(); entry != kNoRegistryEntry; entry = entries.next()) {
            matched_.push_back(entry);
            read(entry);
            port_->addInterestNotification(entry, [this](RegistryEntry e, std::uint32_t type) {
                const bool changed = type == kMessageBatteryStatusChanged;
                ++(changed ? changes_ : terminations_)[e];
                if (changed) read(e);
            });
        }
    }
    void read(RegistryEntry entry) {
        shown_[entry] = registry_->copyProperties(entry).value_or(PropertyDictionary{});
    }
    // Runs the main loop until done() holds; false after ten seconds.
    static bool runUntil(const std::function<bool()>& done) {
        bool expired = false;
        const auto expire = [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        };
        const guint timer = g_timeout_add_seconds(10, expire, &expired);
        while (!done() && !expired) g_main_context_iteration(nullptr, TRUE);
        if (!expired) g_source_remove(timer);
        return done();
    }

    UMockdevTestbed* testbed_ = nullptr;
    std::unique_ptr<UdevDeviceRegistry> registry_;
    std::unique_ptr<NotificationPort> port_;
    std::vector<RegistryEntry> matched_;
    std::map<RegistryEntry, int> changes_, terminations_;
    std::map<RegistryEntry, PropertyDictionary> shown_;
};

// Each battery follows its own changes, read afresh (never from libudev's cache); every change
// of external power (mains, USB, wireless), a USB-C supply vanishing included, reaches both.
TEST_F(PowerSupplies, TwoBatteriesFollowTheirOwnChangesAndEveryChargerChange) {
    const std::string chargers[] = {add("AC", "Mains"), add("ucsi", "USB"), add("qi", "Wireless")};
    const auto first = add("BAT0");
    const auto second = add("BAT1");
    startWatching();
    ASSERT_EQ(matched_.size(), 2u);
    send(second, "change", "current_now", "700000");
    send(first, "change");
    ASSERT_TRUE(runUntil([&] { return changes_[matched_[0]] == 1; }));
    EXPECT_EQ(changes_[matched_[1]], 1);
    EXPECT_EQ(describe(shown_[matched_[0]], "Amperage"), "Amperage=-1500");
    EXPECT_EQ(describe(shown_[matched_[1]], "Amperage"), "Amperage=-700");

    // Online is 1 for a fixed supply, 2 for a programmable one (USB Power Delivery).
    const std::tuple<int, const char*, std::string> steps[] = {
        {0, "1", "true"}, {0, "0", "false"}, {1, "2", "true"}, {1, "0", "false"}, {2, "1", "true"}};
    int change = 1;
    for (const auto& [charger, online, connected] : steps) {
        send(chargers[charger], "change", "online", online);
        ASSERT_TRUE(runUntil([&] { return changes_[matched_[1]] == change + 1; }));
        EXPECT_EQ(changes_[matched_[0]], ++change);
        EXPECT_EQ(describe(shown_[matched_[0]], "ExternalConnected"),
                  "ExternalConnected=" + connected);
    }
    send(chargers[2], "remove");
    ASSERT_TRUE(runUntil([&] { return changes_[matched_[1]] == change + 1; }));
    EXPECT_EQ(describe(shown_[matched_[1]], "ExternalConnected"), "ExternalConnected=false");
    EXPECT_EQ(matched_.size(), 2u);
}

// A mouse's battery is never a power source; dual-bay laptops publish the empty bay too (showing
// it would blank the display). A battery taken out is terminated for good: put back, it is a new
// entry.
TEST_F(PowerSupplies, BatteriesComeAndGoButOnlyTheSystemsOwnAreFollowed) {
    const auto mouse = add("hidpp_battery_0", "Battery", "Device");
    const auto bay = add("BAT1", "Battery", "System", "0");
    const auto battery = add("BAT0");
    startWatching();
    ASSERT_EQ(matched_.size(), 1u);
    const RegistryEntry first = matched_[0];
    send(mouse, "change");
    add("hidpp_battery_2", "Battery", "Device");
    send(bay, "change", "present", "1");
    ASSERT_TRUE(runUntil([&] { return matched_.size() == 2; }));
    send(battery, "remove");
    send(bay, "change", "present", "0");
    ASSERT_TRUE(runUntil([&] { return terminations_[matched_[1]] == 1; }));
    EXPECT_EQ(terminations_[first], 1);
    EXPECT_EQ(changes_[first] + changes_[matched_[1]], 0);

    send(add("BAT0"), "change");
    ASSERT_TRUE(runUntil([&] { return matched_.size() == 3 && changes_[matched_[2]] == 1; }));
    EXPECT_NE(matched_[2], first);
    EXPECT_EQ(registry_->copyProperties(first), std::nullopt);
}

}  // namespace
}  // namespace ampora
