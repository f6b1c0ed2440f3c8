// The udev registry against simulated power supplies (umockdev): what the power-source watcher
// is told and reads as batteries and adapters come, go and change.
#include <glib.h>
#include <gtest/gtest.h>
#include <umockdev.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/linux/registry/udev_device_registry.h"
#include "platform/linux/registry/udev_notification_port.h"

namespace ampora {
namespace {

// umockdev's event socket queues ten datagrams (net.unix.max_dgram_qlen) and aborts when it is
// full, so storms are sent in slices.
constexpr int kEventsInFlight = 8;

using Attributes = std::map<std::string, std::string>;

const Attributes kBattery = {{"type", "Battery"},
                             {"status", "Discharging"},
                             {"present", "1"},
                             {"current_now", "1500000"},
                             {"charge_now", "3000000"},
                             {"charge_full", "4000000"},
                             {"charge_full_design", "5000000"}};
const Attributes kAdapter = {{"type", "Mains"}, {"online", "1"}};

class PowerSupplies : public ::testing::Test {
  protected:
    void SetUp() override {
        g_log_set_always_fatal(
            GLogLevelFlags(G_LOG_FATAL_MASK | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL));
        testbed_ = umockdev_testbed_new();
        if (!umockdev_in_mock_environment()) GTEST_SKIP() << "run through umockdev-wrapper";
    }

    void TearDown() override {
        port_.reset();
        registry_.reset();
        g_object_unref(testbed_);
    }

    // Like the kernel, gives the type as an event property too; umockdev sends "add" itself.
    std::string add(const char* name, Attributes attributes, const char* scope = "System") {
        attributes["scope"] = scope;
        std::vector<gchar*> list;
        for (auto& [key, value] : attributes) {
            list.push_back(const_cast<gchar*>(key.c_str()));
            list.push_back(value.data());
        }
        list.push_back(nullptr);
        gchar* properties[] = {const_cast<gchar*>("POWER_SUPPLY_TYPE"), attributes["type"].data(),
                               nullptr};
        gchar* path = umockdev_testbed_add_devicev(testbed_, "power_supply", name, nullptr,
                                                   list.data(), properties);
        std::string syspath(path);
        g_free(path);
        return syspath;
    }
    void set(const std::string& path, const char* name, const std::string& value) {
        umockdev_testbed_set_attribute(testbed_, path.c_str(), name, value.c_str());
    }
    void send(const std::string& path, const char* action) {
        umockdev_testbed_uevent(testbed_, path.c_str(), action);
    }
    void unplug(const std::string& path) {
        send(path, "remove");
        umockdev_testbed_remove_device(testbed_, path.c_str());
    }

    // As the power-source watcher does: read every new entry and subscribe to it, from inside
    // the registry's callbacks.
    void startWatching() {
        registry_ = std::make_unique<UdevDeviceRegistry>();
        port_ = registry_->createNotificationPort();
        ASSERT_TRUE(port_->addRunLoopSourceToCurrentRunLoop());
        auto* iterator = port_->addFirstMatchNotification(
            kPowerSourceClass, [this](RegistryIterator& entries) { drain(entries); });
        ASSERT_NE(iterator, nullptr);
        drain(*iterator);
    }
    void drain(RegistryIterator& entries) {
        for (auto entry = entries.next(); entry != kNoRegistryEntry; entry = entries.next()) {
            matched_.push_back(entry);
            read(entry);
            port_->addInterestNotification(entry, [this](RegistryEntry e, std::uint32_t type) {
                ++(type == kMessageBatteryStatusChanged ? changes_ : otherMessages_)[e];
                if (type == kMessageBatteryStatusChanged) read(e);
            });
        }
    }
    void read(RegistryEntry entry) {
        shown_[entry] = registry_->copyProperties(entry).value_or(PropertyDictionary{});
    }
    std::optional<std::int64_t> shown(RegistryEntry entry, const char* key) {
        const PropertyValue* value = shown_[entry].lookup(key);
        if (value == nullptr) return std::nullopt;
        if (const bool* flag = std::get_if<bool>(value)) return *flag;
        return std::get<std::int64_t>(*value);
    }

