#pragma once

#include <glib.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/ports/device_registry.h"
#include "platform/linux/power/udev_handles.h"

struct udev_device;

namespace ampora {

class UdevDeviceRegistry;

// The messages this registry sends to interest callbacks, with the values the macOS registry uses.
inline constexpr std::uint32_t kMessageBatteryStatusChanged = 0xE0024100;
inline constexpr std::uint32_t kMessageServiceTerminated = 0xE0000010;

// The registry's class of power-source entries; the only class it can match.
inline constexpr std::string_view kPowerSourceClass = "IOPMPowerSource";

// Turns udev's power_supply events into registry notifications for one entry, the system's
// batteries taken as one:
//   the first battery present at registration or added later -> first match of the entry;
//   "change" of a battery, another battery added or one of several removed, and "change", "add"
//   or "remove" of a Mains/USB/Wireless supply -> battery-status-changed;
//   "remove" of the last battery, or its bay reporting present=0 -> service-terminated; the entry
//   is gone for good, and a battery put back is a new entry.
// Callbacks may call back into the port and the registry.
class UdevNotificationPort final : public NotificationPort {
  public:
    explicit UdevNotificationPort(UdevDeviceRegistry& registry);
    ~UdevNotificationPort() override;
    UdevNotificationPort(const UdevNotificationPort&) = delete;
    UdevNotificationPort& operator=(const UdevNotificationPort&) = delete;

    bool addRunLoopSourceToCurrentRunLoop() override;
    RegistryIterator* addFirstMatchNotification(std::string_view className,
                                                MatchingCallback callback) override;
    void addInterestNotification(RegistryEntry entry, InterestCallback callback) override;

  private:
    class EntryQueue final : public RegistryIterator {
      public:
        RegistryEntry next() override;
        void push(RegistryEntry entry) { pending_.push_back(entry); }

      private:
        std::deque<RegistryEntry> pending_;
    };

    struct Matching {
        EntryQueue iterator;
        MatchingCallback callback;
    };

    struct SourceDeleter {
        void operator()(GSource* source) const;
    };

    static gboolean onMonitorReadable(gint fd, GIOCondition condition, gpointer port);
    void receiveEvents();
    void handleEvent(udev_device* event);
    void resynchronize();

    std::vector<std::string> presentBatteries() const;
    // After batteries_ changed: the entry appears, is re-read or ends.
    void batteriesChanged();
    void statusChanged();
    void firstMatch(RegistryEntry entry);
    void message(RegistryEntry entry, std::uint32_t messageType);
    void terminate();

    UdevDeviceRegistry& registry_;
    udev_handles::Monitor monitor_;
    std::unique_ptr<GSource, SourceDeleter> source_;  // after monitor_: removed before it closes
    std::vector<std::unique_ptr<Matching>> matchings_;
    std::set<std::string, std::less<>> batteries_;  // syspaths
    RegistryEntry entry_ = kNoRegistryEntry;
    std::map<RegistryEntry, std::vector<InterestCallback>> interests_;
};

}  // namespace ampora
