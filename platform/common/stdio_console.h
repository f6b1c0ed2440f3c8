#pragma once

#include <string_view>

#include "app/ports/application.h"

namespace ampora {

// The C library's standard streams, the same on every platform.
class StdioConsole final : public Console {
  public:
    void silenceStandardStreams() override;
    void writeLine(std::string_view line) override;
};

}  // namespace ampora