    // Runs the main loop until done() holds; fails after ten seconds.
    static ::testing::AssertionResult runUntil(const std::function<bool()>& done) {
        bool expired = false;
        const auto expire = [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        };
        const guint timer = g_timeout_add_seconds(10, expire, &expired);
        while (!done() && !expired) g_main_context_iteration(nullptr, TRUE);
        if (!expired) g_source_remove(timer);
        return done() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "timeout";
    }
    static ::testing::AssertionResult sendPaced(int count, const std::function<void(int)>& sendOne,
                                                const std::function<int()>& delivered) {
        for (int sent = 1; sent <= count; ++sent) {
            sendOne(sent);
            if (sent % kEventsInFlight != 0 && sent != count) continue;
            if (!runUntil([&] { return delivered() >= sent; })) {
                return ::testing::AssertionFailure() << delivered() << " of " << sent;
            }
        }
        return ::testing::AssertionSuccess();
    }

    UMockdevTestbed* testbed_ = nullptr;
    std::unique_ptr<UdevDeviceRegistry> registry_;
    std::unique_ptr<NotificationPort> port_;
    std::vector<RegistryEntry> matched_;
    std::map<RegistryEntry, int> changes_, otherMessages_;
    std::map<RegistryEntry, PropertyDictionary> shown_;
};

TEST_F(PowerSupplies, TwoBatteriesAtStartAreReadAtOnceAndEachFollowsOnlyItsOwnChanges) {
    add("AC", {{"type", "Mains"}, {"online", "0"}});
    const auto first = add("BAT0", kBattery);
    const auto second = add("BAT1", kBattery);
    startWatching();
    ASSERT_EQ(matched_.size(), 2u);
    EXPECT_EQ(shown(matched_[0], "MaxCapacity"), 4000);
    EXPECT_EQ(shown(matched_[0], "ExternalConnected"), false);

    set(second, "current_now", "700000");  // read afresh, never from libudev's cache
    send(second, "change");
    send(first, "change");
    ASSERT_TRUE(runUntil([&] { return changes_[matched_[0]] == 1; }));
    EXPECT_EQ(changes_[matched_[1]], 1);
    EXPECT_EQ(shown(matched_[0], "Amperage"), -1500);
    EXPECT_EQ(shown(matched_[1], "Amperage"), -700);
    EXPECT_EQ(matched_.size(), 2u);
}

TEST_F(PowerSupplies, BatteryPulledOutIsTerminatedAndPutBackIsANewEntry) {
    const auto battery = add("BAT0", kBattery);
    startWatching();
    const RegistryEntry first = matched_.at(0);
    unplug(battery);
    ASSERT_TRUE(runUntil([&] { return otherMessages_[first] == 1; }));
    EXPECT_EQ(changes_[first], 0);
    EXPECT_EQ(registry_->copyProperties(first), std::nullopt);

    const auto again = add("BAT0", kBattery);
    ASSERT_TRUE(runUntil([&] { return matched_.size() == 2; }));
    EXPECT_NE(matched_[1], first);
    send(again, "change");
    ASSERT_TRUE(runUntil([&] { return changes_[matched_[1]] == 1; }));
    EXPECT_EQ(matched_.size(), 2u);
}

// Dual-bay laptops publish the empty bay too; showing it would blank the display.
TEST_F(PowerSupplies, BatterySwappedIntoAnEmptyBayIsFollowedOnlyWhileItIsIn) {
    Attributes emptyBay = kBattery;
    emptyBay["present"] = "0";
    const auto bay = add("BAT1", emptyBay);
    startWatching();
    EXPECT_TRUE(matched_.empty());
    set(bay, "present", "1");
    send(bay, "change");
    ASSERT_TRUE(runUntil([&] { return matched_.size() == 1; }));
    set(bay, "present", "0");
    send(bay, "change");
    ASSERT_TRUE(runUntil([&] { return otherMessages_[matched_[0]] == 1; }));
    EXPECT_EQ(changes_[matched_[0]], 0);
}

TEST_F(PowerSupplies, AcAdapterFlapping1000TimesReachesBothBatteriesEveryTime) {
    const auto adapter = add("AC", kAdapter);
    add("BAT0", kBattery);
    add("BAT1", kBattery);
    startWatching();
    ASSERT_EQ(matched_.size(), 2u);
    const int flaps = 1000;
    ASSERT_TRUE(sendPaced(
        flaps,
        [&](int flap) {
            set(adapter, "online", flap % 2 == 0 ? "1" : "0");
            send(adapter, "change");
        },
        [&] { return std::min(changes_[matched_[0]], changes_[matched_[1]]); }));
    EXPECT_EQ(changes_[matched_[0]], flaps);
    EXPECT_EQ(changes_[matched_[1]], flaps);
    EXPECT_EQ(shown(matched_[1], "ExternalConnected"), true);

    unplug(adapter);  // USB-C supplies vanish when unplugged
    ASSERT_TRUE(runUntil([&] { return changes_[matched_[1]] == flaps + 1; }));
    EXPECT_EQ(shown(matched_[1], "ExternalConnected"), false);
}

TEST_F(PowerSupplies, BurstOf10000ChangesIsReadInFullAndEndsOnTheLastValue) {
    const auto battery = add("BAT0", kBattery);
    startWatching();
    const int events = 10000;
    ASSERT_TRUE(sendPaced(
        events,
        [&](int event) {
            set(battery, "current_now", std::to_string(event * 1000));
            send(battery, "change");
        },
        [&] { return changes_[matched_.at(0)]; }));
    EXPECT_EQ(changes_[matched_[0]], events);
    EXPECT_EQ(shown(matched_[0], "Amperage"), -events);
}

TEST_F(PowerSupplies, EnergyOnlyBatteryInsertedLaterShowsMilliampHours) {
    startWatching();
    add("BAT0", {{"type", "Battery"},
                 {"status", "Discharging"},
                 {"energy_now", "48000000"},
                 {"energy_full", "60000000"},
                 {"voltage_min_design", "12000000"},
                 {"voltage_now", "12000000"},
                 {"power_now", "18000000"}});
    ASSERT_TRUE(runUntil([&] { return matched_.size() == 1; }));
    EXPECT_EQ(shown(matched_[0], "CurrentCapacity"), 4000);
    EXPECT_EQ(shown(matched_[0], "MaxCapacity"), 5000);
    EXPECT_EQ(shown(matched_[0], "Amperage"), -1500);
}

TEST_F(PowerSupplies, AttributesTurningToGarbageMidRunDropOnlyThoseFigures) {
    const auto battery = add("BAT0", kBattery);
    startWatching();
    set(battery, "current_now", "");
    set(battery, "charge_now", "not a number");
    set(battery, "charge_full", "99999999999999999999999");
    set(battery, "charge_full_design", "-5000000");
    send(battery, "change");
    ASSERT_TRUE(runUntil([&] { return changes_[matched_.at(0)] == 1; }));
    for (const char* key : {"Amperage", "CurrentCapacity", "MaxCapacity", "DesignCapacity"}) {
        EXPECT_EQ(shown(matched_[0], key), std::nullopt) << key;
    }
    EXPECT_EQ(shown(matched_[0], "BatteryInstalled"), true);
}

TEST_F(PowerSupplies, MouseBatteryIsNeverAPowerSource) {
    const auto mouse = add("hidpp_battery_0", kBattery, "Device");
    const auto battery = add("BAT0", kBattery);
    startWatching();
    ASSERT_EQ(matched_.size(), 1u);
    send(mouse, "change");
    add("hidpp_battery_1", kBattery, "Device");
    send(battery, "change");  // events arrive in order: once this one is in, so are the others
    ASSERT_TRUE(runUntil([&] { return changes_[matched_[0]] == 1; }));
    EXPECT_EQ(matched_.size(), 1u);
}

}  // namespace
}  // namespace ampora
