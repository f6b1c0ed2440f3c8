#pragma once

#include <libdbusmenu-glib/server.h>

#include <cstddef>
#include <functional>
#include <vector>

#include "platform/linux/base/glib_handles.h"
#include "platform/linux/tray/tray_menu.h"

namespace ampora::linux_port {

// The tray's menu on the session bus (com.canonical.dbusmenu), as one tree for the life of the
// item: showing a new menu changes the entries' labels and states in place, so a panel gets one
// small update instead of a new layout to re-read.
class DbusMenuExport {
  public:
    // activated gets the position of the entry clicked.
    DbusMenuExport(const char* objectPath, std::function<void(std::size_t)> activated);
    ~DbusMenuExport();
    DbusMenuExport(const DbusMenuExport&) = delete;
    DbusMenuExport& operator=(const DbusMenuExport&) = delete;

    void show(const TrayMenu& menu);

  private:
    static void onActivated(DbusmenuMenuitem* entry, guint timestamp, gpointer self);

    std::function<void(std::size_t)> activated_;
    GObjectPtr<DbusmenuServer> server_;
    GObjectPtr<DbusmenuMenuitem> root_;
    std::vector<DbusmenuMenuitem*> entries_;  // held by root_
};

}  // namespace ampora::linux_port
