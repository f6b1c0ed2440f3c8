#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "app/ports/application.h"
#include "platform/linux/base/logging.h"
#include "platform/linux/base/private_environment.h"

namespace ampora::linux_port {

// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when that is unset or not absolute.
std::filesystem::path userAutostartDirectory();

// Login items as Linux desktops keep them: one desktop entry per item in the autostart directory.
// Only the login helper can be registered; it is Enabled while its entry would start it at login.
// Enabling writes the entry (atomically, through a symlink to its target, keeping whatever else
// the user put in it) and starts the helper at once; disabling removes exactly that entry.
// Refusals are logged with their reason.
class AutostartLoginItems : public LoginItemService {
  public:
    // Without a session bus the helper could never be told to quit, so enabling fails then. The
    // helper started gets the environment without privateEnvironment's switches (null: none).
    AutostartLoginItems(std::filesystem::path autostartDirectory, std::string helperExecutable,
                        bool sessionBusAvailable,
                        const PrivateEnvironment* privateEnvironment = nullptr);

    bool setEnabled(std::string_view bundleIdentifier, bool enabled) override;
    LoginItemStatus status(std::string_view bundleIdentifier) override;

    std::filesystem::path entryPath() const;

  private:
    bool enable();
    bool disable();
    bool refuse(const std::string& why);

    std::filesystem::path directory_;
    std::string helperExecutable_;
    bool sessionBusAvailable_;
    RecurringFailure refusal_;
    const PrivateEnvironment* privateEnvironment_;
};

}  // namespace ampora::linux_port
