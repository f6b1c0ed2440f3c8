// The C++ adapters over CoreFoundation, IOKit and ServiceManagement, on the fake frameworks.
// Registry layouts follow published `ioreg -r -c AppleSmartBattery` dumps.
#include <gtest/gtest.h>

#include <tuple>

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
using fake::dictionary;
using fake::value;

class Adapters : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset(); }
    void TearDown() override {
        EXPECT_EQ(fake::world().cfReferences, 0) << "CF references leaked or released twice";
        EXPECT_EQ(fake::world().ioReferences, 0) << "IOKit references leaked or released twice";
    }
};

// What the battery reader gets from each generation of Mac, and from odd values. Each case adds
// its entries, with what they become (nothing: left out), to the percentages of Apple silicon.
TEST_F(Adapters, RegistryDictionariesOfEachGeneration) {
    const std::string name = "bq20z451 \xC2\xB0 \xF0\x9F\x94\x8B";
    const I undecoded = 54087348467250;  // current systems' date, in an encoding no source explains
    const struct Case {
        std::vector<std::tuple<const char*, CFTypeRef, std::optional<PropertyValue>>> entries;
        I current = 87, max = 100;
    } cases[] = {
        {{{"BatteryInstalled", kCFBooleanTrue, true},
          {"ExternalConnected", kCFBooleanFalse, false},
          {"FullPathUpdated", value(I{1464849055123}), I{1464849055123}},
          {"VirtualTemperature", value(30.25), 30.25},
          {"DeviceName", value(name), name},
          {"ErrorCondition", value(std::string()), std::string()},
          {"ManufactureDate", value(I{17654}), I{17654}},  // 2014-07-22
          {"AppleRawCurrentCapacity", value(std::string("4")), std::string("4")}}},
        // mAh: top level first, then BatteryData's raw keys, then its charge.
        {{{"AppleRawMaxCapacity", value(I{5530}), I{5530}},
          {"BatteryData", dictionary({{"FullChargeCapacity", value(I{1})}}), OtherObject{}}},
         87,
         5530},
        {{{"BatteryData",
           dictionary({{"AppleRawCurrentCapacity", value(I{2500})},
                       {"RemainingCapacity", value(I{1})},
                       {"FullChargeCapacity", value(I{5082})},
                       {"ManufactureDate", value(undecoded)}}),  // stays in there
           OtherObject{}}},
         2500,
         5082},
        {{{"BatteryData", dictionary({{"RemainingCapacity", value(I{3862})}}), OtherObject{}},
          {"ManufactureDate", value(undecoded), std::nullopt}},
         3862},
        {{{"BatteryData", value({}), OtherObject{}},
          {"ManufactureDate", value(1.0), std::nullopt}}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<const char*, CFTypeRef>> entries{{"CurrentCapacity", value(I{87})},
                                                               {"MaxCapacity", value(I{100})}};
        std::size_t kept = 2;
        for (const auto& [key, item, converted] : c.entries) {
            entries.emplace_back(key, item);
            kept += converted.has_value();
        }
        CFMutableDictionaryRef registry = dictionary(entries);
        fake::put(registry, value(I{7}), value(I{8}));  // a number names no property
        const PropertyDictionary properties = toPropertyDictionary(registry);
        CFRelease(registry);

        const std::string what = std::get<0>(c.entries.back());
        for (const auto& [key, item, converted] : c.entries) {
            const PropertyValue* found = properties.lookup(key);
            EXPECT_EQ(found ? std::optional(*found) : std::nullopt, converted) << key;
        }
        EXPECT_EQ(*properties.lookup("CurrentCapacity"), PropertyValue(c.current)) << what;
        EXPECT_EQ(*properties.lookup("MaxCapacity"), PropertyValue(c.max)) << what;
        EXPECT_EQ(properties.size(), kept) << what;
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
    const io_object_t unreadable = fake::publish(nullptr);
    ASSERT_TRUE(port->addRunLoopSourceToCurrentRunLoop());
    drain(*port->addFirstMatchNotification("IOPMPowerSource", drain));
    fake::world().failing = {"interest"};  // this one is never followed
    const io_object_t later = fake::publish(dictionary({}));
    fake::sendMessage(unreadable, 0xE0024100);
    fake::sendMessage(later, 0xE0024100);
    EXPECT_FALSE(registry.copyProperties(unreadable).has_value());
    EXPECT_TRUE(registry.copyProperties(later).has_value());
    port.reset();
    fake::publish(dictionary({}));
    fake::sendMessage(unreadable, 0xE0024100);
    EXPECT_EQ(seen, (Strings{"entry in pool 0", "entry in pool 1", "3758244096 in pool 1"}));

    fake::world().failing = {"match"};
    port = registry.createNotificationPort();
    EXPECT_EQ(port->addFirstMatchNotification("IOPMPowerSource", drain), nullptr);
    for (const char* failing : {"source", "port"}) {
        fake::world().failing = {failing};
        EXPECT_FALSE(registry.createNotificationPort()->addRunLoopSourceToCurrentRunLoop());
    }
}

TEST_F(Adapters, LegacyLoginItemRegistersTheHelperAndReportsRefusals) {
    EXPECT_TRUE(setLegacyLoginItemEnabled(HelperBundleIdentifier, true));
    fake::world().failing = {"login item"};
    EXPECT_FALSE(setLegacyLoginItemEnabled(HelperBundleIdentifier, false));
    const std::string item(HelperBundleIdentifier);
    EXPECT_EQ(fake::world().loginItems, (Strings{item + " on", item + " off"}));
}

}  // namespace
}  // namespace ampora::macos
