#pragma once

#include <string_view>

#include "app/ports/application.h"

namespace ampora::macos {

// The C library's standard streams.
class StdioConsole final : public Console {
  public:
    void silenceStandardStreams() override;
    void writeLine(std::string_view line) override;
};

}  // namespace ampora::macos
