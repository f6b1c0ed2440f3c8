// The IOKit registry adapter on a fake registry: power sources appearing, their messages, and
// the registry refusing.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fake_frameworks.h"
#include "platform/macos/iokit_device_registry.h"

namespace ampora::macos {
namespace {

constexpr std::uint32_t kBatteryStatusChanged = 0xE0024100;
constexpr std::uint32_t kPowerStateChange = 0xE0000280;

CFMutableDictionaryRef batteryProperties(std::int64_t amperage) {
    CFMutableDictionaryRef properties = fake::makeDictionary();
    fake::put(properties, "Amperage", fake::makeInt(amperage));
    fake::put(properties, "AppleRawCurrentCapacity", fake::makeInt(4100));
    fake::put(properties, "CurrentCapacity", fake::makeInt(80));
    return properties;
}

class PowerSources : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset(); }
    void TearDown() override {
        port_.reset();
        EXPECT_EQ(fake::livePorts(), 0);
        EXPECT_EQ(fake::heldIOReferences(), 0) << "IOKit handles outlived the port";
        EXPECT_EQ(fake::heldCFReferences(), 0) << "CF objects leaked";
        EXPECT_TRUE(fake::frameworks().faults.empty()) << fake::frameworks().faults.front();
        fake::reset();
    }

    // What the watcher does at start: port on the run loop, first-match registration, then
    // draining the iterator itself (which reads the sources present and arms the notification).
    bool startWatching() {
        port_ = registry_.createNotificationPort();
        if (!port_->addRunLoopSourceToCurrentRunLoop()) return false;
        RegistryIterator* iterator = port_->addFirstMatchNotification(
            "IOPMPowerSource", [this](RegistryIterator& it) { drain(it); });
        if (!iterator) return false;
        drain(*iterator);
        return true;
    }

    void drain(RegistryIterator& iterator) {
        for (RegistryEntry entry = iterator.next(); entry != kNoRegistryEntry;
             entry = iterator.next()) {
            appeared_.push_back(entry);
        }
    }

    void followMessages(RegistryEntry entry) {
        port_->addInterestNotification(entry, [this](RegistryEntry e, std::uint32_t message) {
            messages_.emplace_back(e, message);
        });
    }

    IOKitDeviceRegistry registry_;
    std::unique_ptr<NotificationPort> port_;
    std::vector<RegistryEntry> appeared_;
    std::vector<std::pair<RegistryEntry, std::uint32_t>> messages_;
};

TEST_F(PowerSources, BatteryPresentAtStartIsFoundReadAndFollowed) {
    const io_object_t battery = fake::publish("IOPMPowerSource", batteryProperties(-1500));

    ASSERT_TRUE(startWatching());
    ASSERT_EQ(appeared_, std::vector<RegistryEntry>{battery});
    const RegistryEntry entry = appeared_.front();

    const std::optional<PropertyDictionary> properties = registry_.copyProperties(entry);
    ASSERT_TRUE(properties.has_value());
    EXPECT_EQ(*properties->lookup("Amperage"), PropertyValue(std::int64_t{-1500}));
    EXPECT_EQ(*properties->lookup("CurrentCapacity"), PropertyValue(std::int64_t{4100}));

    followMessages(entry);
    fake::sendMessage(battery, kBatteryStatusChanged);
    fake::sendMessage(battery, kPowerStateChange);
    EXPECT_EQ(messages_, (std::vector<std::pair<RegistryEntry, std::uint32_t>>{
                             {entry, kBatteryStatusChanged}, {entry, kPowerStateChange}}));

    // Exactly the calls the platform documents for this.
    const fake::Frameworks& calls = fake::frameworks();
    EXPECT_EQ(calls.portsCreatedOnMainPort, std::vector<mach_port_t>{MACH_PORT_NULL});
    EXPECT_EQ(calls.runLoopModes, std::vector<std::string>{"kCFRunLoopDefaultMode"});
    EXPECT_EQ(calls.matchingClasses, std::vector<std::string>{"IOPMPowerSource"});
    EXPECT_EQ(calls.matchingTypes, std::vector<std::string>{"IOServiceFirstMatch"});
    EXPECT_EQ(calls.interestTypes, std::vector<std::string>{"IOGeneralInterest"});
    EXPECT_EQ(calls.propertyOptions, std::vector<IOOptionBits>{0});
    EXPECT_FALSE(calls.propertiesAskedWithOtherAllocator);
}

