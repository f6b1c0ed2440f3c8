#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/ports/application.h"
#include "app/ports/notification_center.h"
#include "app/ports/workspace.h"
#include "event_log.h"

namespace ampora::fakes {

class FakeWorkspace : public Workspace {
  public:
    std::vector<std::optional<std::string>> runningApplicationBundleIdentifiers() override {
        return running;
    }
    bool openURL(std::string_view url) override {
        openedURLs.emplace_back(url);
        return false;  // callers must not care
    }
    bool launchApplication(std::string_view path) override {
        launchedPaths.emplace_back(path);
        return true;
    }

    std::vector<std::optional<std::string>> running;
    std::vector<std::string> openedURLs;
    std::vector<std::string> launchedPaths;
};

// Delivers like the platform: only to observers of exactly that name and object.
class FakeNotificationCenter : public DistributedNotificationCenter {
  public:
    struct Notification {
        std::string name;
        std::string object;
        bool operator==(const Notification&) const = default;
    };

    void postNotification(std::string_view name, std::string_view object) override {
        posted.push_back({std::string(name), std::string(object)});
    }
    void addObserver(std::string_view name, std::string_view object,
                     std::function<void()> callback) override {
        observers.push_back({{std::string(name), std::string(object)}, std::move(callback)});
    }

    // A notification arriving from another process.
    void deliver(std::string_view name, std::string_view object) {
        for (auto& [key, callback] : observers) {
            if (key.name == name && key.object == object) callback();
        }
    }

    std::vector<Notification> posted;
    std::vector<std::pair<Notification, std::function<void()>>> observers;
};

class FakeApplication : public Application {
  public:
    void terminate() override { ++terminateCalls; }
    int terminateCalls = 0;
};

class FakeAlerts : public AlertPresenter {
  public:
    struct Alert {
        std::string message, button, informativeText;
    };
    void runModal(std::string_view message, std::string_view button,
                  std::string_view informativeText) override {
        shown.push_back({std::string(message), std::string(button), std::string(informativeText)});
        if (whileShown) whileShown();
    }

    std::vector<Alert> shown;
    std::function<void()> whileShown;  // what happens while the user hasn't dismissed it yet
};

class FakeConsole : public Console {
  public:
    explicit FakeConsole(EventLog& log) : log_(log) {}
    void silenceStandardStreams() override {
        silenced = true;
        log_.add("console silenced");
    }
    void writeLine(std::string_view line) override { lines.emplace_back(line); }

    bool silenced = false;
    std::vector<std::string> lines;

  private:
    EventLog& log_;
};

class FakeLoginItems : public LoginItemService {
  public:
    bool setEnabled(std::string_view identifier, bool enabled) override {
        calls.emplace_back(std::string(identifier), enabled);
        if (statusAfterChange != LoginItemStatus::Unknown) recorded = statusAfterChange;
        return succeeds;
    }
    LoginItemStatus status(std::string_view) override { return recorded; }
    void openSystemSettings() override { ++settingsShown; }

    std::vector<std::pair<std::string, bool>> calls;
    bool succeeds = true;
    LoginItemStatus recorded = LoginItemStatus::Unknown;  // what the service keeps, if anything
    LoginItemStatus statusAfterChange = LoginItemStatus::Unknown;
    int settingsShown = 0;
};

}  // namespace ampora::fakes
