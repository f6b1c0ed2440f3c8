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

// The menu popped up by Ampora itself, for hosts that pass a click on (Activate) rather than
// showing the menu they were given.
class MenuPopup {
  public:
    virtual ~MenuPopup() = default;
    // The menu to pop up; an open popup changes with it, and closes when it is null. It must
    // stay valid until the next show.
    virtual void show(const TrayMenu* menu) = 0;
    // Opens it with a corner at a point of the screen, or at the pointer. False where no menu of
    // ours can be placed there (Wayland), or there is no menu.
    virtual bool popUp(int x, int y) = 0;
    virtual bool popUpAtPointer() = 0;
};

// What the tray shows in windows of a toolkit's, made where the toolkit lives. Each gets the
// position of the entry clicked; null when nothing can be shown (no display).
class TrayWindows {
  public:
    virtual std::unique_ptr<FallbackIcon> newFallbackIcon(
        const std::string& name, std::function<void(std::size_t)> activated) = 0;
    virtual std::unique_ptr<MenuPopup> newMenuPopup(std::function<void(std::size_t)> activated) = 0;

  protected:
    ~TrayWindows() = default;
};

}  // namespace ampora::linux_port
