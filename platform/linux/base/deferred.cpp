#include "platform/linux/base/deferred.h"

#include <utility>

namespace ampora::linux_port {

void Deferred::after(guint milliseconds, std::function<void()> run) {
    cancel();
    run_ = std::move(run);
    source_ = g_timeout_add(milliseconds, &Deferred::fire, this);
}

void Deferred::whenIdle(std::function<void()> run) {
    cancel();
    run_ = std::move(run);
    source_ = g_idle_add_full(G_PRIORITY_HIGH_IDLE, &Deferred::fire, this, nullptr);
}

void Deferred::cancel() {
    if (source_) g_source_remove(std::exchange(source_, 0));
    run_ = nullptr;
}

gboolean Deferred::fire(gpointer self) {
    auto* deferred = static_cast<Deferred*>(self);
    deferred->source_ = 0;
    // The callback may start this again, or end its owner: nothing of ours is touched after it.
    const std::function<void()> run = std::exchange(deferred->run_, nullptr);
    run();
    return G_SOURCE_REMOVE;
}

}  // namespace ampora::linux_port
