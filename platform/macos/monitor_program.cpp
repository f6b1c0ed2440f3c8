#include "platform/macos/monitor_program.h"

#include <memory>
#include <utility>

namespace ampora::macos {

MonitorProgram::MonitorProgram()
    : delegate_(AppPlatform{statusBar_, menus_, workspace_, loginItems_, notifications_, alerts_,
                            application_, console_, registry_}) {
    // Shown until the first battery reading, and for good on a Mac without a battery: it must at
    // least let the user quit.
    std::unique_ptr<Menu> statusMenu = menus_.newMenu("Ampora");
    statusMenu->addItemWithTitle("Quit", Selector::Terminate, "q");
    delegate_.setStatusMenu(std::move(statusMenu));
}

}  // namespace ampora::macos
