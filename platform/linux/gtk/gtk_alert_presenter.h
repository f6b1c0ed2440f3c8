#pragma once

#include "app/ports/application.h"

namespace ampora::linux_port {

// A modal GtkMessageDialog: the message, the informative text below it and one button.
class GtkAlertPresenter : public AlertPresenter {
  public:
    void runModal(std::string_view message, std::string_view button,
                  std::string_view informativeText) override;
};

}  // namespace ampora::linux_port
