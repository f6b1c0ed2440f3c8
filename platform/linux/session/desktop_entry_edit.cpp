#include "platform/linux/session/desktop_entry_edit.h"

#include <glib.h>

#include <algorithm>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "platform/linux/base/glib_handles.h"

namespace ampora::linux_port {

namespace {

constexpr const char* kGroup = "Desktop Entry";
constexpr std::string_view kGroupLine = "[Desktop Entry]";
constexpr std::string_view kOwnedKeys[] = {"Type", "Exec", "TryExec", "Hidden",
                                           "X-GNOME-Autostart-enabled"};

GKeyFilePtr parse(std::string_view entry) {
    GKeyFilePtr file(g_key_file_new());
    if (!g_key_file_load_from_data(file.get(), entry.data(), entry.size(), G_KEY_FILE_NONE,
                                   nullptr) ||
        !g_key_file_has_group(file.get(), kGroup)) {
        return nullptr;
    }
    return file;
}

std::optional<std::string> value(GKeyFile* file, const char* key) {
    const GCharPtr text(g_key_file_get_string(file, kGroup, key, nullptr));
    if (!text) return std::nullopt;
    return std::string(text.get());
}

bool flag(GKeyFile* file, const char* key, bool unset) {
    GError* error = nullptr;
    const bool set = g_key_file_get_boolean(file, kGroup, key, &error) != FALSE;
    const GErrorPtr failure(error);
    return failure ? unset : set;
}

// The program an Exec value runs: its first argument with "%%" read back as "%"; nothing when
// that holds a field code, or the value doesn't parse.
std::optional<std::string> program(const std::string& exec) {
    gchar** argv = nullptr;
    if (!g_shell_parse_argv(exec.c_str(), nullptr, &argv, nullptr)) return std::nullopt;
    const GStrvPtr arguments(argv);
    std::string path;
    for (const char* c = argv[0]; *c; ++c) {
        if (*c == '%' && *++c != '%') return std::nullopt;
        path += *c;
    }
    return path;
}

std::string_view trimmed(std::string_view text) {
    const auto start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t\r") + 1 - start);
}

// The key of a "Key=Value" line, nothing for any other line.
std::optional<std::string_view> keyOf(std::string_view line) {
    const std::string_view text = trimmed(line);
    const auto equals = text.find('=');
    if (text.empty() || text[0] == '#' || text[0] == '[' || equals == std::string_view::npos) {
        return std::nullopt;
    }
    return trimmed(text.substr(0, equals));
}

std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> split;
    while (!text.empty()) {
        const auto end = std::min(text.find('\n'), text.size());
        split.push_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return split;
}

bool owned(std::string_view key) {
    return std::find(std::begin(kOwnedKeys), std::end(kOwnedKeys), key) != std::end(kOwnedKeys);
}

}  // namespace

bool autostartEntryStarts(std::string_view entry, std::string_view executable) {
    const GKeyFilePtr file = parse(entry);
    if (!file) return false;
    const auto exec = value(file.get(), "Exec");
    const auto tryExec = value(file.get(), "TryExec");
    return value(file.get(), "Type") == "Application" && exec && program(*exec) == executable &&
           (!tryExec || *tryExec == executable) && !flag(file.get(), "Hidden", false) &&
           flag(file.get(), "X-GNOME-Autostart-enabled", true);
}

std::string mergeAutostartEntry(std::string_view users, std::string_view ours) {
    if (!parse(users)) return std::string(ours);
    std::vector<std::pair<std::string_view, std::string_view>> ourKeys;
    for (const std::string_view line : lines(ours)) {
        if (const auto key = keyOf(line)) ourKeys.emplace_back(*key, line);
    }
    const auto oursFor = [&](std::string_view key) {
        const auto found = std::find_if(ourKeys.begin(), ourKeys.end(),
                                        [key](const auto& ourKey) { return ourKey.first == key; });
        return found == ourKeys.end() ? std::nullopt : std::optional(found->second);
    };

    std::vector<std::string_view> merged;
    std::set<std::string_view> seen;
    std::size_t insertAt = 0;  // after the last key of the first [Desktop Entry] group
    int group = 0;             // 1 in the first [Desktop Entry], 2 in a later one, 0 elsewhere
    bool entrySeen = false;
    for (const std::string_view line : lines(users)) {
        const std::string_view text = trimmed(line);
        if (text.starts_with('[')) {
            group = text == kGroupLine ? (entrySeen ? 2 : 1) : 0;
            entrySeen = entrySeen || group;
            merged.push_back(line);
            if (group == 1) insertAt = merged.size();
            continue;
        }
        const auto key = group ? keyOf(line) : std::nullopt;
        if (key && owned(*key)) {
            // Ours once, wherever the user had it; a repeat would override it.
            const auto mine = oursFor(*key);
            if (!mine || !seen.insert(*key).second) continue;
            merged.push_back(*mine);
        } else {
            if (key) seen.insert(*key);
            merged.push_back(line);
        }
        if (key && group == 1) insertAt = merged.size();
    }
    std::vector<std::string_view> missing;
    for (const auto& [key, line] : ourKeys) {
        if (!seen.count(key)) missing.push_back(line);
    }
    merged.insert(merged.begin() + static_cast<std::ptrdiff_t>(insertAt), missing.begin(),
                  missing.end());

    std::string text;
    for (const std::string_view line : merged) text.append(line).append("\n");
    // A last line without its newline stays so, unless ours now follow it.
    if (!users.ends_with('\n') && insertAt < merged.size() - missing.size()) text.pop_back();
    return text;
}

}  // namespace ampora::linux_port
