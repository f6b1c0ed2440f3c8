#pragma once

#include <gio/gio.h>

#include "app/ports/workspace.h"
#include "platform/linux/base/logging.h"
#include "platform/linux/base/private_environment.h"

namespace ampora::linux_port {

// The session as seen on the session bus: a program runs when it holds its bundle identifier as
// a well-known name.
class BusWorkspace : public Workspace {
  public:
    // bus may be null: then nothing seems to run. The programs opened get the environment
    // without privateEnvironment's switches (null: without none).
    explicit BusWorkspace(GDBusConnection* bus,
                          const PrivateEnvironment* privateEnvironment = nullptr);

    std::vector<std::optional<std::string>> runningApplicationBundleIdentifiers() override;
    bool openURL(std::string_view url) override;
    bool launchApplication(std::string_view path) override;
    bool launchAndWatchApplication(std::string_view path, std::function<void()> ended) override;

  private:
    GDBusConnection* bus_;
    RecurringFailure listFailure_;
    const PrivateEnvironment* privateEnvironment_;
};

}  // namespace ampora::linux_port
