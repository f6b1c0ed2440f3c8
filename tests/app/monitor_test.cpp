// The monitor's logic over in-memory fakes of the platform: start-up, what each reading shows,
// the menu's commands and launch at login.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "app/app_delegate.h"
#include "app/power_source_watcher.h"
#include "fake_platform.h"
#include "laptop_battery.h"
#include "shared/identifiers.h"

namespace ampora::testing {
namespace {

using ::testing::ElementsAre;

const std::string kHelper(HelperBundleIdentifier);
enum Command { kOpenAtLogin = 14, kRate, kSite, kQuit };
const fakes::Log kStarted = {"silence", "status item", "menu 1", "title Status", "highlight"};

// The monitor started the way the platform starts it: the interface file makes the delegate and
// its one-entry menu, then awakeFromNib and applicationDidFinishLaunching.
struct Monitor {
    ~Monitor() {
        delegate.reset();
        EXPECT_EQ(gDelegate, nullptr) << "gDelegate outlived the delegate";
    }
    void launch() {
        delegate = std::make_unique<AppDelegate>(platform.ports());
        auto menu = std::make_unique<fakes::FakeMenu>();
        menu->addItemWithTitle("Quit", Selector::Terminate, "q");
        delegate->setStatusMenu(std::move(menu));
        delegate->awakeFromNib();
        delegate->applicationDidFinishLaunching();
    }
    void launchOnLaptop() {
        platform.registry.publish(1, laptopBatteryProperties());
        launch();
    }
    // What the platform was asked to do since the last call.
    fakes::Log takeLog() { return std::exchange(platform.log, {}); }
    void batteryChanges(RegistryEntry entry = 1) {
        platform.registry.sendMessage(entry, kBatteryStatusChangedMessage);
    }
    const fakes::FakeMenu& shownMenu() const { return platform.desktop.item->fakeMenu(); }
    // The menu's commands follow its seven facts, two lines each.
    const fakes::FakeMenuItem& entry(int index) const { return *shownMenu().items.at(index); }
    void choose(int index) { sendAction(entry(index).action, *delegate, platform.desktop); }
    int openAtLogin() const { return entry(kOpenAtLogin).state(); }

