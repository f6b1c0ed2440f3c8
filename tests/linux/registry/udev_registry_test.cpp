// The udev registry against simulated power supplies (umockdev): what the power-source watcher
// is told and reads as batteries and adapters come, go and change.
#include <glib.h>
#include <gtest/gtest.h>
#include <umockdev.h>

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
    std::optional<std::int64_t> shown(RegistryEntry entry, const char* key) {
        const PropertyValue* value = shown_[entry].lookup(key);
        if (value == nullptr) return std::nullopt;
        if (const bool* flag = std::get_if<bool>(value)) return *flag;
        return std::get<std::int64_t>(*value);
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
// of external power, a USB-C supply vanishing included, reaches every battery.
TEST_F(PowerSupplies, TwoBatteriesFollowTheirOwnChangesAndTheAdapter) {
    const auto adapter = add("AC", "Mains");
    const auto first = add("BAT0");
    const auto second = add("BAT1");
    startWatching();
    ASSERT_EQ(matched_.size(), 2u);
    EXPECT_EQ(shown(matched_[0], "MaxCapacity"), 4000);
    send(second, "change", "current_now", "700000");
    send(first, "change");
    ASSERT_TRUE(runUntil([&] { return changes_[matched_[0]] == 1; }));
    EXPECT_EQ(changes_[matched_[1]], 1);
    EXPECT_EQ(shown(matched_[0], "Amperage"), -1500);
    EXPECT_EQ(shown(matched_[1], "Amperage"), -700);

    // Online is 1 for a fixed supply, 2 for a programmable one (USB Power Delivery).
    const std::pair<const char*, bool> flaps[] = {{"1", true}, {"0", false}, {"2", true}};
    int change = 1;
    for (const auto& [online, connected] : flaps) {
        send(adapter, "change", "online", online);
        ASSERT_TRUE(runUntil([&] { return changes_[matched_[1]] == change + 1; }));
        EXPECT_EQ(changes_[matched_[0]], ++change);
        EXPECT_EQ(shown(matched_[0], "ExternalConnected"), connected);
    }
    send(adapter, "remove");
    ASSERT_TRUE(runUntil([&] { return changes_[matched_[1]] == change + 1; }));
    EXPECT_EQ(shown(matched_[1], "ExternalConnected"), false);
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
    EXPECT_EQ(registry_->copyProperties(first), std::nullopt);

    send(add("BAT0"), "change");
    ASSERT_TRUE(runUntil([&] { return matched_.size() == 3 && changes_[matched_[2]] == 1; }));
    EXPECT_NE(matched_[2], first);
}

}  // namespace
}  // namespace ampora
