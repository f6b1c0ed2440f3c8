#include <gtest/gtest.h>

#include "fake_platform.h"
#include "helper/helper_app_delegate.h"

namespace ampora {
namespace {

constexpr const char* kInstalledHelper =
    "/Applications/Ampora.app/Contents/Library/LoginItems/Ampora-Helper.app";

// Started at login it starts the monitor and quits at the monitor's word; started while the
// monitor runs, or from outside a monitor's bundle, it just quits.
TEST(LoginHelper, StartsTheMonitorOnlyWhenItCanAndMust) {
    struct Case {
        std::optional<std::string> running;
        const char* bundlePath;
        fakes::Log log;
    };
    const Case cases[] = {
        {"org.example.Dock",
         kInstalledHelper,
         {"observe TERMINATEHELPER com.larchmoor.Ampora",
          "launch /Applications/Ampora.app/Contents/MacOS/Ampora", "terminate"}},
        {"com.larchmoor.Ampora", kInstalledHelper, {"terminate"}},
        {std::nullopt, "/LoginItems/Ampora-Helper.app", {"terminate"}},
    };
    for (const Case& c : cases) {
        fakes::Log log;
        fakes::FakeDesktop desktop(log);
        desktop.running = {std::nullopt, c.running};
        HelperAppDelegate helper({desktop, desktop, desktop}, c.bundlePath);
        helper.applicationDidFinishLaunching();
        for (const auto& observer : desktop.observers) observer();  // the monitor's word
        EXPECT_EQ(log, c.log) << c.bundlePath;
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
