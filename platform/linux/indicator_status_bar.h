#pragma once

#include <string>

#include "app/ports/status_bar.h"

namespace ampora::linux_port {

// The tray: one StatusNotifierItem (through libayatana-appindicator) whose label is the title.
// Without a session bus (or a panel that shows such items) it falls back to the XEmbed tray.
class IndicatorStatusBar : public StatusBar {
  public:
    // iconName is looked up in iconDirectory first, then in the icon theme.
    IndicatorStatusBar(std::string id, std::string iconName, std::string iconDirectory);

    std::unique_ptr<StatusItem> statusItemWithLength(double length) override;

  private:
    std::string id_;
    std::string iconName_;
    std::string iconDirectory_;
};

}  // namespace ampora::linux_port
