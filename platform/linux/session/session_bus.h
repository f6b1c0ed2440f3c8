#pragma once

#include <gio/gio.h>

#include <string>

#include "platform/linux/base/glib_handles.h"

namespace ampora::linux_port {

// How long start-up waits for the session bus to connect or to answer a call: a bus that
// accepts but never answers would otherwise hold the start for good (GDBus waits 25 s per call,
// and forever to connect).
inline constexpr int kBusStartLimitMs = 5000;

// The user's session bus; null when there is none or it doesn't answer in time, which is logged
// with the reason (each user of the bus then does nothing).
GObjectPtr<GDBusConnection> connectSessionBus();

// A well-known name held on the session bus while the object lives: how the other program sees
// that this one runs. Claimed synchronously, so it is visible before start-up goes on.
class OwnedBusName {
  public:
    OwnedBusName(GDBusConnection* bus, std::string name);
    ~OwnedBusName();
    OwnedBusName(const OwnedBusName&) = delete;
    OwnedBusName& operator=(const OwnedBusName&) = delete;

    bool owned() const { return owned_; }
    // Another program holds the name: another copy of this one runs in the session.
    bool takenByAnother() const { return takenByAnother_; }

  private:
    GDBusConnection* bus_;
    std::string name_;
    bool owned_ = false;
    bool takenByAnother_ = false;
};

}  // namespace ampora::linux_port
