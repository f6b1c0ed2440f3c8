#include "platform/linux/tray/themed_icons.h"

#include <glib.h>

#include <system_error>

#include "platform/linux/base/glib_handles.h"

namespace ampora::linux_port {

namespace {

// GTK's icon theme searches these after the user's theme (gtkicontheme.c), so that symbolic
// icons are found whatever the theme.
constexpr const char* kFallbackThemes[] = {"Adwaita", "gnome", "hicolor"};
constexpr const char* kExtensions[] = {".png", ".svg", ".xpm"};

bool isFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// The theme's subdirectories, from the first base directory holding its index.theme.
std::vector<std::string> themeDirectories(const std::vector<std::filesystem::path>& bases,
                                          const std::string& theme) {
    for (const std::filesystem::path& base : bases) {
        const std::filesystem::path index = base / theme / "index.theme";
        if (!isFile(index)) continue;
        std::vector<std::string> directories;
        const GKeyFilePtr file(g_key_file_new());
        g_key_file_set_list_separator(file.get(), ',');
        if (!g_key_file_load_from_file(file.get(), index.c_str(), G_KEY_FILE_NONE, nullptr)) {
            return directories;
        }
        for (const char* key : {"Directories", "ScaledDirectories"}) {
            const GStrvPtr list(
                g_key_file_get_string_list(file.get(), "Icon Theme", key, nullptr, nullptr));
            for (gchar** entry = list.get(); entry && *entry; ++entry) {
                // Only inside the theme: an absolute path would replace it.
                if (std::filesystem::path(*entry).is_relative()) directories.emplace_back(*entry);
            }
        }
        return directories;
    }
    return {};
}

}  // namespace

std::vector<std::filesystem::path> iconBaseDirectories() {
    std::vector<std::filesystem::path> bases{std::filesystem::path(g_get_user_data_dir()) / "icons",
                                             std::filesystem::path(g_get_home_dir()) / ".icons"};
    for (const gchar* const* data = g_get_system_data_dirs(); *data; ++data) {
        bases.push_back(std::filesystem::path(*data) / "icons");
    }
    return bases;
}

ThemedIcons::ThemedIcons(std::vector<std::filesystem::path> baseDirectories)
    : bases_(std::move(baseDirectories)) {}

bool ThemedIcons::has(const std::string& name) {
    const auto known = known_.find(name);
    if (known != known_.end()) return known->second;
    const bool found = find(name);
    known_.emplace(name, found);
    return found;
}

bool ThemedIcons::find(const std::string& name) const {
    for (const char* theme : kFallbackThemes) {
        if (themeHas(theme, name)) return true;
    }
    return false;
}

bool ThemedIcons::themeHas(const std::string& theme, const std::string& name) const {
    const std::vector<std::string> directories = themeDirectories(bases_, theme);
    for (const std::filesystem::path& base : bases_) {
        std::error_code error;
        if (directories.empty() || !std::filesystem::is_directory(base / theme, error)) continue;
        for (const std::string& directory : directories) {
            for (const char* extension : kExtensions) {
                if (isFile(base / theme / directory / (name + extension))) return true;
            }
        }
    }
    return false;
}

}  // namespace ampora::linux_port