    fakes::FakeAppPlatform platform;
    std::unique_ptr<AppDelegate> delegate;
};

class MonitorTest : public ::testing::Test, protected Monitor {};

// No battery, or a registry that can't notify: "Status" and the interface's menu for good.
TEST(Monitor, WithoutABatteryToFollowStatusStays) {
    for (int setup = 0; setup < 3; ++setup) {
        Monitor monitor;
        monitor.platform.registry.hasRunLoopSource = setup != 1;
        monitor.platform.registry.matchingFails = setup == 2;
        if (setup > 0) monitor.platform.registry.publish(1, laptopBatteryProperties());
        monitor.launch();
        monitor.batteryChanges();
        fakes::Log expected = kStarted;
        if (setup != 1) expected.push_back("match IOPMPowerSource");
        EXPECT_EQ(monitor.takeLog(), expected) << setup;
    }
}

// The first reading comes before launching finishes; the menu is rebuilt for every reading.
TEST_F(MonitorTest, LaptopShowsTheCurrentAndTheSevenFactsThenFourCommands) {
    launchOnLaptop();
    fakes::Log expected = kStarted;
    expected.insert(expected.end(), {"match IOPMPowerSource", "read 1",
                                     "title 1234 in Helvetica Neue 13", "menu 18", "watch 1"});
    EXPECT_EQ(takeLog(), expected);

    for (int i = 0; i < 5; ++i) batteryChanges();
    std::vector<std::string> titles;
    for (const auto& item : shownMenu().items) titles.push_back(item->title);
    EXPECT_THAT(titles, ElementsAre("Current Usage:", "\t1234 mAh (milliampere-hour)",
                                    "Current Capacity:", "\t4000 mAh (80.00% of Original)",
                                    "Original Capacity:", "\t5000 mAh", "Number of Charge Cycles:",
                                    "\t321", "Manufacture Date:", "\t07/11/2012",
                                    "Temperature:", "\t30.12\u00B0C  (86.22 \u00B0F)",
                                    "Current Charge:", "\t3000 (75.00% Charged)", "Open at login",
                                    "Rate Ampora", "Go To Developer's Website", "Quit"));
    EXPECT_EQ(shownMenu().font, (Font{"Helvetica Neue", 13.0}));
    // The facts can't be chosen; the links open the store page and the developer's site.
    for (std::size_t i = 0; i < 14; ++i) EXPECT_EQ(shownMenu().items[i]->action, Selector::None);
    takeLog();
    for (int command : {kRate, kSite, kQuit}) choose(command);
    EXPECT_THAT(takeLog(),
                ElementsAre("open " AMPORA_STORE_URL,
                            "open http://" AMPORA_SITE_HOST "/?referrer?Ampora", "terminate"));
}

// "Rate Ampora" on a desktop with no software centre, or none at all: the site, or nothing more.
TEST_F(MonitorTest, RatingWhereNothingOpensTheStoreLeadsToTheSite) {
    const std::string store = "open " AMPORA_STORE_URL;
    const std::string site = "open http://" AMPORA_SITE_HOST "/?referrer?Ampora";
    struct Case {
        std::vector<std::string_view> handled;
        fakes::Log opened;
    } cases[] = {{{"http"}, {store, site}}, {{}, {store, site}}};
    launchOnLaptop();
    for (const Case& c : cases) {
        platform.desktop.handledSchemes = c.handled;
        takeLog();
        choose(kRate);
        EXPECT_EQ(takeLog(), c.opened);
    }
}

// Each power source is read when it appears and again only when its battery status changes; the
// last one read is shown, and one that delivers no properties reports nothing.
TEST_F(MonitorTest, BatteriesAreReadWhenTheyAppearAndWhenTheirStatusChanges) {
    launch();
    takeLog();
    platform.registry.publish(3, laptopBatteryProperties(-500));
    platform.registry.publish(4, std::nullopt);
    platform.registry.properties[3] = laptopBatteryProperties(-2000);
    platform.registry.sendMessage(3, 0xE0000280);  // a power-state change
    platform.registry.sendMessage(3, kBatteryStatusChangedMessage + 1);
    batteryChanges(3);
    EXPECT_THAT(takeLog(),
                ElementsAre("read 3", "title 500 in Helvetica Neue 13", "menu 18", "watch 3",
                            "read 4", "title \u2014 in Helvetica Neue 13", "menu 18", "watch 4",
                            "read 3", "title 2000 in Helvetica Neue 13", "menu 18"));
}

// Items that can show a battery are told its charge in percent (at most 100, -1 when unknown),
// whether it is charging and whether it is plugged in; a level the source reports itself comes
// first.
TEST_F(MonitorTest, StatusItemIsToldTheChargeInPercent) {
    struct Case {
        std::int32_t current, max, level;  // level -1: not reported
        bool charging;
        int percent;
    };
    const Case cases[] = {{3000, 4000, -1, false, 75},   {0, 4000, -1, true, 0},
                          {4100, 4000, -1, false, 100},  {INT32_MAX, INT32_MAX, -1, true, 100},
                          {3000, 0, -1, false, -1},      {3000, -5, -1, false, -1},
                          {-1, 4000, -1, false, -1},     {1, 1, -1, true, 100},
                          {3000, 4000, 4199, false, 41}, {0, 0, 10001, true, 100},
                          {3000, 4000, 0, false, 0}};
    launch();
    for (const Case& c : cases) {
        IOPMBattery record{};
        record.hasCurrentCapacity = record.hasMaxCapacity = true;
        record.currentCapacity = c.current;
        record.maxCapacity = c.max;
        record.hasChargeLevel = c.level >= 0;
        record.chargeLevel = c.level;
        record.isCharging = c.charging;
        record.externalConnected = c.current > c.max;  // on mains, charged or held
        delegate->setStatusItem(record);
        EXPECT_EQ(platform.desktop.item->batteryLevel, c.percent) << c.current << "/" << c.max;
        EXPECT_EQ(platform.desktop.item->charging, c.charging);
        EXPECT_EQ(platform.desktop.item->externalPower, c.current > c.max);
    }
    IOPMBattery nothing{};
    nothing.currentCapacity = 3000;
    nothing.maxCapacity = 4000;
    delegate->setStatusItem(nothing);
    EXPECT_EQ(platform.desktop.item->batteryLevel, -1) << "figures not reported";
}

// The menu never claims a state the system refused, and the check mark survives readings.
TEST_F(MonitorTest, OpenAtLoginFollowsWhatTheLoginItemServiceAccepts) {
    const std::string on = "login item " + kHelper + " on", off = "login item " + kHelper + " off";
    const std::string alert = "alert An error ocurred | OK | Couldn't ";
    struct Step {
        bool accepted;
        fakes::Log log;
        int state;
    };
    const Step steps[] = {
        {false,
         {"print enabling launch at login", on,
          alert + "add Helper App to launch at login item list.", "print yeah!"},
         kCheckStateOff},
        {true, {"print enabling launch at login", on, "print yeah!"}, kCheckStateOn},
        {false,
         {"print disabling launch at login", off,
          alert + "remove Helper App from launch at login item list.", "print yeah!"},
         kCheckStateOn},
        {true, {"print disabling launch at login", off, "print yeah!"}, kCheckStateOff},
    };
    launchOnLaptop();
    takeLog();
    for (const Step& step : steps) {
        platform.desktop.loginItemsSucceed = step.accepted;
        choose(kOpenAtLogin);
        EXPECT_EQ(takeLog(), step.log);
        batteryChanges();
        EXPECT_EQ(openAtLogin(), step.state);
        takeLog();
    }
}

TEST_F(MonitorTest, BatteryReadingWhileTheFailureAlertIsUpStillEndsWithTheTrueState) {
    launchOnLaptop();
    platform.desktop.loginItemsSucceed = false;
    // The menu is rebuilt under the alert: the entry chosen is gone when the alert closes. The
    // mark never shows what the service refused, before or after the reading.
    std::vector<int> underTheAlert;
    platform.desktop.whileAlertIsUp = [this, &underTheAlert] {
        underTheAlert.push_back(openAtLogin());
        batteryChanges();
        underTheAlert.push_back(openAtLogin());
    };
    choose(kOpenAtLogin);
    EXPECT_THAT(underTheAlert, ElementsAre(kCheckStateOff, kCheckStateOff));
    EXPECT_EQ(openAtLogin(), kCheckStateOff);
    EXPECT_EQ(delegate->openAtLoginItem(), &entry(kOpenAtLogin));
}

// The helper runs at start-up only when it started us at login: then it is told to quit, once,
// and "Open at login" is checked, even when it was found before the first reading.
TEST(Monitor, HelperRunningAtStartUpMeansOpenAtLogin) {
    struct Case {
        std::vector<std::optional<std::string>> running;
        bool batteryFirst;
        int state;
    };
    const Case cases[] = {
        {{"org.example.Editor", kHelper, std::nullopt, kHelper}, true, kCheckStateOn},
        {{"org.example.Editor", std::nullopt}, true, kCheckStateOff},
        {{kHelper}, false, kCheckStateOn},
    };
    for (const Case& c : cases) {
        Monitor monitor;
        monitor.platform.desktop.running = c.running;
        if (c.batteryFirst) monitor.launchOnLaptop();
        if (!c.batteryFirst) monitor.launch();
        const fakes::Log log = monitor.takeLog();
        EXPECT_EQ(std::count(log.begin(), log.end(), "post TERMINATEHELPER com.larchmoor.Ampora"),
                  c.state == kCheckStateOn ? 1 : 0);
        monitor.platform.registry.publish(2, laptopBatteryProperties());
        EXPECT_EQ(monitor.openAtLogin(), c.state);
    }
}

// Where the service keeps a record of the helper (macOS 13 and later), the check mark shows that
// record, and an item the user switched off is sent to the system's settings.
TEST(Monitor, CheckMarkFollowsTheLoginItemServicesRecord) {
    using Status = LoginItemStatus;
    struct Case {
        const char* situation;
        bool helperRunning;
        Status atStart;
        int checkAtStart;
        bool choose, serviceSucceeds;
        Status afterChange;
        int checkAfter, alerts, settingsShown;
    };
    const Case cases[] = {
        {"opened by hand, item enabled", false, Status::Enabled, 1, false, true, Status::Unknown, 1,
         0, 0},
        {"started by a helper no longer registered", true, Status::NotRegistered, 0, false, true,
         Status::Unknown, 0, 0, 0},
        {"turned on", false, Status::NotRegistered, 0, true, true, Status::Enabled, 1, 0, 0},
        {"turned on, switched off in settings", false, Status::NotRegistered, 0, true, false,
         Status::RequiresApproval, 0, 0, 1},
        {"turned on, helper missing", false, Status::NotRegistered, 0, true, false,
         Status::NotFound, 0, 1, 0},
        {"turned off", false, Status::Enabled, 1, true, true, Status::NotRegistered, 0, 0, 0},
        {"turned off, refused", false, Status::Enabled, 1, true, false, Status::Enabled, 1, 1, 0},
    };
    for (const Case& c : cases) {
        Monitor monitor;
        fakes::FakeDesktop& desktop = monitor.platform.desktop;
        if (c.helperRunning) desktop.running = {kHelper};
        desktop.recorded = c.atStart;
        desktop.loginItemsSucceed = c.serviceSucceeds;
        desktop.statusAfterChange = c.afterChange;
        monitor.launchOnLaptop();
        EXPECT_EQ(monitor.openAtLogin(), c.checkAtStart) << c.situation;
        if (c.choose) monitor.choose(kOpenAtLogin);
        EXPECT_EQ(monitor.openAtLogin(), c.checkAfter) << c.situation;
        const fakes::Log log = monitor.takeLog();
        const auto count = [&](std::string_view start) {
            return std::count_if(log.begin(), log.end(),
                                 [&](const std::string& line) { return line.starts_with(start); });
        };
        EXPECT_EQ(count("post"), c.helperRunning ? 1 : 0) << c.situation;
        EXPECT_EQ(count("alert"), c.alerts) << c.situation;
        EXPECT_EQ(count("settings"), c.settingsShown) << c.situation;
    }
}

}  // namespace
}  // namespace ampora::testing
