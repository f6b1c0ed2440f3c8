#pragma once

#include <string>
#include <vector>

namespace ampora::fakes {

// What the platform was asked to do, in order, across all fakes of one test.
struct EventLog {
    std::vector<std::string> events;
    void add(std::string event) { events.push_back(std::move(event)); }
};

}  // namespace ampora::fakes
