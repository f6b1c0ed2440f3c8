#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/app_platform.h"

// In-memory platform services for the logic tests. What they are asked to do goes to one log, as
// text, so that a test can check what happened and in which order.
namespace ampora::fakes {

using Log = std::vector<std::string>;

struct FakeMenuItem : MenuItem {
    void setTitle(std::string_view text) override { title = text; }
    void setAction(Selector selector) override { action = selector; }
    void setKeyEquivalent(std::string_view) override {}
    void setState(int state) override { checkState = state; }
    int state() const override { return checkState; }

    std::string title;
    Selector action = Selector::None;
    int checkState = kCheckStateOff;
};

struct FakeMenu : Menu {
    void setFont(const Font& chosen) override { font = chosen; }
    MenuItem& addItemWithTitle(std::string_view title, Selector action, std::string_view) override {
        MenuItem& item = addItem(std::make_unique<FakeMenuItem>());
        item.setTitle(title);
        item.setAction(action);
        return item;
    }
    MenuItem& addItem(std::unique_ptr<MenuItem> item) override {
        items.emplace_back(static_cast<FakeMenuItem*>(item.release()));
        return *items.back();
    }

    std::optional<Font> font;
    std::vector<std::unique_ptr<FakeMenuItem>> items;
};

// Logs "title <text>" for a plain title, "title <text> in <font>" for an attributed one, and
// "menu <number of entries>".
struct FakeStatusItem : StatusItem {
    explicit FakeStatusItem(Log& log) : log(log) {}
    void setMenu(Menu& shown) override {
        menu = &shown;
        log.push_back("menu " + std::to_string(fakeMenu().items.size()));
    }
    void setTitle(std::string_view text) override { log.push_back("title " + std::string(text)); }
    void setAttributedTitle(std::string_view text, const Font& font) override {
        const std::string size = std::to_string(static_cast<int>(font.size));
        log.push_back("title " + std::string(text) + " in " + font.name + " " + size);
    }
    void setHighlightMode(bool on) override { log.push_back(on ? "highlight" : "no highlight"); }
    void setBatteryLevel(int percent, bool isCharging, bool external) override {
        batteryLevel = percent;
        charging = isCharging;
        externalPower = external;
    }
    const FakeMenu& fakeMenu() const { return static_cast<const FakeMenu&>(*menu); }

    Log& log;
    Menu* menu = nullptr;
    int batteryLevel = -2;  // never told
    bool charging = false;
    bool externalPower = false;
};

// The user's session: status bar, menus, running applications, login items, notifications (each
// delivered to every observer: the log tells what they asked for), alerts and the console.
struct FakeDesktop : StatusBar,
                     MenuFactory,
                     Workspace,
                     LoginItemService,
                     DistributedNotificationCenter,
                     AlertPresenter,
                     Application,
                     Console {
    explicit FakeDesktop(Log& log) : log(log) {}

    std::unique_ptr<StatusItem> statusItemWithLength(double length) override {
        log.push_back(length == kVariableStatusItemLength ? "status item" : "fixed status item");
        auto made = std::make_unique<FakeStatusItem>(log);
        item = made.get();
        return made;
    }
    std::unique_ptr<Menu> newMenu(std::string_view) override {
        return std::make_unique<FakeMenu>();
    }
    std::unique_ptr<MenuItem> newMenuItem() override { return std::make_unique<FakeMenuItem>(); }
    std::vector<std::optional<std::string>> runningApplicationBundleIdentifiers() override {
        return running;
    }
    bool openURL(std::string_view url) override {
        say({"open", url});
        const std::string_view scheme = url.substr(0, url.find(':'));
        return std::find(handledSchemes.begin(), handledSchemes.end(), scheme) !=
               handledSchemes.end();
    }
    bool launchApplication(std::string_view) override { return false; }  // the helper watches
    bool launchAndWatchApplication(std::string_view path, std::function<void()>) override {
        return say({"launch", path}), launchSucceeds;
    }
    bool setEnabled(std::string_view identifier, bool on) override {
        if (statusAfterChange != LoginItemStatus::Unknown) recorded = statusAfterChange;
        return say({"login item", identifier, on ? "on" : "off"}), loginItemsSucceed;
    }
    LoginItemStatus status(std::string_view) override { return recorded; }
    void openSystemSettings() override { say({"settings"}); }
    void postNotification(std::string_view n, std::string_view o) override { say({"post", n, o}); }
    void addObserver(std::string_view name, std::string_view object,
                     std::function<void()> callback) override {
        say({"observe", name, object});
        observers.push_back(std::move(callback));
    }
    void runModal(std::string_view message, std::string_view button,
                  std::string_view text) override {
        say({"alert", message, "|", button, "|", text});
        if (whileAlertIsUp) whileAlertIsUp();
    }
    void terminate() override { say({"terminate"}); }
    void silenceStandardStreams() override { say({"silence"}); }
    void writeLine(std::string_view line) override { say({"print", line}); }

    void say(std::initializer_list<std::string_view> words) {
        std::string line;
        for (const std::string_view word : words) line.append(line.empty() ? "" : " ").append(word);
        log.push_back(line);
    }

    Log& log;
    FakeStatusItem* item = nullptr;  // the last one made
    std::vector<std::optional<std::string>> running;
    bool loginItemsSucceed = true;
    std::vector<std::string_view> handledSchemes = {"appstream", "macappstore", "http"};
    LoginItemStatus recorded = LoginItemStatus::Unknown;  // what the service keeps, if anything
    LoginItemStatus statusAfterChange = LoginItemStatus::Unknown;
    std::vector<std::function<void()>> observers;
    bool launchSucceeds = true;
    std::function<void()> whileAlertIsUp;
};

// Power sources appear through the matching callback once it is registered; messages reach the
// entries' subscribers. Logs "match <class>", "read <entry>" and "watch <entry>".
class FakeRegistry : public DeviceRegistry, RegistryIterator {
  public:
    explicit FakeRegistry(Log& log) : log_(log) {}

