// The monitor's logic over in-memory fakes of the platform: start-up, what each reading shows,
// the menu's commands and launch at login.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
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

    for (int i = 0; i < 2; ++i) batteryChanges();
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
    // The facts can't be chosen; the links open the store page and the developer's site, and
    // where nothing opens the store's address, rating leads to the site.
    for (std::size_t i = 0; i < 14; ++i) EXPECT_EQ(shownMenu().items[i]->action, Selector::None);
    takeLog();
    for (int command : {kRate, kSite, kQuit}) choose(command);
    platform.desktop.handledSchemes = {"http"};
    choose(kRate);
    const std::string store = "open " AMPORA_STORE_URL;
    const std::string site = "open http://" AMPORA_SITE_HOST "/?referrer?Ampora";
    EXPECT_THAT(takeLog(), ElementsAre(store, site, "terminate", store, site));
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
    const Case cases[] = {{3000, 4000, -1, false, 75},  {0, 4000, -1, true, 0},
                          {4100, 4000, -1, false, 100}, {3000, 0, -1, false, -1},
                          {0, 0, 10001, true, 100},     {INT32_MAX, INT32_MAX, -1, true, 100},
                          {1, 1, -1, true, 100},        {3000, 4000, 0, false, 0}};
    launch();
    for (const Case& c : cases) {
        IOPMBattery record{};
        record.hasCurrentCapacity = record.hasMaxCapacity = true;
        record.currentCapacity = c.current;
        record.maxCapacity = c.max;
        record.hasChargeLevel = c.level >= 0;
        record.chargeLevel = std::max(c.level, 0);  // an unreported level reads as 0
        record.isCharging = c.charging;
        record.externalConnected = c.current > c.max;  // on mains, charged or held
        delegate->setStatusItem(record);
        EXPECT_EQ(platform.desktop.item->batteryLevel, c.percent) << c.current << "/" << c.max;
        EXPECT_EQ(platform.desktop.item->charging, c.charging);
        EXPECT_EQ(platform.desktop.item->externalPower, c.current > c.max);
    }
}

// The menu never claims a state the system refused, and the check mark survives readings.
TEST_F(MonitorTest, OpenAtLoginFollowsWhatTheLoginItemServiceAccepts) {
    const std::string on = "login item " + kHelper + " on", off = "login item " + kHelper + " off";
    const std::string enabling = "print enabling launch at login", yeah = "print yeah!";
    const std::string disabling = "print disabling launch at login";
    const std::string alert = "alert An error ocurred | OK | Couldn't ";
    const std::string add = alert + "add Helper App to launch at login item list.";
    const std::string remove = alert + "remove Helper App from launch at login item list.";
    // Whether the service accepts, what the choice does, the check mark after the next reading.
    const std::tuple<bool, fakes::Log, int> steps[] = {
        {false, {enabling, on, add, yeah}, kCheckStateOff},
        {true, {enabling, on, yeah}, kCheckStateOn},
        {false, {disabling, off, remove, yeah}, kCheckStateOn},
        {true, {disabling, off, yeah}, kCheckStateOff},
    };
    launchOnLaptop();
    takeLog();
    for (const auto& [accepted, log, state] : steps) {
        platform.desktop.loginItemsSucceed = accepted;
        choose(kOpenAtLogin);
        EXPECT_EQ(takeLog(), log);
        batteryChanges();
        EXPECT_EQ(openAtLogin(), state);
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

// "Open at login" at start-up, and once chosen. The helper runs at start-up only when it started
// us at login: then it is told to quit, once, and the entry is checked, unless the login-item
// service keeps a record of the helper (macOS 13 and later, Linux): then the mark shows that
// record, and an item the user switched off is sent to the system's settings. Whether the helper
// is found before the first reading or after, the first menu shows it and later ones keep it.
TEST(Monitor, OpenAtLoginAtStartUpAndOnceChosen) {
    using enum LoginItemStatus;
    const std::optional<std::string> editor = "org.example.Editor", none;
    struct Case {
        const char* situation;
        std::vector<std::optional<std::string>> running;
        LoginItemStatus atStart;
        int checkAtStart;
        bool choose, serviceSucceeds;
        LoginItemStatus afterChange;
        int checkAfter, alerts, settingsShown;
    };
    const Case cases[] = {
        {"by hand", {editor, none}, Unknown, 0, false, true, Unknown, 0, 0, 0},
        {"at login", {editor, kHelper, none, kHelper}, Unknown, 1, false, true, Unknown, 1, 0, 0},
        {"on, not allowed", {}, NotRegistered, 0, true, false, RequiresApproval, 0, 0, 1},
    };
    for (const Case& c : cases) {
        for (const bool readingFirst : {true, false}) {
            Monitor monitor;
            fakes::FakeDesktop& desktop = monitor.platform.desktop;
            desktop.running = c.running;
            desktop.recorded = c.atStart;
            desktop.loginItemsSucceed = c.serviceSucceeds;
            desktop.statusAfterChange = c.afterChange;
            if (readingFirst) monitor.platform.registry.publish(1, laptopBatteryProperties());
            monitor.launch();
            monitor.platform.registry.publish(2, laptopBatteryProperties());
            EXPECT_EQ(monitor.openAtLogin(), c.checkAtStart) << c.situation;
            if (c.choose) monitor.choose(kOpenAtLogin);
            EXPECT_EQ(monitor.openAtLogin(), c.checkAfter) << c.situation;
            const fakes::Log log = monitor.takeLog();
            const auto count = [&](std::string_view start) {
                return std::count_if(log.begin(), log.end(), [&](const std::string& line) {
                    return line.starts_with(start);
                });
            };
            EXPECT_EQ(count("post TERMINATEHELPER com.larchmoor.Ampora"),
                      std::count(c.running.begin(), c.running.end(), kHelper) ? 1 : 0)
                << c.situation;
            EXPECT_EQ(count("alert"), c.alerts) << c.situation;
            EXPECT_EQ(count("settings"), c.settingsShown) << c.situation;
        }
    }
}

}  // namespace
}  // namespace ampora::testing
