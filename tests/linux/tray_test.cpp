// What the tray shows without a toolkit: the drawn title as panels get it, the battery icons a
// GTK panel will find, and the menu of the interface file.
#include <gdk/gdk.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

#include "platform/linux/base/glib_handles.h"
#include "platform/linux/tray/status_menu_loader.h"
#include "platform/linux/tray/themed_icons.h"
#include "platform/linux/tray/title_icon.h"
#include "platform/linux/tray/tray_menu.h"

namespace ampora::linux_port {
namespace {

namespace fs = std::filesystem;

// A fresh directory under /tmp, removed with it.
struct TempDirectory {
    TempDirectory() : path(::mkdtemp(pattern)) {}
    ~TempDirectory() { fs::remove_all(path); }
    void write(const fs::path& name, const std::string& text) const {
        fs::create_directories((path / name).parent_path());
        std::ofstream(path / name) << text;
    }
    char pattern[24] = "/tmp/ampora-tray-XXXXXX";
    fs::path path;
};

TEST(DrawnTitle, PanelsGetGdksStraightAlphaInArgbNetworkOrderAtEachSize) {
    const GVariantPtr pixmaps(g_variant_ref_sink(titleIconPixmaps("-1234")));
    std::vector<int> sizes;
    for (gsize i = 0; i < g_variant_n_children(pixmaps.get()); ++i) {
        int size = 0;
        int height = 0;
        GVariant* bytes = nullptr;
        g_variant_get_child(pixmaps.get(), i, "(ii@ay)", &size, &height, &bytes);
        const GVariantPtr owned(bytes);
        sizes.push_back(size);
        ASSERT_EQ(height, size);
        gsize length = 0;
        const auto* argb = static_cast<const guchar*>(g_variant_get_fixed_array(bytes, &length, 1));
        ASSERT_EQ(length, static_cast<gsize>(size * size * 4));
        // The plate's grey at the middle of its left edge, four equally rounded corners, and
        // white figures.
        const auto pixel = [&](int x, int y) {
            const guchar* p = argb + (y * size + x) * 4;
            return std::vector<int>(p, p + 4);
        };
        EXPECT_EQ(pixel(0, size / 2), (std::vector<int>{255, 30, 30, 30})) << size;
        const int corner = pixel(0, 0)[0];
        EXPECT_LT(corner, 255) << size;
        for (const auto& [x, y] : {std::pair{size - 1, 0}, {0, size - 1}, {size - 1, size - 1}}) {
            EXPECT_NEAR(pixel(x, y)[0], corner, 2) << size << " at " << x << "," << y;
        }
        int white = 0;
        for (int i = 0; i < size * size; ++i) {
            white += pixel(i % size, i / size) == std::vector<int>{255, 255, 255, 255};
        }
        EXPECT_GT(white, 0) << size;

        // Pixel for pixel what GDK makes of the same drawing (RGBA), as the icon was before.
        const CairoSurfacePtr drawing = drawTitleIcon("-1234", size);
        const GObjectPtr<GdkPixbuf> reference(
            gdk_pixbuf_get_from_surface(drawing.get(), 0, 0, size, size));
        const guchar* rgba = gdk_pixbuf_read_pixels(reference.get());
        const int stride = gdk_pixbuf_get_rowstride(reference.get());
        int differing = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const guchar* want = rgba + y * stride + x * 4;
                const guchar* got = argb + (y * size + x) * 4;
                differing += got[0] != want[3] || got[1] != want[0] || got[2] != want[1] ||
                             got[3] != want[2];
            }
        }
        EXPECT_EQ(differing, 0) << size;
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 22, 24, 32, 48, 64}));
}

TEST(ThemedBatteryIcons, FoundWhereTheThemesAGtkPanelSearchesListThem) {
    const std::string icon = "battery-level-80-symbolic";
    const std::string index = "[Icon Theme]\nName=T\nDirectories=16x16/status,scalable/status\n";
    // The theme given an index, the icon's file, whether it is found.
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"Adwaita", "a/Adwaita/scalable/status/" + icon + ".svg", true},
        {"Adwaita", "a/Adwaita/32x32/status/" + icon + ".png", false},   // a directory not listed
        {"Breeze", "a/Breeze/scalable/status/" + icon + ".svg", false},  // GTK's fallbacks only
    };
    for (const auto& [theme, file, found] : cases) {
        const TempDirectory root;
        if (!theme.empty()) root.write("a/" + theme + "/index.theme", index);
        root.write(file, "");
        ThemedIcons icons({root.path / "a", root.path / "b"});
        EXPECT_EQ(icons.has(icon), found) << file;
        // Known from then on, whatever becomes of the files.
        fs::remove_all(root.path / "a");
        EXPECT_EQ(icons.has(icon), found) << file;
    }
}

TEST(StatusMenu, TheInterfaceFilesLabelsInOrderAndOnlyQuitActs) {
    const std::string menu = R"(<interface><object class="GtkMenu" id="statusMenu">
        <child><object class="GtkMenuItem" id="readingItem">
          <property name="label">Reading &amp; waiting…</property>
          <property name="sensitive">False</property></object></child>
        <child><object class="GtkMenuItem" id="quitItem">
          <property name="label">Quit</property>
          <child><object class="GtkMenu"><child><object class="GtkMenuItem">
            <property name="label">nested</property></object></child></object></child>
        </object></child></object></interface>)";
    using Entries = std::vector<std::pair<std::string, Selector>>;
    // Another menu's id, or cut short: nothing loaded.
    const std::pair<std::string, Entries> cases[] = {
        {menu, {{"Reading & waiting…", Selector::None}, {"Quit", Selector::Terminate}}},
        {std::string(menu).replace(menu.find("statusMenu"), 10, "other"), {}},
        {menu.substr(0, menu.size() / 2), {}},
    };
    for (const auto& [text, expected] : cases) {
        const TempDirectory root;
        root.write("Ampora.ui", text);
        const std::unique_ptr<Menu> loaded = loadStatusMenu((root.path / "Ampora.ui").string());
        ASSERT_EQ(loaded != nullptr, !expected.empty()) << text;
        if (!loaded) continue;
        Entries entries;
        for (const TrayMenuItem* item : static_cast<TrayMenu&>(*loaded).items()) {
            entries.emplace_back(item->title(), item->action());
        }
        EXPECT_EQ(entries, expected);
    }
    EXPECT_EQ(loadStatusMenu("/nonexistent/Ampora.ui"), nullptr);
}

}  // namespace
}  // namespace ampora::linux_port
