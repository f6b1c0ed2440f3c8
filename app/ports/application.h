#pragma once

#include <string_view>

namespace ampora {

class Application {
  public:
    virtual ~Application() = default;
    // Ends the program's event loop; the process then exits with status 0.
    virtual void terminate() = 0;
};

// A modal alert with one button; returns when the user dismisses it.
class AlertPresenter {
  public:
    virtual ~AlertPresenter() = default;
    virtual void runModal(std::string_view message, std::string_view button,
                          std::string_view informativeText) = 0;
};

// The process's standard streams.
class Console {
  public:
    virtual ~Console() = default;
    // Reopens standard input, output and error, in that order, onto /dev/null.
    virtual void silenceStandardStreams() = 0;
    virtual void writeLine(std::string_view line) = 0;
};

// What the login-item service has on record for an item.
enum class LoginItemStatus {
    Unknown,  // the service keeps no record it shows (older systems, other platforms)
    NotRegistered,
    Enabled,
    RequiresApproval,  // registered, but switched off by the user in the system's settings
    NotFound,
};

// Registration of a login item with the system's login-item service.
class LoginItemService {
  public:
    virtual ~LoginItemService() = default;
    // True on success. Enabling also starts the item at once.
    virtual bool setEnabled(std::string_view bundleIdentifier, bool enabled) = 0;
    virtual LoginItemStatus status(std::string_view /*bundleIdentifier*/) {
        return LoginItemStatus::Unknown;
    }
    // Shows the system's settings where the user allows login items.
    virtual void openSystemSettings() {}
};

}  // namespace ampora
