#pragma once

#include <filesystem>
#include <string>

#include "app/ports/application.h"
#include "platform/linux/base/private_environment.h"

namespace ampora::linux_port {

// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when that is unset or not absolute.
std::filesystem::path userAutostartDirectory();

// Login items as Linux desktops keep them: one desktop entry per item in the autostart directory.
// Only the login helper can be registered. Enabling writes the entry (atomically) and starts the
// helper at once; disabling removes exactly that entry.
class AutostartLoginItems : public LoginItemService {
  public:
    // Without a session bus the helper could never be told to quit, so enabling fails then. The
    // helper started gets the environment without privateEnvironment's switches (null: none).
    AutostartLoginItems(std::filesystem::path autostartDirectory, std::string helperExecutable,
                        bool sessionBusAvailable,
                        const PrivateEnvironment* privateEnvironment = nullptr);

    bool setEnabled(std::string_view bundleIdentifier, bool enabled) override;

    std::filesystem::path entryPath() const;

  private:
    bool writeEntry() const;

    std::filesystem::path directory_;
    std::string helperExecutable_;
    bool sessionBusAvailable_;
    const PrivateEnvironment* privateEnvironment_;
};

}  // namespace ampora::linux_port
