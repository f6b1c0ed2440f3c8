#include "platform/linux/power/udev_notification_port.h"

#include <glib-unix.h>
#include <libudev.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/linux/base/logging.h"
#include "platform/linux/power/power_supply.h"
#include "platform/linux/power/udev_device_registry.h"

namespace ampora {
namespace {

// Events handled per wake-up before the main loop gets its turn again, so that an event storm
// can't starve drawing and input.
constexpr int kEventsPerDispatch = 64;

// Room for a burst of events while the main loop is busy. Best effort: it needs privileges, and
// an overflow is caught up with anyway.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

udev_handles::Monitor createMonitor(udev* context) {
    if (context == nullptr) return nullptr;
    udev_handles::Monitor monitor(udev_monitor_new_from_netlink(context, "udev"));
    // Without a monitor the readings taken at start-up stay up for good: say why.
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "power_supply",
                                                                    nullptr) < 0) {
        linux_port::logWarning("no battery events: cannot set up a udev monitor");
        return nullptr;
    }
    udev_monitor_set_receive_buffer_size(monitor.get(), kReceiveBufferBytes);
    if (const int error = udev_monitor_enable_receiving(monitor.get()); error < 0) {
        linux_port::logWarning(std::string("no battery events: udev's events can't be received: ") +
                               g_strerror(-error));
        return nullptr;
    }
    return monitor;
}

}  // namespace

RegistryEntry UdevNotificationPort::EntryQueue::next() {
    if (pending_.empty()) return kNoRegistryEntry;
    const RegistryEntry entry = pending_.front();
    pending_.pop_front();
    return entry;
}

void UdevNotificationPort::SourceDeleter::operator()(GSource* source) const {
    g_source_destroy(source);
    g_source_unref(source);
}

// The monitor exists before anything is enumerated, so no event falls between the two.
UdevNotificationPort::UdevNotificationPort(UdevDeviceRegistry& registry)
    : registry_(registry), monitor_(createMonitor(registry.context())) {}

UdevNotificationPort::~UdevNotificationPort() {
    source_.reset();
    if (entry_ != kNoRegistryEntry) registry_.withdraw(entry_);
}

bool UdevNotificationPort::addRunLoopSourceToCurrentRunLoop() {
    if (!monitor_) return false;
    if (source_) return true;
    source_.reset(g_unix_fd_source_new(udev_monitor_get_fd(monitor_.get()), G_IO_IN));
    g_source_set_callback(source_.get(), G_SOURCE_FUNC(&UdevNotificationPort::onMonitorReadable),
                          this, nullptr);
    GMainContext* context = g_main_context_ref_thread_default();
    g_source_attach(source_.get(), context);
    g_main_context_unref(context);
    return true;
}

RegistryIterator* UdevNotificationPort::addFirstMatchNotification(std::string_view className,
                                                                  MatchingCallback callback) {
    if (className != kPowerSourceClass || !monitor_) return nullptr;
    auto matching = std::make_unique<Matching>();
    matching->callback = std::move(callback);
    for (auto& syspath : presentBatteries()) batteries_.insert(std::move(syspath));
    if (!batteries_.empty() && entry_ == kNoRegistryEntry) entry_ = registry_.publish(batteries_);
    registry_.update(entry_, batteries_);
    if (entry_ != kNoRegistryEntry) matching->iterator.push(entry_);
    matchings_.push_back(std::move(matching));
    return &matchings_.back()->iterator;
}

void UdevNotificationPort::addInterestNotification(RegistryEntry entry, InterestCallback callback) {
    if (entry != kNoRegistryEntry && entry == entry_) {
        interests_[entry].push_back(std::move(callback));
    }
}

gboolean UdevNotificationPort::onMonitorReadable(gint, GIOCondition, gpointer port) {
    static_cast<UdevNotificationPort*>(port)->receiveEvents();
    return G_SOURCE_CONTINUE;
}

