#include "platform/macos/helper_program.h"

#include <utility>

namespace ampora::macos {

HelperProgram::HelperProgram(std::string bundlePath)
    : delegate_(HelperPlatform{workspace_, notifications_, application_}, std::move(bundlePath)) {}

}  // namespace ampora::macos
