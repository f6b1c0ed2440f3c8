#pragma once

#include <string_view>

namespace ampora::macos {

// Registers or unregisters a login item with the login-item service of macOS before 13
// (SMLoginItemSetEnabled). True on success.
bool setLegacyLoginItemEnabled(std::string_view bundleIdentifier, bool enabled);

}  // namespace ampora::macos
