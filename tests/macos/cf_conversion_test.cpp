// Registry dictionaries of real machine generations, converted to what the battery reader sees.
// The layouts follow published `ioreg -rc AppleSmartBattery` dumps.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "fake_frameworks.h"
#include "platform/macos/cf_property_dictionary.h"

namespace ampora::macos {
namespace {

class RegistryDictionary : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        dictionary_ = fake::makeDictionary();
    }
    void TearDown() override {
        CFRelease(dictionary_);
        EXPECT_EQ(fake::heldCFReferences(), 0) << "the conversion kept or leaked CF references";
        EXPECT_TRUE(fake::frameworks().faults.empty()) << fake::frameworks().faults.front();
        fake::reset();
    }

    void putInt(const std::string& key, std::int64_t value) {
        fake::put(dictionary_, key, fake::makeInt(value));
    }
    void putBool(const std::string& key, bool value) {
        fake::put(dictionary_, key, CFRetain(value ? kCFBooleanTrue : kCFBooleanFalse));
    }
    void putString(const std::string& key, const std::string& value) {
        fake::put(dictionary_, key, fake::makeString(value));
    }
    // The "BatteryData" sub-dictionary of Apple Silicon Macs.
    CFMutableDictionaryRef putBatteryData() {
        CFMutableDictionaryRef batteryData = fake::makeDictionary();
        CFRetain(batteryData);
        fake::put(dictionary_, "BatteryData", batteryData);
        CFRelease(batteryData);  // still held by dictionary_
        return batteryData;
    }

    PropertyDictionary convert() const { return toPropertyDictionary(dictionary_); }

    CFMutableDictionaryRef dictionary_ = nullptr;
};

std::int64_t intAt(const PropertyDictionary& properties, std::string_view key) {
    const PropertyValue* value = properties.lookup(key);
    if (!value || !std::holds_alternative<std::int64_t>(*value)) {
        ADD_FAILURE() << key << " is not an integer";
        return -1;
    }
    return std::get<std::int64_t>(*value);
}

TEST_F(RegistryDictionary, IntelMacBookShowsRawMilliampereHoursAndKeepsEverythingElse) {
    putBool("ExternalConnected", false);
    putBool("IsCharging", false);
    putBool("BatteryInstalled", true);
    putInt("CurrentCapacity", 4332);
    putInt("MaxCapacity", 5524);
    putInt("AppleRawCurrentCapacity", 4318);
    putInt("AppleRawMaxCapacity", 5530);
    putInt("DesignCapacity", 6559);
    putInt("CycleCount", 312);
    putInt("Temperature", 3032);
    putInt("Amperage", -1234);  // ioreg prints it as 18446744073709550382
    putInt("ManufactureDate", 17654);
    putString("BatterySerialNumber", "D865033Y2CXF9CPAW");
    fake::put(dictionary_, "CellVoltage", fake::makeOpaque());

    const PropertyDictionary properties = convert();

    EXPECT_EQ(intAt(properties, "CurrentCapacity"), 4318);
    EXPECT_EQ(intAt(properties, "MaxCapacity"), 5530);
    EXPECT_EQ(intAt(properties, "DesignCapacity"), 6559);
    EXPECT_EQ(intAt(properties, "Amperage"), -1234);
    EXPECT_EQ(intAt(properties, "ManufactureDate"), 17654);
    EXPECT_EQ(*properties.lookup("ExternalConnected"), PropertyValue(false));
    EXPECT_EQ(*properties.lookup("BatteryInstalled"), PropertyValue(true));
    EXPECT_EQ(*properties.lookup("BatterySerialNumber"),
              PropertyValue(std::string("D865033Y2CXF9CPAW")));
    EXPECT_EQ(*properties.lookup("CellVoltage"), PropertyValue(OtherObject{}));
    EXPECT_EQ(properties.size(), 14u);
}

TEST_F(RegistryDictionary, AppleSiliconPercentagesAreReplacedByTopLevelMilliampereHours) {
    putInt("CurrentCapacity", 87);
    putInt("MaxCapacity", 100);
    putInt("AppleRawCurrentCapacity", 4412);
    putInt("AppleRawMaxCapacity", 5071);
    putInt("NominalChargeCapacity", 5233);
    putInt("DesignCapacity", 4382);
    CFMutableDictionaryRef batteryData = putBatteryData();
    fake::put(batteryData, "DesignCapacity", fake::makeInt(4382));
    fake::put(batteryData, "FullChargeCapacity", fake::makeInt(9999));  // not preferred

    const PropertyDictionary properties = convert();

    EXPECT_EQ(intAt(properties, "CurrentCapacity"), 4412);
    EXPECT_EQ(intAt(properties, "MaxCapacity"), 5071);
    EXPECT_EQ(intAt(properties, "DesignCapacity"), 4382);
    EXPECT_EQ(*properties.lookup("BatteryData"), PropertyValue(OtherObject{}));
}

