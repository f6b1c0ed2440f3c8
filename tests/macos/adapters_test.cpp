// The C++ adapters over CoreFoundation, IOKit and ServiceManagement, on the fake frameworks.
// Registry layouts follow published `ioreg -r -c AppleSmartBattery` dumps.
#include <gtest/gtest.h>

#include "fake_frameworks.h"
#include "platform/macos/autorelease_pool.h"
#include "platform/macos/cf_property_dictionary.h"
#include "platform/macos/iokit_device_registry.h"
#include "platform/macos/sm_login_item.h"
#include "shared/identifiers.h"

namespace ampora::macos {

// No Objective-C here: the pool only tells whether a callback runs inside one.
int openPools = 0;
AutoreleasePool::AutoreleasePool() : pool_(nullptr) {
    ++openPools;
}
AutoreleasePool::~AutoreleasePool() {
    --openPools;
}

namespace {

using Strings = std::vector<std::string>;
using I = std::int64_t;
using fake::value;

class Adapters : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset(); }
    void TearDown() override {
        EXPECT_EQ(fake::world().cfReferences, 0) << "CF references leaked or released twice";
        EXPECT_EQ(fake::world().ioReferences, 0) << "IOKit references leaked or released twice";
        EXPECT_EQ(fake::world().ports, 0);
    }
};

// What the battery reader gets from each generation of Mac, and from odd values. Each registry
// dictionary has the percentages of Apple silicon plus the entries of its case.
TEST_F(Adapters, RegistryDictionariesOfEachGeneration) {
    using Entries = std::vector<std::pair<const char*, CFTypeRef>>;
    const std::string name = "bq20z451 \xC2\xB0 \xF0\x9F\x94\x8B";
    const struct Case {
        Entries entries;
        const char* key;
        std::optional<PropertyValue> converted;
        I current = 87, max = 100;
    } cases[] = {
        {{{"BatteryInstalled", kCFBooleanTrue}}, "BatteryInstalled", true},
        {{{"ExternalConnected", kCFBooleanFalse}}, "ExternalConnected", false},
        {{{"IsCharging", value(I{1})}}, "IsCharging", I{1}},  // a number, not a boolean
        {{{"FullPathUpdated", value(I{1464849055123})}}, "FullPathUpdated", I{1464849055123}},
        {{{"VirtualTemperature", value(30.25)}}, "VirtualTemperature", 30.25},
        {{{"DeviceName", value(name)}}, "DeviceName", name},
        {{{"ErrorCondition", value(std::string())}}, "ErrorCondition", std::string()},
        {{{"CellVoltage", value({})}}, "CellVoltage", OtherObject{}},
        {{{"ManufactureDate", value(I{17654})}}, "ManufactureDate", I{17654}},  // 2014-07-22
        // The encoding of current systems' date, which no public source explains.
        {{{"ManufactureDate", value(I{54087348467250})}}, "ManufactureDate", std::nullopt},
        {{{"ManufactureDate", value(1.0)}}, "ManufactureDate", std::nullopt},
        {{{"AppleRawCurrentCapacity", value(std::string("4100"))}}, "CurrentCapacity", I{87}},
        // mAh: top level first, then BatteryData's raw keys, then its charge.
        {{{"AppleRawMaxCapacity", value(I{5530})},
          {"BatteryData", fake::dictionary({{"FullChargeCapacity", value(I{1})}})}},
         "AppleRawMaxCapacity",
         I{5530},
         87,
         5530},
        {{{"BatteryData", fake::dictionary({{"AppleRawCurrentCapacity", value(I{2500})},
                                            {"RemainingCapacity", value(I{1})},
                                            {"FullChargeCapacity", value(I{5082})},
                                            {"ManufactureDate", value(I{54087348467250})}})}},
         "BatteryData",  // whose date stays in it
         OtherObject{},
         2500,
         5082},
        {{{"BatteryData", fake::dictionary({{"RemainingCapacity", value(I{3862})}})}},
         "BatteryData",
         OtherObject{},
         3862},
        {{{"BatteryData", value({})}}, "BatteryData", OtherObject{}},
    };
    for (const Case& c : cases) {
        CFMutableDictionaryRef dictionary =
            fake::dictionary({{"CurrentCapacity", value(I{87})}, {"MaxCapacity", value(I{100})}});
        for (const auto& [key, item] : c.entries) fake::put(dictionary, value(key), item);
        fake::put(dictionary, value(I{7}), value(I{8}));  // a number names no property
        const PropertyDictionary properties = toPropertyDictionary(dictionary);
        CFRelease(dictionary);

        const PropertyValue* found = properties.lookup(c.key);
        EXPECT_EQ(found ? std::optional(*found) : std::nullopt, c.converted) << c.key;
        EXPECT_EQ(*properties.lookup("CurrentCapacity"), PropertyValue(c.current)) << c.key;
        EXPECT_EQ(*properties.lookup("MaxCapacity"), PropertyValue(c.max)) << c.key;
        EXPECT_EQ(properties.size(), 2 + c.entries.size() - !c.converted) << c.key;
    }
    EXPECT_TRUE(toPropertyDictionary(nullptr).empty());
}

