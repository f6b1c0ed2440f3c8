#pragma once

#include <gio/gio.h>

#include <string>

#include "app/ports/status_bar.h"
#include "platform/linux/tray/themed_icons.h"
#include "platform/linux/tray/tray_menu.h"
#include "platform/linux/tray/tray_windows.h"

namespace ampora::linux_port {

// The tray: a StatusNotifierItem of our own on the session bus, with its menu exported over
// dbusmenu, and an XEmbed tray icon while no panel shows it (or there is no bus at all). Where
// the panel shows Ayatana labels the title is the label next to a battery icon from the user's
// theme; everywhere else the title is drawn as the icon, and there is no label. Hosts that pass
// a click on get the menu popped up by Ampora itself.
class TrayStatusBar : public StatusBar {
  public:
    // bus may be null. iconName is the bundled icon in iconDirectory, used when the icon themes
    // panels search have no battery icons. Menu choices go to actions; windows makes the XEmbed
    // icon and the popped-up menu.
    TrayStatusBar(GDBusConnection* bus, std::string id, std::string iconName,
                  std::string iconDirectory, MenuActionSink& actions, TrayWindows& windows);

    std::unique_ptr<StatusItem> statusItemWithLength(double length) override;

  private:
    GDBusConnection* bus_;
    std::string id_;
    std::string iconName_;
    std::string iconDirectory_;
    ThemedIcons themedIcons_;
    MenuActionSink& actions_;
    TrayWindows& windows_;
};

}  // namespace ampora::linux_port
