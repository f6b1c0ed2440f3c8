#include <string>
#include <vector>

#include "monitor_fixture.h"

namespace ampora::testing {
namespace {

using ::testing::ElementsAre;

TEST_F(MonitorTest, LaptopWithBatteryStartsQuietThenShowsTheCurrentBeforeLaunchFinishes) {
    platform.registry.publish(1, laptopBattery());
    launch();

    EXPECT_EQ(platform.log.events,
              (std::vector<std::string>{"console silenced", "status item created",
                                        "status item menu", "status item title Status",
                                        "status item attributed title 1234", "status item menu"}));
    EXPECT_EQ(platform.statusBar.requestedLength, kVariableStatusItemLength);
    EXPECT_TRUE(statusItem().highlightMode);
    EXPECT_EQ(gDelegate, delegate.get());
    EXPECT_EQ(statusItem().titleFont, (Font{"Helvetica Neue", 13.0}));
    EXPECT_TRUE(platform.console.lines.empty());
}

TEST_F(MonitorTest, DesktopWithoutPowerSourceKeepsStatusAndTheInterfaceMenu) {
    launch();

    EXPECT_EQ(statusItem().title, "Status");
    EXPECT_FALSE(statusItem().titleFont) << "\"Status\" is plain text";
    EXPECT_EQ(statusItem().menu, interfaceMenu);
    EXPECT_EQ(platform.menus.menusMade, 0);
}

TEST_F(MonitorTest, MenuHoldsTheSevenFactsThenFourCommandsAfterEveryReading) {
    platform.registry.publish(1, laptopBattery());
    launch();
    for (int i = 0; i < 5; ++i) platform.registry.sendMessage(1, kBatteryStatusChangedMessage);

    const fakes::FakeMenu& menu = shownMenu();
    std::vector<std::string> titles;
    for (const auto& item : menu.items) titles.push_back(item->title);
    EXPECT_THAT(titles, ElementsAre("Current Usage:", "\t1234 mAh (milliampere-hour)",
                                    "Current Capacity:", "\t4000 mAh (80.00% of Original)",
                                    "Original Capacity:", "\t5000 mAh", "Number of Charge Cycles:",
                                    "\t321", "Manufacture Date:", "\t07/11/2012",
                                    "Temperature:", "\t30.12\u00B0C  (86.22 \u00B0F)",
                                    "Current Charge:", "\t3000 (75.00% Charged)", "Open at login",
                                    "Rate Ampora", "Go To Developer's Website", "Quit"));
    for (std::size_t i = 0; i < 14; ++i) {
        EXPECT_FALSE(menu.item(i).enabled()) << "information line " << i << " can be chosen";
    }
    EXPECT_EQ(menu.item(14).action, Selector::DidSelectOpenAtLogin);
    EXPECT_EQ(menu.item(15).action, Selector::RateApp);
    EXPECT_EQ(menu.item(16).action, Selector::GoToSite);
    EXPECT_EQ(menu.item(17).action, Selector::Terminate);
    for (const auto& item : menu.items) EXPECT_EQ(item->keyEquivalent, "");
    EXPECT_EQ(menu.title, "");
    EXPECT_EQ(menu.font, (Font{"Helvetica Neue", 13.0}));
    EXPECT_EQ(platform.menus.menusMade, 6);
}

TEST_F(MonitorTest, ChargingBatteryShowsANegativeDraw) {
    platform.registry.publish(1, laptopBattery(850));
    launch();
    EXPECT_EQ(statusItem().title, "-850");
    EXPECT_EQ(shownMenu().item(1).title, "\t-850 mAh (milliampere-hour)");
}

TEST_F(MonitorTest, LinksOpenTheStorePageAndTheDevelopersSiteAndQuitEndsTheApp) {
    platform.registry.publish(1, laptopBattery());
    launch();

    choose("Rate Ampora");
    choose("Go To Developer's Website");
    EXPECT_THAT(platform.workspace.openedURLs,
                ElementsAre("macappstore://" AMPORA_STORE_HOST
                            "/us/app/ampora/id" AMPORA_STORE_NUMBER "?ls=1&mt=12",
                            "http://" AMPORA_SITE_HOST "/?referrer?Ampora"));
    EXPECT_EQ(platform.application.terminateCalls, 0);

    choose("Quit");
    EXPECT_EQ(platform.application.terminateCalls, 1);
}

}  // namespace
}  // namespace ampora::testing
