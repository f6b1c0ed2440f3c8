#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "app/ports/notification_center.h"

namespace ampora::macos {

// NSDistributedNotificationCenter defaultCenter. Observers stay registered until this object is
// destroyed.
class CocoaDistributedNotificationCenter final : public DistributedNotificationCenter {
  public:
    CocoaDistributedNotificationCenter();
    ~CocoaDistributedNotificationCenter() override;
    CocoaDistributedNotificationCenter(const CocoaDistributedNotificationCenter&) = delete;
    CocoaDistributedNotificationCenter& operator=(const CocoaDistributedNotificationCenter&) =
        delete;

    void postNotification(std::string_view name, std::string_view object) override;
    void addObserver(std::string_view name, std::string_view object,
                     std::function<void()> callback) override;

  private:
    struct Observers;
    std::unique_ptr<Observers> observers_;
};

}  // namespace ampora::macos
