// Launch at login where the service keeps a record of the helper (macOS 13 and later): the check
// mark shows that record, and an item the user switched off is sent to the system's settings.
#include "monitor_fixture.h"
#include "shared/identifiers.h"

namespace ampora::testing {
namespace {

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

class LoginItemRecord : public MonitorTest, public ::testing::WithParamInterface<Case> {};

TEST_P(LoginItemRecord, CheckMarkFollowsTheService) {
    const Case& c = GetParam();
    SCOPED_TRACE(c.situation);
    if (c.helperRunning) platform.workspace.running = {std::string(HelperBundleIdentifier)};
    platform.loginItems.recorded = c.atStart;
    platform.loginItems.succeeds = c.serviceSucceeds;
    platform.loginItems.statusAfterChange = c.afterChange;
    platform.registry.publish(1, laptopBattery());
    launch();
    EXPECT_EQ(openAtLogin().state(), c.checkAtStart);
    EXPECT_EQ(platform.notifications.posted.size(), c.helperRunning ? 1u : 0u);

    if (c.choose) choose("Open at login");
    EXPECT_EQ(openAtLogin().state(), c.checkAfter);
    EXPECT_EQ(platform.alerts.shown.size(), static_cast<std::size_t>(c.alerts));
    EXPECT_EQ(platform.loginItems.settingsShown, c.settingsShown);
}

const Case kCases[] = {
    {"opened by hand, item enabled", false, Status::Enabled, 1, false, true, Status::Unknown, 1, 0,
     0},
    {"started by a helper no longer registered", true, Status::NotRegistered, 0, false, true,
     Status::Unknown, 0, 0, 0},
    {"turned on", false, Status::NotRegistered, 0, true, true, Status::Enabled, 1, 0, 0},
    {"turned on, switched off in settings", false, Status::NotRegistered, 0, true, false,
     Status::RequiresApproval, 0, 0, 1},
    {"turned on, helper missing", false, Status::NotRegistered, 0, true, false, Status::NotFound, 0,
     1, 0},
    {"turned off", false, Status::Enabled, 1, true, true, Status::NotRegistered, 0, 0, 0},
    {"turned off, refused", false, Status::Enabled, 1, true, false, Status::Enabled, 1, 1, 0},
};
INSTANTIATE_TEST_SUITE_P(Situations, LoginItemRecord, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace ampora::testing
