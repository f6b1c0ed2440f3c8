#pragma once

#include <string>

namespace ampora {

// A font asked for by name and size; the platform resolves it (and falls back when it's missing).
struct Font {
    std::string name;
    double size = 0.0;

    bool operator==(const Font&) const = default;
};

}  // namespace ampora
