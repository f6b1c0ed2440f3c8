#pragma once

#include <glib.h>

#include <functional>

namespace ampora::linux_port {

// A callback the default main context runs once: after a delay, or as soon as it is idle. Starting
// it again replaces what was pending; it never runs once the object is gone.
class Deferred {
  public:
    Deferred() = default;
    ~Deferred() { cancel(); }
    Deferred(const Deferred&) = delete;
    Deferred& operator=(const Deferred&) = delete;

    void after(guint milliseconds, std::function<void()> run);
    // Before the default idle work (drawing, GDBus's own), after every event already waiting.
    void whenIdle(std::function<void()> run);
    void cancel();
    bool pending() const { return source_ != 0; }

  private:
    static gboolean fire(gpointer self);

    std::function<void()> run_;
    guint source_ = 0;
};

}  // namespace ampora::linux_port
