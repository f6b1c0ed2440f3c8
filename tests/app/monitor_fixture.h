#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "app/app_delegate.h"
#include "app/power_source_watcher.h"
#include "fake_platform.h"

namespace ampora::testing {

// A battery as the registry publishes it: the worked example's laptop battery.
PropertyDictionary laptopBattery(std::int64_t amperage = -1234);

// The monitor started the way the platform starts it, over fakes.
class MonitorTest : public ::testing::Test {
  protected:
    ~MonitorTest() override;

    // Loads the "interface file" (delegate + outlet), then awakeFromNib and
    // applicationDidFinishLaunching.
    void launch();

    const fakes::FakeStatusItem& statusItem() const { return *platform.statusBar.item; }
    const fakes::FakeMenu& shownMenu() const { return statusItem().fakeMenu(); }
    const fakes::FakeMenuItem& openAtLogin() const { return *shownMenu().find("Open at login"); }
    void choose(std::string_view title);

    fakes::FakeAppPlatform platform;
    fakes::FakeMenu* interfaceMenu = nullptr;
    std::unique_ptr<AppDelegate> delegate;
};

}  // namespace ampora::testing
