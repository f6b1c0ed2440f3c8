#pragma once

#include <gtk/gtk.h>

#include <vector>

#include "app/ports/application.h"

namespace ampora::linux_port {

// A modal GtkMessageDialog: the message, the informative text below it and one button.
class GtkAlertPresenter : public AlertPresenter {
  public:
    void runModal(std::string_view message, std::string_view button,
                  std::string_view informativeText) override;
    // Closes every alert still waiting, as if dismissed: each holds the program in a loop of
    // its own, so Quit could not end it otherwise.
    void dismissAll();

  private:
    std::vector<GtkWidget*> shown_;  // innermost last; each owned by its runModal
};

}  // namespace ampora::linux_port
