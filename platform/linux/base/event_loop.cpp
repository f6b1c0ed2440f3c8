#include "platform/linux/base/event_loop.h"

namespace ampora::linux_port {

EventLoop::EventLoop() : loop_(g_main_loop_new(nullptr, FALSE)) {}

void EventLoop::run() {
    if (!terminated_) g_main_loop_run(loop_.get());
}

void EventLoop::terminate() {
    terminated_ = true;
    g_main_loop_quit(loop_.get());
}

}  // namespace ampora::linux_port
