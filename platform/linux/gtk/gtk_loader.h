#pragma once

#include <filesystem>
#include <memory>

#include "app/ports/application.h"
#include "platform/linux/gtk/gtk_windows.h"
#include "platform/linux/tray/tray_windows.h"

namespace ampora::linux_port {

// Loads the GTK module the first time a GTK window is to be shown, so that GTK is never mapped
// into a monitor that only exports its tray item. Once loaded it stays: GTK can't be unloaded.
// The tray's windows come from the module; none when it can't be had.
class GtkLoader : public TrayWindows {
  public:
    explicit GtkLoader(std::filesystem::path module);
    ~GtkLoader();
    GtkLoader(const GtkLoader&) = delete;
    GtkLoader& operator=(const GtkLoader&) = delete;

    // Null when the module can't be loaded or GTK can't open the display. Tried once: GTK can't
    // be set up a second time in one process.
    GtkWindows* windows();
    // The module's windows if loaded already; never loads it.
    GtkWindows* loaded() const { return windows_.get(); }

    std::unique_ptr<FallbackIcon> newFallbackIcon(
        const std::string& name, std::function<void(std::size_t)> activated) override;
    std::unique_ptr<MenuPopup> newMenuPopup(std::function<void(std::size_t)> activated) override;

  private:
    std::filesystem::path module_;
    std::unique_ptr<GtkWindows> windows_;
    bool tried_ = false;
};

// Alerts shown by the module; without it (no display any more) the alert is written to stderr.
class GtkAlerts : public AlertPresenter {
  public:
    explicit GtkAlerts(GtkLoader& gtk) : gtk_(gtk) {}
    void runModal(std::string_view message, std::string_view button,
                  std::string_view informativeText) override;
    // Closes every alert still waiting: each holds the program in a loop of its own, so Quit
    // could not end it otherwise.
    void dismissAll();

  private:
    GtkLoader& gtk_;
};

}  // namespace ampora::linux_port
