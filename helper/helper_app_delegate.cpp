#include "helper/helper_app_delegate.h"

#include <algorithm>
#include <vector>

#include "shared/identifiers.h"

namespace ampora {

namespace {

// Splits like the platform's path components: a leading "/" is a component of its own; empty
// components (repeated or trailing slashes) are dropped.
std::vector<std::string_view> pathComponents(std::string_view path) {
    std::vector<std::string_view> components;
    if (path.starts_with('/')) components.push_back("/");
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start) components.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

}  // namespace

std::optional<std::string> monitorExecutablePath(std::string_view helperBundlePath) {
    std::vector<std::string_view> components = pathComponents(helperBundlePath);
    // <monitor>.app/Contents/Library/LoginItems/<helper>.app: drop the last three, keep Contents.
    if (components.size() < 4) return std::nullopt;
    components.resize(components.size() - 3);
    components.push_back(MonitorExecutableDirectory);
    components.push_back(MonitorExecutableName);

    std::string path;
    for (std::string_view component : components) {
        if (!path.empty() && path.back() != '/') path += '/';
        path += component;
    }
    return path;
}

HelperAppDelegate::HelperAppDelegate(HelperPlatform platform, std::string bundlePath)
    : platform_(platform), bundlePath_(std::move(bundlePath)) {}

void HelperAppDelegate::applicationDidFinishLaunching() {
    bool monitorRunning = false;
    for (const auto& identifier : platform_.workspace.runningApplicationBundleIdentifiers()) {
        if (identifier && *identifier == MainBundleIdentifier) monitorRunning = true;
    }
    // Started while the monitor runs (launch at login was just turned on): nothing to do.
    if (monitorRunning) {
        killApp();
        return;
    }

    const std::optional<std::string> monitor = monitorExecutablePath(bundlePath_);
    if (!monitor) {
        // Not inside a monitor bundle: there is nothing we could start.
        killApp();
        return;
    }
    platform_.notifications.addObserver(TerminateHelperNotification, MainBundleIdentifier,
                                        [this] { killApp(); });
    // A monitor that can't start, or ends without a word, will never tell us to quit: waiting
    // on would hold our name, and the next login's helper would think us still at work.
    if (!platform_.workspace.launchAndWatchApplication(*monitor, [this] { killApp(); })) {
        killApp();
    }
}

void HelperAppDelegate::killApp() {
    platform_.application.terminate();
}

}  // namespace ampora
