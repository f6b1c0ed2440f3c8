#pragma once

#include <gio/gio.h>

#include <memory>
#include <vector>

#include "app/ports/notification_center.h"

namespace ampora::linux_port {

// Notifications between programs as a broadcast signal on the session bus, carrying the name and
// the object. Without a bus nothing is sent and nothing arrives.
class BusNotificationCenter : public DistributedNotificationCenter {
  public:
    explicit BusNotificationCenter(GDBusConnection* bus);
    ~BusNotificationCenter() override;
    BusNotificationCenter(const BusNotificationCenter&) = delete;
    BusNotificationCenter& operator=(const BusNotificationCenter&) = delete;

    void postNotification(std::string_view name, std::string_view object) override;
    void addObserver(std::string_view name, std::string_view object,
                     std::function<void()> callback) override;

    struct Observer;

  private:
    GDBusConnection* bus_;
    std::vector<std::unique_ptr<Observer>> observers_;
};

}  // namespace ampora::linux_port
