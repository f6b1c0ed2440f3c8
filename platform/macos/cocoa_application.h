#pragma once

#include "app/ports/application.h"

namespace ampora::macos {

// The process's NSApplication.
class CocoaApplication final : public Application {
  public:
    void terminate() override;
};

}  // namespace ampora::macos
