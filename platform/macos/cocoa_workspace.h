#pragma once

#include "app/ports/workspace.h"

namespace ampora::macos {

// NSWorkspace sharedWorkspace.
class CocoaWorkspace final : public Workspace {
  public:
    std::vector<std::optional<std::string>> runningApplicationBundleIdentifiers() override;
    bool openURL(std::string_view url) override;
    bool launchApplication(std::string_view path) override;
};

}  // namespace ampora::macos