TEST_F(PowerSources, BatteryAttachedLaterArrivesThroughTheRunLoop) {
    ASSERT_TRUE(startWatching());
    EXPECT_TRUE(appeared_.empty()) << "nothing present, nothing announced";

    const io_object_t battery = fake::publish("IOPMPowerSource", batteryProperties(-900));
    fake::publish("IOUSBHostDevice", nullptr);  // some other device: not ours

    EXPECT_EQ(appeared_, std::vector<RegistryEntry>{battery});
    followMessages(battery);
    fake::sendMessage(battery, kBatteryStatusChanged);
    EXPECT_EQ(messages_.size(), 1u);

    // The callback drained the iterator again, so a second battery is announced too.
    const io_object_t second = fake::publish("IOPMPowerSource", batteryProperties(-100));
    EXPECT_EQ(appeared_, (std::vector<RegistryEntry>{battery, second}));
}

TEST_F(PowerSources, TwoBatteriesEachReportTheirOwnMessages) {
    const io_object_t first = fake::publish("IOPMPowerSource", batteryProperties(-700));
    const io_object_t second = fake::publish("IOPMPowerSource", batteryProperties(-300));

    ASSERT_TRUE(startWatching());
    ASSERT_EQ(appeared_.size(), 2u);
    const RegistryEntry b = appeared_[1];
    followMessages(appeared_[0]);
    followMessages(b);

    EXPECT_EQ(*registry_.copyProperties(b)->lookup("Amperage"), PropertyValue(std::int64_t{-300}));
    fake::sendMessage(second, kBatteryStatusChanged);
    fake::sendMessage(first, kBatteryStatusChanged);
    EXPECT_EQ(messages_, (std::vector<std::pair<RegistryEntry, std::uint32_t>>{
                             {second, kBatteryStatusChanged}, {first, kBatteryStatusChanged}}));
}

TEST_F(PowerSources, PortWithoutRunLoopSourceDeliversNothing) {
    fake::frameworks().portHasRunLoopSource = false;
    port_ = registry_.createNotificationPort();

    EXPECT_FALSE(port_->addRunLoopSourceToCurrentRunLoop());
    EXPECT_TRUE(fake::frameworks().runLoopModes.empty());
}

TEST_F(PowerSources, RefusedMatchingRegistrationLeavesNothingBehind) {
    fake::publish("IOPMPowerSource", batteryProperties(-1000));
    fake::frameworks().matchingResult = fake::kIOReturnNoResources;

    EXPECT_FALSE(startWatching());
    EXPECT_TRUE(appeared_.empty());
    EXPECT_EQ(fake::heldCFReferences(), 0) << "the matching dictionary is consumed even so";
}

TEST_F(PowerSources, BatteryWhosePropertiesCantBeReadGivesNothing) {
    const io_object_t battery = fake::publish("IOPMPowerSource", nullptr);
    ASSERT_TRUE(startWatching());

    EXPECT_EQ(appeared_, std::vector<RegistryEntry>{battery});
    EXPECT_FALSE(registry_.copyProperties(battery).has_value());
}

TEST_F(PowerSources, RefusedInterestRegistrationIsHarmless) {
    const io_object_t battery = fake::publish("IOPMPowerSource", batteryProperties(-1000));
    ASSERT_TRUE(startWatching());
    fake::frameworks().interestResult = fake::kIOReturnNoResources;

    followMessages(battery);
    fake::sendMessage(battery, kBatteryStatusChanged);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(PowerSources, NothingArrivesOnceThePortIsGone) {
    const io_object_t battery = fake::publish("IOPMPowerSource", batteryProperties(-1000));
    ASSERT_TRUE(startWatching());
    followMessages(battery);
    appeared_.clear();

    port_.reset();
    fake::sendMessage(battery, kBatteryStatusChanged);
    fake::publish("IOPMPowerSource", batteryProperties(-5));

    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(appeared_.size(), 0u);
}

}  // namespace
}  // namespace ampora::macos
