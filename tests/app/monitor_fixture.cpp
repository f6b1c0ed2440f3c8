#include "monitor_fixture.h"

#include "laptop_battery.h"

namespace ampora::testing {

PropertyDictionary laptopBattery(std::int64_t amperage) {
    PropertyDictionary d = laptopBatteryProperties(amperage);
    d.set("ExternalConnected", false);
    d.set("BatteryInstalled", true);
    d.set("BatterySerialNumber", std::string("W01234"));
    return d;
}

MonitorTest::~MonitorTest() {
    delegate.reset();
    EXPECT_EQ(gDelegate, nullptr) << "gDelegate outlived the delegate";
}

void MonitorTest::launch() {
    delegate = std::make_unique<AppDelegate>(platform.ports());
    auto menu = std::make_unique<fakes::FakeMenu>("interface");
    menu->addItemWithTitle("Quit", Selector::Terminate, "q");
    interfaceMenu = menu.get();
    delegate->setStatusMenu(std::move(menu));
    delegate->awakeFromNib();
    delegate->applicationDidFinishLaunching();
}

void MonitorTest::choose(std::string_view title) {
    const fakes::FakeMenuItem* item = shownMenu().find(title);
    ASSERT_NE(item, nullptr) << title;
    sendAction(item->action, *delegate, platform.application);
}

}  // namespace ampora::testing
