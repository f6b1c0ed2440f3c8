#pragma once

#include "app/ports/application.h"

namespace ampora::linux_port {

class StdioConsole : public Console {
  public:
    void silenceStandardStreams() override;
    void writeLine(std::string_view line) override;
};

}  // namespace ampora::linux_port
