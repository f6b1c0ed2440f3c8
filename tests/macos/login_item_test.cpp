// Launch at login on systems before macOS 13: the helper's identifier goes to the login-item
// service as a CFString.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fake_frameworks.h"
#include "platform/macos/sm_login_item.h"
#include "shared/identifiers.h"

namespace ampora::macos {
namespace {

class LegacyLoginItem : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset(); }
    void TearDown() override {
        EXPECT_EQ(fake::heldCFReferences(), 0) << "the identifier string leaked";
        EXPECT_TRUE(fake::frameworks().faults.empty()) << fake::frameworks().faults.front();
        fake::reset();
    }
};

TEST_F(LegacyLoginItem, TurningOnThenOffRegistersThenUnregistersTheHelper) {
    EXPECT_TRUE(setLegacyLoginItemEnabled(HelperBundleIdentifier, true));
    EXPECT_TRUE(setLegacyLoginItemEnabled(HelperBundleIdentifier, false));

    const std::string helper(HelperBundleIdentifier);
    EXPECT_EQ(fake::frameworks().loginItemCalls,
              (std::vector<std::pair<std::string, bool>>{{helper, true}, {helper, false}}));
}

TEST_F(LegacyLoginItem, ServiceRefusingIsReported) {
    fake::frameworks().loginItemResult = false;

    EXPECT_FALSE(setLegacyLoginItemEnabled(HelperBundleIdentifier, true));
}

}  // namespace
}  // namespace ampora::macos
