#pragma once

#include <string>
#include <vector>

#include "platform/linux/base/glib_handles.h"

namespace ampora::linux_port {

// Switches this process sets in its own environment for the libraries it loads. The programs
// it starts (the browser, the helper) get the environment without them.
class PrivateEnvironment {
  public:
    // Sets name=value here unless the user has set name. Only while no other thread runs: the
    // environment is not safe to change while another thread may read it.
    void set(const char* name, const char* value);
    // The environment for a program started from here.
    GStrvPtr forChildren() const;
    const std::vector<std::string>& names() const { return names_; }

  private:
    std::vector<std::string> names_;  // those set here
};

}  // namespace ampora::linux_port
