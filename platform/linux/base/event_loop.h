#pragma once

#include "app/ports/application.h"
#include "platform/linux/base/glib_handles.h"

namespace ampora::linux_port {

// The application object: runs the default main context until terminate(). A terminate() that
// comes before run() (the helper may quit while still launching) makes run() return at once.
class EventLoop : public Application {
  public:
    EventLoop();
    void run();
    void terminate() override;

  private:
    GMainLoopPtr loop_;
    bool terminated_ = false;
};

}  // namespace ampora::linux_port
