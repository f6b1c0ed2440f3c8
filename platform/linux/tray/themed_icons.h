#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace ampora::linux_port {

// Where icon themes are installed, in the order they are searched: the user's data directory,
// ~/.icons, then the system's data directories.
std::vector<std::filesystem::path> iconBaseDirectories();

// Whether a panel drawing with GTK finds an icon by name without the user's theme: in the
// themes GTK always searches after it (Adwaita, gnome, hicolor), looked up as freedesktop.org's
// icon themes are (the directories the theme's index.theme lists, in every base directory).
// No toolkit is loaded for it. Answers are kept for the life of the object.
class ThemedIcons {
  public:
    explicit ThemedIcons(std::vector<std::filesystem::path> baseDirectories);

    bool has(const std::string& name);

  private:
    bool find(const std::string& name) const;
    bool themeHas(const std::string& theme, const std::string& name) const;

    std::vector<std::filesystem::path> bases_;
    std::map<std::string, bool> known_;
};

}  // namespace ampora::linux_port
