#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_session.h"
#include "helper/helper_app_delegate.h"
#include "shared/identifiers.h"

namespace ampora {
namespace {

using ::testing::ElementsAre;

constexpr const char* kInstalledHelper =
    "/Applications/Ampora.app/Contents/Library/LoginItems/Ampora-Helper.app";

class LoginHelperTest : public ::testing::Test {
  protected:
    void launchHelper(std::string bundlePath = kInstalledHelper) {
        helper = std::make_unique<HelperAppDelegate>(
            HelperPlatform{workspace, notifications, application}, std::move(bundlePath));
        helper->applicationDidFinishLaunching();
    }

    fakes::FakeWorkspace workspace;
    fakes::FakeNotificationCenter notifications;
    fakes::FakeApplication application;
    std::unique_ptr<HelperAppDelegate> helper;
};

TEST_F(LoginHelperTest, StartedWhileTheMonitorRunsQuitsAtOnceAndLaunchesNothing) {
    workspace.running = {std::nullopt, std::string(MainBundleIdentifier)};
    launchHelper();

    EXPECT_EQ(application.terminateCalls, 1);
    EXPECT_TRUE(workspace.launchedPaths.empty());
    EXPECT_TRUE(notifications.observers.empty());
}

TEST_F(LoginHelperTest, AtLoginLaunchesTheMonitorOnceAndWaitsForItsWord) {
    workspace.running = {std::string("org.example.Dock"), std::nullopt};
    launchHelper();

    EXPECT_THAT(workspace.launchedPaths,
                ElementsAre("/Applications/Ampora.app/Contents/MacOS/Ampora"));
    EXPECT_EQ(application.terminateCalls, 0);

    notifications.deliver("TERMINATEHELPER", "org.example.Other");
    notifications.deliver("OTHER", MainBundleIdentifier);
    EXPECT_EQ(application.terminateCalls, 0) << "only the monitor's own word ends the helper";

    notifications.deliver("TERMINATEHELPER", "com.larchmoor.Ampora");
    EXPECT_EQ(application.terminateCalls, 1);
}

TEST_F(LoginHelperTest, HelperOutsideAMonitorBundleLaunchesNothingAndQuits) {
    for (const char* path : {"/", "/Ampora-Helper.app", "/LoginItems/Ampora-Helper.app", ""}) {
        fakes::FakeWorkspace emptyWorkspace;
        fakes::FakeApplication app;
        HelperAppDelegate stray({emptyWorkspace, notifications, app}, path);
        stray.applicationDidFinishLaunching();
        EXPECT_TRUE(emptyWorkspace.launchedPaths.empty()) << path;
        EXPECT_EQ(app.terminateCalls, 1) << path;
    }
}

TEST(MonitorExecutablePath, FollowsTheBundleLayoutWhereverItIsInstalled) {
    EXPECT_EQ(monitorExecutablePath(kInstalledHelper),
              "/Applications/Ampora.app/Contents/MacOS/Ampora");
    EXPECT_EQ(monitorExecutablePath(
                  "/home/ann/My Apps/Ampora.app/Contents/Library/LoginItems/Ampora-Helper.app/"),
              "/home/ann/My Apps/Ampora.app/Contents/MacOS/Ampora");
    EXPECT_EQ(monitorExecutablePath("//opt//Ampora.app/Contents/Library/LoginItems/H.app"),
              "/opt/Ampora.app/Contents/MacOS/Ampora");
    EXPECT_EQ(monitorExecutablePath("build/Ampora.app/Contents/Library/LoginItems/H.app"),
              "build/Ampora.app/Contents/MacOS/Ampora");
    // Four components are enough for the arithmetic: "/" + three.
    EXPECT_EQ(monitorExecutablePath("/Library/LoginItems/H.app"), "/MacOS/Ampora");
    EXPECT_EQ(monitorExecutablePath("LoginItems/H.app"), std::nullopt);
}

}  // namespace
}  // namespace ampora
