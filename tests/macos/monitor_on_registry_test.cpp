// The monitor's logic on the IOKit adapter and a fake registry: what a Mac of each generation
// would show, from registry dictionary to menu line.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/app_delegate.h"
#include "fake_frameworks.h"
#include "fake_platform.h"
#include "platform/macos/iokit_device_registry.h"

namespace ampora::macos {
namespace {

constexpr std::uint32_t kBatteryStatusChanged = 0xE0024100;

class MonitorOnRegistry : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset(); }
    void TearDown() override {
        delegate_.reset();
        EXPECT_EQ(fake::heldCFReferences(), 0);
        EXPECT_EQ(fake::heldIOReferences(), 0);
        EXPECT_TRUE(fake::frameworks().faults.empty()) << fake::frameworks().faults.front();
        fake::reset();
    }

    void launch() {
        AppPlatform ports{platform_.statusBar,   platform_.menus,         platform_.workspace,
                          platform_.loginItems,  platform_.notifications, platform_.alerts,
                          platform_.application, platform_.console,       registry_};
        delegate_ = std::make_unique<AppDelegate>(ports);
        delegate_->awakeFromNib();
        delegate_->applicationDidFinishLaunching();
    }

    // The menu line that follows the given label.
    std::string lineAfter(const std::string& label) const {
        const auto& items = platform_.statusBar.item->fakeMenu().items;
        for (std::size_t i = 0; i + 1 < items.size(); ++i) {
            if (items[i]->title == label) return items[i + 1]->title;
        }
        ADD_FAILURE() << "no line " << label;
        return {};
    }
    const std::string& title() const { return platform_.statusBar.item->title; }

    fakes::FakeAppPlatform platform_;
    IOKitDeviceRegistry registry_;
    std::unique_ptr<AppDelegate> delegate_;
};

CFMutableDictionaryRef appleSiliconBattery(std::int64_t amperage) {
    CFMutableDictionaryRef battery = fake::makeDictionary();
    fake::put(battery, "Amperage", fake::makeInt(amperage));
    fake::put(battery, "CurrentCapacity", fake::makeInt(87));
    fake::put(battery, "MaxCapacity", fake::makeInt(100));
    fake::put(battery, "AppleRawCurrentCapacity", fake::makeInt(4412));
    fake::put(battery, "AppleRawMaxCapacity", fake::makeInt(5071));
    fake::put(battery, "DesignCapacity", fake::makeInt(4382));
    fake::put(battery, "BatteryInstalled", CFRetain(kCFBooleanTrue));
    return battery;
}

TEST_F(MonitorOnRegistry, AppleSiliconMacShowsMilliampereHoursNotPercentages) {
    fake::publish("IOPMPowerSource", appleSiliconBattery(-1234));
    launch();

    EXPECT_NE(title().find("1234"), std::string::npos) << title();
    EXPECT_NE(lineAfter("Current Capacity:").find("5071 mAh"), std::string::npos);
    EXPECT_NE(lineAfter("Current Charge:").find("4412"), std::string::npos);
}

TEST_F(MonitorOnRegistry, BatteryStatusChangeRefreshesTheTitle) {
    const io_object_t battery = fake::publish("IOPMPowerSource", appleSiliconBattery(-1234));
    launch();
    ASSERT_NE(title().find("1234"), std::string::npos) << title();

    fake::setProperties(battery, appleSiliconBattery(-987));
    fake::sendMessage(battery, kBatteryStatusChanged);

    EXPECT_NE(title().find("987"), std::string::npos) << title();
}

TEST_F(MonitorOnRegistry, DesktopMacWithoutBatteryKeepsTheStartupTitle) {
    launch();

    EXPECT_EQ(title(), "Status");
}

}  // namespace
}  // namespace ampora::macos
