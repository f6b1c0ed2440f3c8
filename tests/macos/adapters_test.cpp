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
using fake::value;
using I = std::int64_t;
using S = std::string;

class Adapters : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset(); }
    void TearDown() override {
        port.reset();
        EXPECT_EQ(fake::world().cfReferences, 0) << "CF references leaked or released twice";
        EXPECT_EQ(fake::world().ioReferences, 0) << "IOKit references leaked or released twice";
        EXPECT_EQ(fake::world().ports, 0);
    }

    PropertyDictionary convert(CFMutableDictionaryRef dictionary) {
        PropertyDictionary result = toPropertyDictionary(dictionary);
        CFRelease(dictionary);
        return result;
    }

    // What the watcher does: port on the run loop, first-match registration, then draining the
    // iterator, which reads the sources present and arms the notification.
    bool startWatching() {
        port = registry.createNotificationPort();
        if (!port->addRunLoopSourceToCurrentRunLoop()) return false;
        RegistryIterator* iterator = port->addFirstMatchNotification(
            "IOPMPowerSource", [this](RegistryIterator& it) { drain(it); });
        if (iterator) drain(*iterator);
        return iterator;
    }
    void drain(RegistryIterator& iterator) {
        for (RegistryEntry e = iterator.next(); e != kNoRegistryEntry; e = iterator.next()) {
            seen.push_back("appeared in pool " + std::to_string(openPools));
            port->addInterestNotification(e, [this](RegistryEntry, std::uint32_t type) {
                seen.push_back(std::to_string(type) + " in pool " + std::to_string(openPools));
            });
        }
    }

    IOKitDeviceRegistry registry;
    std::unique_ptr<NotificationPort> port;
    Strings seen;
};

TEST_F(Adapters, RegistryValuesKeepTheirKind) {
    const std::tuple<const char*, CFTypeRef, PropertyValue> entries[] = {
        {"FullPathUpdated", value(I{1464849055123}), I{1464849055123}},
        {"VirtualTemperature", value(30.25), 30.25},
        {"ExternalConnected", kCFBooleanFalse, false},
        {"BatteryInstalled", kCFBooleanTrue, true},
        {"IsCharging", value(I{1}), I{1}},  // a number, not a boolean
        {"DeviceName", value(S("bq20z451 \xC2\xB0 \xF0\x9F\x94\x8B")),
         S("bq20z451 \xC2\xB0 \xF0\x9F\x94\x8B")},
        {"ErrorCondition", value(S()), S()},
        {"CellVoltage", value({}), OtherObject{}},
    };
    CFMutableDictionaryRef dictionary = fake::dictionary({});
    PropertyDictionary expected;
    for (const auto& [key, cf, converted] : entries) {
        fake::put(dictionary, value(S(key)), cf);
        expected.set(key, converted);
    }
    fake::put(dictionary, value(I{7}), value(I{8}));  // a number names no property: left out
    EXPECT_EQ(convert(dictionary), expected);
    EXPECT_TRUE(toPropertyDictionary(nullptr).empty());
}

// Where each generation keeps the charge in mAh and the manufacture date.
TEST_F(Adapters, ChargeAndDateOfEachGenerationOfMac) {
    const auto data = [](auto... entries) { return fake::dictionary({entries...}); };
    struct Case {
        const char* mac;
        CFMutableDictionaryRef dictionary;
        std::optional<I> current, max, date;
    } cases[] = {
        {"Intel, 10.15",
         data(std::pair{"CurrentCapacity", value(I{87})}, std::pair{"MaxCapacity", value(I{100})},
              std::pair{"AppleRawCurrentCapacity", value(I{4318})},
              std::pair{"AppleRawMaxCapacity", value(I{5530})},
              std::pair{"ManufactureDate", value(I{17654})}),
         4318, 5530, 17654},
        {"Apple silicon, top level first",
         data(std::pair{"AppleRawCurrentCapacity", value(I{4412})},
              std::pair{"AppleRawMaxCapacity", value(I{5071})},
              std::pair{"BatteryData", data(std::pair{"FullChargeCapacity", value(I{1})})}),
         4412,
         5071,
         {}},
        {"newest, BatteryData only, its date in an unpublished encoding",
         data(std::pair{"BatteryData",
                        data(std::pair{"RemainingCapacity", value(I{3862})},
                             std::pair{"FullChargeCapacity", value(I{5082})},
                             std::pair{"ManufactureDate", value(I{54087348467250})})}),
         3862,
         5082,
         {}},
        {"BatteryData's raw keys first",
         data(std::pair{"BatteryData", data(std::pair{"AppleRawCurrentCapacity", value(I{2500})},
                                            std::pair{"RemainingCapacity", value(I{1})},
                                            std::pair{"AppleRawMaxCapacity", value(I{5000})})}),
         2500,
         5000,
         {}},
        {"UPS",
         data(std::pair{"AppleRawCurrentCapacity", value(S("4100"))},
              std::pair{"BatteryData", value({})}, std::pair{"ManufactureDate", value(1.0)}),
         {},
         {},
         {}},
        {"the date's new encoding on top",
         data(std::pair{"ManufactureDate", value(I{54087348467250})}),
         {},
         {},
         {}},
    };
    for (const Case& c : cases) {
        const PropertyDictionary properties = convert(c.dictionary);
        const auto integer = [&](const char* key) -> std::optional<I> {
            const PropertyValue* found = properties.lookup(key);
            return found ? std::optional(std::get<I>(*found)) : std::nullopt;
        };
        EXPECT_EQ(integer("CurrentCapacity"), c.current) << c.mac;
        EXPECT_EQ(integer("MaxCapacity"), c.max) << c.mac;
        EXPECT_EQ(integer("ManufactureDate"), c.date) << c.mac;
    }
}

TEST_F(Adapters, PowerSourcesPresentAndAttachedLaterAreReadAndFollowed) {
    const io_object_t first = fake::publish("IOPMPowerSource", fake::dictionary({}));
    fake::publish("IOUSBHostDevice", nullptr);  // not ours
    ASSERT_TRUE(startWatching());
    const io_object_t later =
        fake::publish("IOPMPowerSource", fake::dictionary({{"Amperage", value(I{-900})}}));
    EXPECT_EQ(*registry.copyProperties(later)->lookup("Amperage"), PropertyValue(I{-900}));
    fake::sendMessage(later, 0xE0024100);
    fake::sendMessage(first, 7);

    EXPECT_EQ(seen, (Strings{"appeared in pool 0", "appeared in pool 1", "3758244096 in pool 1",
                             "7 in pool 1"}));
    EXPECT_EQ(fake::world().calls,
              (Strings{"port 0", "run loop kCFRunLoopDefaultMode",
                       "match IOPMPowerSource IOServiceFirstMatch", "interest IOGeneralInterest",
                       "interest IOGeneralInterest", "properties 0"}));
}

TEST_F(Adapters, RegistryRefusingLeavesNothingBehind) {
    const io_object_t unreadable = fake::publish("IOPMPowerSource", nullptr);
    fake::world().interestResult = fake::kIOReturnError;
    ASSERT_TRUE(startWatching());
    EXPECT_FALSE(registry.copyProperties(unreadable).has_value());
    fake::sendMessage(unreadable, 0xE0024100);

    port.reset();  // and once the port is gone, nothing arrives
    fake::publish("IOPMPowerSource", fake::dictionary({}));
    EXPECT_EQ(seen, Strings{"appeared in pool 0"});

    fake::world().matchingResult = fake::kIOReturnError;
    EXPECT_FALSE(startWatching());
    fake::world().runLoopSource = false;
    EXPECT_FALSE(startWatching());
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
