#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/ports/application.h"
#include "app/ports/notification_center.h"
#include "app/ports/workspace.h"

namespace ampora {

// The monitor's executable, found from the helper's own bundle path: the helper lies in
// <monitor>.app/Contents/Library/LoginItems/, the monitor's executable in
// <monitor>.app/Contents/MacOS/Ampora. Nothing when the path has fewer than four components (the
// helper is not inside a monitor bundle).
std::optional<std::string> monitorExecutablePath(std::string_view helperBundlePath);

struct HelperPlatform {
    Workspace& workspace;
    DistributedNotificationCenter& notifications;
    Application& application;
};

// The login helper: starts the monitor unless it runs already, then waits for it to say "quit",
// or to end.
class HelperAppDelegate {
  public:
    HelperAppDelegate(HelperPlatform platform, std::string bundlePath);

    void applicationDidFinishLaunching();
    void killApp();

  private:
    HelperPlatform platform_;
    std::string bundlePath_;
};

}  // namespace ampora
