#include "monitor_fixture.h"
#include "shared/identifiers.h"

namespace ampora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;
using Notification = fakes::FakeNotificationCenter::Notification;

const std::string kHelper(HelperBundleIdentifier);
const std::string kMain(MainBundleIdentifier);

TEST_F(MonitorTest, ChoosingOpenAtLoginTwiceRegistersThenUnregistersTheHelper) {
    platform.registry.publish(1, laptopBattery());
    launch();
    ASSERT_EQ(openAtLogin().state(), kCheckStateOff);

    choose("Open at login");
    EXPECT_EQ(openAtLogin().state(), kCheckStateOn);
    choose("Open at login");
    EXPECT_EQ(openAtLogin().state(), kCheckStateOff);

    EXPECT_THAT(platform.loginItems.calls, ElementsAre(Pair(kHelper, true), Pair(kHelper, false)));
    EXPECT_THAT(platform.console.lines, ElementsAre("enabling launch at login", "yeah!",
                                                    "disabling launch at login", "yeah!"));
    EXPECT_TRUE(platform.alerts.shown.empty());
}

TEST_F(MonitorTest, CheckMarkSurvivesEveryBatteryReading) {
    platform.registry.publish(1, laptopBattery());
    launch();
    choose("Open at login");
    for (int i = 0; i < 3; ++i) platform.registry.sendMessage(1, kBatteryStatusChangedMessage);

    EXPECT_EQ(openAtLogin().state(), kCheckStateOn);
    EXPECT_EQ(delegate->openAtLoginItem(), &openAtLogin());
}

TEST_F(MonitorTest, StartedAtLoginByTheHelperTellsItToQuitOnceAndShowsTheCheckMark) {
    // Two helper instances and an application without an identifier: still one notification.
    platform.workspace.running = {std::string("org.example.Editor"), kHelper, std::nullopt,
                                  kHelper};
    platform.registry.publish(1, laptopBattery());
    launch();

    EXPECT_THAT(platform.notifications.posted, ElementsAre(Notification{"TERMINATEHELPER", kMain}));
    EXPECT_EQ(openAtLogin().state(), kCheckStateOn);
    EXPECT_TRUE(platform.loginItems.calls.empty()) << "the login-item service is not asked";
}

TEST_F(MonitorTest, StartedByHandWithoutHelperPostsNothingAndLeavesTheEntryUnchecked) {
    platform.workspace.running = {std::string("org.example.Editor"), std::nullopt};
    platform.registry.publish(1, laptopBattery());
    launch();

    EXPECT_TRUE(platform.notifications.posted.empty());
    EXPECT_EQ(openAtLogin().state(), kCheckStateOff);
}

TEST_F(MonitorTest, HelperFoundBeforeTheBatteryAppearsStillChecksTheFirstMenu) {
    platform.workspace.running = {kHelper};
    launch();
    EXPECT_EQ(platform.notifications.posted.size(), 1u);
    EXPECT_EQ(statusItem().title, "Status");

    platform.registry.publish(1, laptopBattery());
    EXPECT_EQ(openAtLogin().state(), kCheckStateOn);
}

TEST_F(MonitorTest, RefusedRegistrationAlertsOnceAndRestoresTheUncheckedEntry) {
    platform.registry.publish(1, laptopBattery());
    launch();
    platform.loginItems.succeeds = false;

    choose("Open at login");

    ASSERT_EQ(platform.alerts.shown.size(), 1u);
    EXPECT_EQ(platform.alerts.shown[0].message, "An error ocurred");
    EXPECT_EQ(platform.alerts.shown[0].button, "OK");
    EXPECT_EQ(platform.alerts.shown[0].informativeText,
              "Couldn't add Helper App to launch at login item list.");
    EXPECT_EQ(openAtLogin().state(), kCheckStateOff);
    EXPECT_THAT(platform.console.lines, ElementsAre("enabling launch at login", "yeah!"));
}

TEST_F(MonitorTest, RefusedUnregistrationAlertsAndKeepsTheEntryChecked) {
    platform.workspace.running = {kHelper};
    platform.registry.publish(1, laptopBattery());
    launch();
    platform.loginItems.succeeds = false;

    choose("Open at login");

    ASSERT_EQ(platform.alerts.shown.size(), 1u);
    EXPECT_EQ(platform.alerts.shown[0].informativeText,
              "Couldn't remove Helper App from launch at login item list.");
    EXPECT_EQ(openAtLogin().state(), kCheckStateOn);
}

TEST_F(MonitorTest, BatteryReadingWhileTheFailureAlertIsUpStillEndsWithTheTrueState) {
    platform.registry.publish(1, laptopBattery());
    launch();
    platform.loginItems.succeeds = false;
    // The menu is rebuilt under the alert: the entry chosen is gone when the alert closes.
    platform.alerts.whileShown = [this] {
        platform.registry.sendMessage(1, kBatteryStatusChangedMessage);
    };

    choose("Open at login");

    EXPECT_EQ(openAtLogin().state(), kCheckStateOff);
    EXPECT_EQ(delegate->openAtLoginItem(), &openAtLogin());
}

}  // namespace
}  // namespace ampora::testing
