#include "platform/linux/base/bundle_paths.h"

#include <system_error>

#include "shared/identifiers.h"

namespace ampora::linux_port {

std::filesystem::path runningExecutable() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

std::filesystem::path bundleOfExecutable(const std::filesystem::path& executable) {
    if (executable.empty()) return {};
    // MacOS/<name> -> Contents -> <bundle>.app
    return executable.parent_path().parent_path().parent_path();
}

std::filesystem::path resourcesOfExecutable(const std::filesystem::path& executable) {
    if (executable.empty()) return {};
    return executable.parent_path().parent_path() / "Resources";
}

std::filesystem::path pluginsOfExecutable(const std::filesystem::path& executable) {
    if (executable.empty()) return {};
    return executable.parent_path().parent_path() / "PlugIns";
}

std::filesystem::path helperExecutableOf(const std::filesystem::path& monitorExecutable) {
    if (monitorExecutable.empty()) return {};
    return monitorExecutable.parent_path().parent_path() / "Library" / "LoginItems" /
           (std::string(HelperExecutableName) + ".app") / "Contents" / "MacOS" /
           std::string(HelperExecutableName);
}

}  // namespace ampora::linux_port
