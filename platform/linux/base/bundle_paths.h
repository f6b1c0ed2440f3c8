#pragma once

#include <filesystem>

namespace ampora::linux_port {

// Where things lie inside the bundles, found from this process's own executable, which sits in
// <bundle>.app/Contents/MacOS/. Empty paths when the executable can't be found.
std::filesystem::path runningExecutable();
std::filesystem::path bundleOfExecutable(const std::filesystem::path& executable);
std::filesystem::path resourcesOfExecutable(const std::filesystem::path& executable);
// Where the modules loaded at run time lie: <bundle>.app/Contents/PlugIns.
std::filesystem::path pluginsOfExecutable(const std::filesystem::path& executable);
// The login helper's executable inside the monitor's bundle.
std::filesystem::path helperExecutableOf(const std::filesystem::path& monitorExecutable);

}  // namespace ampora::linux_port
