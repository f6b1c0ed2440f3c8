#include <gtest/gtest.h>

#include "fake_platform.h"
#include "helper/helper_app_delegate.h"

namespace ampora {
namespace {

constexpr const char* kInstalledHelper =
    "/Applications/Ampora.app/Contents/Library/LoginItems/Ampora-Helper.app";

// Started at login it starts the monitor and quits at the monitor's word, or when the monitor
// can't start; started while the monitor runs, or from outside a monitor's bundle, it just quits.
TEST(LoginHelper, StartsTheMonitorOnlyWhenItCanAndMustAndWaitsOnlyWhileItRuns) {
    enum Then { Word, LaunchFails };
    struct Case {
        std::optional<std::string> running;
        const char* bundlePath;
        Then then;
        fakes::Log log;
    };
    const fakes::Log launched = {"observe TERMINATEHELPER com.larchmoor.Ampora",
                                 "launch /Applications/Ampora.app/Contents/MacOS/Ampora"};
    const Case cases[] = {
        {"org.example.Dock", kInstalledHelper, Word, launched},
        {"org.example.Dock", kInstalledHelper, LaunchFails, launched},
        {"com.larchmoor.Ampora", kInstalledHelper, Word, {}},
        {std::nullopt, "/LoginItems/Ampora-Helper.app", Word, {}},
    };
    for (const Case& c : cases) {
        fakes::Log log;
        fakes::FakeDesktop desktop(log);
        desktop.running = {std::nullopt, c.running};
        desktop.launchSucceeds = c.then != LaunchFails;
        HelperAppDelegate helper({desktop, desktop, desktop}, c.bundlePath);
        helper.applicationDidFinishLaunching();
        // Waiting, while the monitor it started runs.
        if (c.then != LaunchFails && !c.log.empty()) {
            EXPECT_EQ(log, c.log);
        }
        if (c.then == Word) {
            for (const auto& observer : desktop.observers) observer();
        }
        fakes::Log expected = c.log;
        expected.push_back("terminate");
        EXPECT_EQ(log, expected) << c.bundlePath << " " << c.then;
    }
}

TEST(LoginHelper, FindsTheMonitorWhereverTheBundleIsInstalled) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {kInstalledHelper, "/Applications/Ampora.app/Contents/MacOS/Ampora"},
        {"/home/ann/My Apps/Ampora.app/Contents/Library/LoginItems/Ampora-Helper.app/",
         "/home/ann/My Apps/Ampora.app/Contents/MacOS/Ampora"},
        {"//opt//Ampora.app/Contents/Library/LoginItems/H.app",
         "/opt/Ampora.app/Contents/MacOS/Ampora"},
        {"build/Ampora.app/Contents/Library/LoginItems/H.app",
         "build/Ampora.app/Contents/MacOS/Ampora"},
        // Four components are enough for the arithmetic: "/" + three.
        {"/Library/LoginItems/H.app", "/MacOS/Ampora"},
        {"LoginItems/H.app", std::nullopt}};
    for (const auto& [helper, monitor] : cases) EXPECT_EQ(monitorExecutablePath(helper), monitor);
}

}  // namespace
}  // namespace ampora
