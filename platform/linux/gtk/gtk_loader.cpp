#include "platform/linux/gtk/gtk_loader.h"

#include <dlfcn.h>

#include <string>

#include "platform/linux/base/logging.h"

namespace ampora::linux_port {

GtkLoader::GtkLoader(std::filesystem::path module) : module_(std::move(module)) {}

GtkLoader::~GtkLoader() = default;

GtkWindows* GtkLoader::windows() {
    if (tried_) return windows_.get();
    tried_ = true;
    // Never closed: GTK registers types and exit handlers that must stay mapped.
    void* module = dlopen(module_.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto open =
        module ? reinterpret_cast<GtkModuleEntry>(dlsym(module, kGtkModuleEntry)) : nullptr;
    if (!open) {
        const char* why = dlerror();
        logWarning("cannot load " + module_.string() + ": " + (why ? why : "no entry point"));
        return nullptr;
    }
    windows_.reset(open());
    if (!windows_) logWarning("GTK cannot open the display");
    return windows_.get();
}

std::unique_ptr<FallbackIcon> GtkLoader::newFallbackIcon(
    const std::string& name, std::function<void(std::size_t)> activated) {
    GtkWindows* gtk = windows();
    return gtk ? gtk->newFallbackIcon(name, std::move(activated)) : nullptr;
}

std::unique_ptr<MenuPopup> GtkLoader::newMenuPopup(std::function<void(std::size_t)> activated) {
    GtkWindows* gtk = windows();
    return gtk ? gtk->newMenuPopup(std::move(activated)) : nullptr;
}

void GtkAlerts::runModal(std::string_view message, std::string_view button,
                         std::string_view informativeText) {
    if (GtkWindows* gtk = gtk_.windows()) {
        gtk->runAlert(message, button, informativeText);
        return;
    }
    logWarning(std::string(message) + ": " + std::string(informativeText));
}

void GtkAlerts::dismissAll() {
    if (GtkWindows* gtk = gtk_.loaded()) gtk->dismissAlerts();
}

}  // namespace ampora::linux_port
