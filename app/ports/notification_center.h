#pragma once

#include <functional>
#include <string_view>

namespace ampora {

// The system-wide notification centre through which the two programs talk.
class DistributedNotificationCenter {
  public:
    virtual ~DistributedNotificationCenter() = default;
    virtual void postNotification(std::string_view name, std::string_view object) = 0;
    // The callback runs on the main thread, only for notifications with exactly this name and
    // this object. The observer stays registered for the life of the centre.
    virtual void addObserver(std::string_view name, std::string_view object,
                             std::function<void()> callback) = 0;
};

}  // namespace ampora
