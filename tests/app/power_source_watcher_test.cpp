#include "monitor_fixture.h"

namespace ampora::testing {
namespace {

constexpr std::uint32_t kPowerStateChange = 0xE0000280;  // any message but a status change

TEST_F(MonitorTest, BatteryPresentAtStartIsReadOnceAndFollowed) {
    platform.registry.publish(7, laptopBattery());
    launch();

    EXPECT_EQ(platform.registry.matchedClass, "IOPMPowerSource");
    EXPECT_EQ(platform.registry.propertyReads[7], 1);
    EXPECT_EQ(platform.registry.interestRegistrations[7], 1);

    platform.registry.setProperties(7, laptopBattery(-2000));
    platform.registry.sendMessage(7, kBatteryStatusChangedMessage);
    EXPECT_EQ(platform.registry.propertyReads[7], 2);
    EXPECT_EQ(statusItem().title, "2000");
    EXPECT_EQ(platform.registry.interestRegistrations[7], 1) << "re-read must not re-subscribe";
}

TEST_F(MonitorTest, OtherRegistryMessagesChangeNothing) {
    platform.registry.publish(7, laptopBattery());
    launch();
    const int menusBefore = platform.menus.menusMade;

    platform.registry.setProperties(7, laptopBattery(-2000));
    platform.registry.sendMessage(7, kPowerStateChange);
    platform.registry.sendMessage(7, kBatteryStatusChangedMessage + 1);
    EXPECT_EQ(platform.registry.propertyReads[7], 1);
    EXPECT_EQ(platform.menus.menusMade, menusBefore);
    EXPECT_EQ(statusItem().title, "1234");
}

TEST_F(MonitorTest, BatteryInsertedAfterStartIsReadWhenItAppearsThenFollowsItsOwnMessages) {
    launch();
    EXPECT_EQ(statusItem().title, "Status");

    platform.registry.publish(3, laptopBattery(-500));
    EXPECT_EQ(statusItem().title, "500");
    EXPECT_EQ(platform.registry.propertyReads[3], 1);

    platform.registry.setProperties(3, laptopBattery(-600));
    platform.registry.sendMessage(3, kBatteryStatusChangedMessage);
    EXPECT_EQ(statusItem().title, "600");

    platform.registry.publish(4, laptopBattery(-700));
    EXPECT_EQ(statusItem().title, "700") << "notification must stay armed for later entries";
}

TEST_F(MonitorTest, TwoBatteriesShowWhicheverWasReadLast) {
    platform.registry.publish(1, laptopBattery(-100));
    platform.registry.publish(2, laptopBattery(-200));
    launch();
    EXPECT_EQ(statusItem().title, "200");

    platform.registry.sendMessage(1, kBatteryStatusChangedMessage);
    EXPECT_EQ(statusItem().title, "100");
    EXPECT_EQ(platform.registry.propertyReads[2], 1);
}

TEST_F(MonitorTest, PortWithoutRunLoopSourceLeavesStatusForTheWholeRun) {
    platform.registry.hasRunLoopSource = false;
    platform.registry.publish(1, laptopBattery());
    launch();
    platform.registry.sendMessage(1, kBatteryStatusChangedMessage);

    EXPECT_EQ(statusItem().title, "Status");
    EXPECT_EQ(statusItem().menu, interfaceMenu);
    EXPECT_EQ(platform.registry.propertyReads[1], 0);
}

TEST_F(MonitorTest, RefusedMatchingRegistrationLeavesStatusForTheWholeRun) {
    platform.registry.matchingFails = true;
    platform.registry.publish(1, laptopBattery());
    launch();

    EXPECT_EQ(statusItem().title, "Status");
    EXPECT_EQ(statusItem().menu, interfaceMenu);
    EXPECT_EQ(platform.registry.propertyReads[1], 0);
}

TEST_F(MonitorTest, SourceWithoutPropertiesReadsAsAnEmptyDictionary) {
    platform.registry.publish(1, std::nullopt);
    launch();
    EXPECT_EQ(statusItem().title, "0");
    EXPECT_EQ(shownMenu().item(3).title, "\t0 mAh (nan% of Original)");
    EXPECT_EQ(shownMenu().item(9).title, "\t00/00/1980");
}

}  // namespace
}  // namespace ampora::testing