TEST_F(RegistryDictionary, NewestLayoutTakesMilliampereHoursFromBatteryData) {
    putInt("CurrentCapacity", 76);
    putInt("MaxCapacity", 100);
    putInt("DesignCapacity", 6075);
    CFMutableDictionaryRef batteryData = putBatteryData();
    fake::put(batteryData, "RemainingCapacity", fake::makeInt(3862));
    fake::put(batteryData, "FullChargeCapacity", fake::makeInt(5082));
    fake::put(batteryData, "CycleCount", fake::makeInt(41));

    const PropertyDictionary properties = convert();

    EXPECT_EQ(intAt(properties, "CurrentCapacity"), 3862);
    EXPECT_EQ(intAt(properties, "MaxCapacity"), 5082);
    EXPECT_EQ(properties.lookup("RemainingCapacity"), nullptr) << "nested keys stay nested";
}

TEST_F(RegistryDictionary, BatteryDataWithRawKeysOfItsOwnIsUsed) {
    putInt("CurrentCapacity", 50);
    putInt("MaxCapacity", 100);
    CFMutableDictionaryRef batteryData = putBatteryData();
    fake::put(batteryData, "AppleRawCurrentCapacity", fake::makeInt(2500));
    fake::put(batteryData, "RemainingCapacity", fake::makeInt(1));
    fake::put(batteryData, "AppleRawMaxCapacity", fake::makeInt(5000));

    const PropertyDictionary properties = convert();

    EXPECT_EQ(intAt(properties, "CurrentCapacity"), 2500);
    EXPECT_EQ(intAt(properties, "MaxCapacity"), 5000);
}

TEST_F(RegistryDictionary, UpsWithoutCapacityKeysGetsNoneInvented) {
    putString("Name", "Back-UPS ES 700");
    putString("Type", "UPS");
    putBool("Is Present", true);
    fake::put(dictionary_, "BatteryData", fake::makeOpaque());  // not a dictionary here

    const PropertyDictionary properties = convert();

    EXPECT_EQ(properties.lookup("CurrentCapacity"), nullptr);
    EXPECT_EQ(properties.lookup("MaxCapacity"), nullptr);
    EXPECT_EQ(properties.size(), 4u);
}

TEST_F(RegistryDictionary, RawValueThatIsNotANumberLeavesTheRegistryValue) {
    putInt("CurrentCapacity", 4000);
    putString("AppleRawCurrentCapacity", "4100");

    EXPECT_EQ(intAt(convert(), "CurrentCapacity"), 4000);
}

TEST_F(RegistryDictionary, ValuesKeepTheirKindWhateverTheirWidth) {
    fake::put(dictionary_, "Location", fake::makeInt(-3, kCFNumberSInt8Type));
    fake::put(dictionary_, "Voltage", fake::makeInt(12889, kCFNumberSInt16Type));
    fake::put(dictionary_, "InstantAmperage", fake::makeInt(-2100, kCFNumberSInt32Type));
    fake::put(dictionary_, "FullPathUpdated", fake::makeInt(1464849055123, kCFNumberSInt64Type));
    fake::put(dictionary_, "VirtualTemperature", fake::makeDouble(30.25));
    putInt("IsCharging", 1);                                        // a number, not a boolean
    putString("DeviceName", "bq20z451 \xC2\xB0 \xF0\x9F\x94\x8B");  // degree sign, emoji

    // A non-string key cannot name a property: left out, not a crash.
    CFNumberRef numberKey = fake::makeInt(7);
    CFNumberRef value = fake::makeInt(8);
    CFDictionarySetValue(dictionary_, numberKey, value);
    CFRelease(numberKey);
    CFRelease(value);

    const PropertyDictionary properties = convert();

    EXPECT_EQ(intAt(properties, "Location"), -3);
    EXPECT_EQ(intAt(properties, "Voltage"), 12889);
    EXPECT_EQ(intAt(properties, "InstantAmperage"), -2100);
    EXPECT_EQ(intAt(properties, "FullPathUpdated"), 1464849055123);
    EXPECT_EQ(*properties.lookup("VirtualTemperature"), PropertyValue(30.25));
    EXPECT_EQ(*properties.lookup("IsCharging"), PropertyValue(std::int64_t{1}));
    EXPECT_EQ(*properties.lookup("DeviceName"),
              PropertyValue(std::string("bq20z451 \xC2\xB0 \xF0\x9F\x94\x8B")));
    EXPECT_EQ(properties.size(), 7u);
}

TEST_F(RegistryDictionary, EmptyOrMissingDictionaryGivesNoProperties) {
    EXPECT_TRUE(convert().empty());
    EXPECT_TRUE(toPropertyDictionary(nullptr).empty());
}

}  // namespace
}  // namespace ampora::macos
