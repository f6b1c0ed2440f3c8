#pragma once

#include "app/ports/application.h"

namespace ampora::macos {

// Application-modal NSAlert.
class CocoaAlertPresenter final : public AlertPresenter {
  public:
    void runModal(std::string_view message, std::string_view button,
                  std::string_view informativeText) override;
};

}  // namespace ampora::macos