void UdevNotificationPort::receiveEvents() {
    for (int handled = 0; handled < kEventsPerDispatch; ++handled) {
        errno = 0;
        const udev_handles::Device event(udev_monitor_receive_device(monitor_.get()));
        if (!event) {
            // The socket overflowed and events were lost: find out what changed meanwhile.
            if (errno == ENOBUFS) resynchronize();
            return;
        }
        handleEvent(event.get());
    }
}

void UdevNotificationPort::handleEvent(udev_device* event) {
    const char* action = udev_device_get_action(event);
    const char* syspath = udev_device_get_syspath(event);
    if (action == nullptr || syspath == nullptr || matchings_.empty()) return;
    const std::string_view what(action);
    const auto tracked = batteries_.find(std::string_view(syspath));

    if (what == "remove") {
        // Its attributes are gone; the event's properties still tell what it was.
        if (tracked != batteries_.end()) {
            batteries_.erase(tracked);
            batteriesChanged();
        } else if (power_supply::kindOf(event) == power_supply::Kind::ExternalPower) {
            statusChanged();
        }
        return;
    }
    if (what != "add" && what != "change") return;

    // Classified from a fresh device: one that vanished since the event is no battery.
    const auto supply = power_supply::open(registry_.context(), syspath);
    const auto kind = power_supply::kindOf(supply.get());
    if (kind == power_supply::Kind::Battery) {
        if (tracked == batteries_.end()) {
            batteries_.emplace(syspath);
            batteriesChanged();
        } else if (what == "change") {
            statusChanged();
        }
    } else if (tracked != batteries_.end()) {
        batteries_.erase(tracked);  // taken out of its bay
        batteriesChanged();
    } else if (kind == power_supply::Kind::ExternalPower) {
        statusChanged();
    }
}

void UdevNotificationPort::resynchronize() {
    const auto present = presentBatteries();
    batteries_ = std::set<std::string, std::less<>>(present.begin(), present.end());
    batteriesChanged();
}

std::vector<std::string> UdevNotificationPort::presentBatteries() const {
    std::vector<std::string> batteries;
    for (auto& syspath : power_supply::presentSupplies(registry_.context())) {
        const auto supply = power_supply::open(registry_.context(), syspath);
        if (power_supply::kindOf(supply.get()) == power_supply::Kind::Battery) {
            batteries.push_back(std::move(syspath));
        }
    }
    return batteries;
}

void UdevNotificationPort::batteriesChanged() {
    if (batteries_.empty()) {
        terminate();
    } else if (entry_ == kNoRegistryEntry) {
        entry_ = registry_.publish(batteries_);
        firstMatch(entry_);
    } else {
        registry_.update(entry_, batteries_);
        statusChanged();
    }
}

void UdevNotificationPort::statusChanged() {
    if (entry_ != kNoRegistryEntry) message(entry_, kMessageBatteryStatusChanged);
}

// Callbacks may register more notifications: walk by index and call copies, so that nothing
// they add invalidates the walk.
void UdevNotificationPort::firstMatch(RegistryEntry entry) {
    for (std::size_t i = 0; i < matchings_.size(); ++i) {
        matchings_[i]->iterator.push(entry);
        const MatchingCallback callback = matchings_[i]->callback;
        if (callback) callback(matchings_[i]->iterator);
    }
}

void UdevNotificationPort::message(RegistryEntry entry, std::uint32_t messageType) {
    const auto subscribed = interests_.find(entry);
    if (subscribed == interests_.end()) return;
    // Only those subscribed before the message arrived receive it.
    const std::size_t count = subscribed->second.size();
    for (std::size_t i = 0; i < count; ++i) {
        const auto current = interests_.find(entry);
        if (current == interests_.end()) return;
        const InterestCallback callback = current->second[i];
        if (callback) callback(entry, messageType);
    }
}

void UdevNotificationPort::terminate() {
    const RegistryEntry entry = std::exchange(entry_, kNoRegistryEntry);
    if (entry == kNoRegistryEntry) return;
    message(entry, kMessageServiceTerminated);
    interests_.erase(entry);
    registry_.withdraw(entry);
}

}  // namespace ampora
