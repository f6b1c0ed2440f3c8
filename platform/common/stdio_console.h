#pragma once

#include <string_view>

#include "app/ports/application.h"

namespace ampora {

// Opens descriptors 0, 1 and 2 on /dev/null where they are closed (some launchers start programs
// that way). Called first thing in main: otherwise the first files and sockets opened take those
// numbers, and silencing the streams later puts /dev/null over them.
void openStandardStreams();

// The C library's standard streams, the same on every platform.
class StdioConsole final : public Console {
  public:
    void silenceStandardStreams() override;
    void writeLine(std::string_view line) override;
};

}  // namespace ampora