TEST_F(Adapters, PowerSourcesAreFollowedUntilThePortGoes) {
    IOKitDeviceRegistry registry;
    std::unique_ptr<NotificationPort> port = registry.createNotificationPort();
    Strings seen;
    const auto drain = [&](RegistryIterator& iterator) {
        for (RegistryEntry e = iterator.next(); e != kNoRegistryEntry; e = iterator.next()) {
            seen.push_back("entry in pool " + std::to_string(openPools));
            port->addInterestNotification(e, [&](RegistryEntry, std::uint32_t type) {
                seen.push_back(std::to_string(type) + " in pool " + std::to_string(openPools));
            });
        }
    };
    const io_object_t unreadable = fake::publish("IOPMPowerSource", nullptr);
    ASSERT_TRUE(port->addRunLoopSourceToCurrentRunLoop());
    drain(*port->addFirstMatchNotification("IOPMPowerSource", drain));
    fake::world().interestResult = fake::kIOReturnError;  // this one is never followed
    const io_object_t later = fake::publish("IOPMPowerSource", fake::dictionary({}));
    fake::sendMessage(unreadable, 0xE0024100);
    fake::sendMessage(later, 0xE0024100);
    EXPECT_FALSE(registry.copyProperties(unreadable).has_value());
    EXPECT_TRUE(registry.copyProperties(later).has_value());
    port.reset();
    fake::publish("IOPMPowerSource", fake::dictionary({}));
    fake::sendMessage(unreadable, 0xE0024100);

    EXPECT_EQ(seen, (Strings{"entry in pool 0", "entry in pool 1", "3758244096 in pool 1"}));
    EXPECT_EQ(fake::world().calls,
              (Strings{"port 0", "run loop kCFRunLoopDefaultMode",
                       "match IOPMPowerSource IOServiceFirstMatch", "interest IOGeneralInterest",
                       "interest IOGeneralInterest", "properties 0", "properties 0"}));

    fake::world().matchingResult = fake::kIOReturnError;
    port = registry.createNotificationPort();
    EXPECT_EQ(port->addFirstMatchNotification("IOPMPowerSource", drain), nullptr);
    fake::world().runLoopSource = false;
    EXPECT_FALSE(registry.createNotificationPort()->addRunLoopSourceToCurrentRunLoop());
    fake::world().portCreated = false;
    EXPECT_FALSE(registry.createNotificationPort()->addRunLoopSourceToCurrentRunLoop());
}

TEST_F(Adapters, LegacyLoginItemRegistersTheHelperAndReportsRefusals) {
    EXPECT_TRUE(setLegacyLoginItemEnabled(HelperBundleIdentifier, true));
    fake::world().loginItemResult = false;
    EXPECT_FALSE(setLegacyLoginItemEnabled(HelperBundleIdentifier, false));
    const std::string item = "login item " + std::string(HelperBundleIdentifier);
    EXPECT_EQ(fake::world().calls, (Strings{item + " on", item + " off"}));
}

}  // namespace
}  // namespace ampora::macos