    std::unique_ptr<NotificationPort> createNotificationPort() override {
        return std::make_unique<Port>(*this);
    }
    std::optional<PropertyDictionary> copyProperties(RegistryEntry entry) override {
        log_.push_back("read " + std::to_string(entry));
        return properties[entry];
    }

    // Nothing for properties: the registry delivers none.
    void publish(RegistryEntry entry, std::optional<PropertyDictionary> values) {
        properties[entry] = std::move(values);
        unmatched_.push_back(entry);
        if (matched_) matched_(*this);
    }
    void sendMessage(RegistryEntry entry, std::uint32_t messageType) {
        for (const auto& [subscribed, callback] : interests_) {
            if (subscribed == entry) callback(entry, messageType);
        }
    }

    std::map<RegistryEntry, std::optional<PropertyDictionary>> properties;
    bool hasRunLoopSource = true;
    bool matchingFails = false;

  private:
    RegistryEntry next() override {
        if (unmatched_.empty()) return kNoRegistryEntry;
        const RegistryEntry entry = unmatched_.front();
        unmatched_.pop_front();
        return entry;
    }

    struct Port : NotificationPort {
        explicit Port(FakeRegistry& registry) : registry(registry) {}
        bool addRunLoopSourceToCurrentRunLoop() override { return registry.hasRunLoopSource; }
        RegistryIterator* addFirstMatchNotification(std::string_view className,
                                                    MatchingCallback callback) override {
            registry.log_.push_back("match " + std::string(className));
            if (registry.matchingFails) return nullptr;
            registry.matched_ = std::move(callback);
            return &registry;
        }
        void addInterestNotification(RegistryEntry entry, InterestCallback callback) override {
            registry.log_.push_back("watch " + std::to_string(entry));
            registry.interests_.emplace_back(entry, std::move(callback));
        }
        FakeRegistry& registry;
    };

    Log& log_;
    std::deque<RegistryEntry> unmatched_;
    NotificationPort::MatchingCallback matched_;
    std::vector<std::pair<RegistryEntry, NotificationPort::InterestCallback>> interests_;
};

// Every platform service the monitor uses.
struct FakeAppPlatform {
    Log log;
    FakeDesktop desktop{log};
    FakeRegistry registry{log};

    AppPlatform ports() {
        return {desktop, desktop, desktop, desktop, desktop, desktop, desktop, desktop, registry};
    }
};

}  // namespace ampora::fakes
