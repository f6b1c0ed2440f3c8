#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ampora {

// The user's session as both programs see it.
class Workspace {
  public:
    virtual ~Workspace() = default;
    // One element per running application: its bundle identifier, or nothing when it has none.
    virtual std::vector<std::optional<std::string>> runningApplicationBundleIdentifiers() = 0;
    // Opens a URL in the user's default handler. Failures are ignored by the callers.
    virtual bool openURL(std::string_view url) = 0;
    // Starts the application whose executable is at path.
    virtual bool launchApplication(std::string_view path) = 0;
    // The same, and calls ended once the application has exited, so that whoever waits for it
    // can stop. Where the platform can't follow it, ended is never called.
    virtual bool launchAndWatchApplication(std::string_view path, std::function<void()> ended) {
        (void)ended;
        return launchApplication(path);
    }
};

}  // namespace ampora
