#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/linux/tray/tray_menu.h"

namespace ampora::linux_port {

// The item where no StatusNotifierWatcher takes it: an icon in an XEmbed tray (trayer, tint2, ...)
// showing the title, the facts as its tooltip and the menu on a click.
class FallbackIcon {
  public:
    virtual ~FallbackIcon() = default;
    // menu may be null (nothing to pop up); it must stay valid until the next show.
    virtual void show(const std::string& title, const std::string& tooltip,
                      const TrayMenu* menu) = 0;
};

// Makes the fallback icon; name is the icon window's class, activated gets the position of the
// entry clicked. Null when no icon can be shown (the display is gone).
using FallbackIconFactory = std::function<std::unique_ptr<FallbackIcon>(
    const std::string& name, std::function<void(std::size_t)> activated)>;

}  // namespace ampora::linux_port
