#include "platform/linux/tray/status_menu_loader.h"

#include <glib.h>

#include <cstring>
#include <optional>

#include "platform/linux/base/glib_handles.h"
#include "platform/linux/tray/tray_menu.h"

namespace ampora::linux_port {

namespace {

// <interface><object class="GtkMenu" id="statusMenu"><child><object class="GtkMenuItem" id=...>
// <property name="label">...</property>: the entries are the objects two levels inside the menu.
struct Reader {
    int depth = 0;
    int menuDepth = 0;  // 0 until inside the menu
    bool menuFound = false;
    bool inLabel = false;
    std::optional<std::string> id;  // of the entry being read, if one is
    std::string label;
    std::unique_ptr<TrayMenu> menu = std::make_unique<TrayMenu>();

    static void start(GMarkupParseContext*, const gchar* element, const gchar** names,
                      const gchar** values, gpointer self, GError**) {
        static_cast<Reader*>(self)->opened(element, names, values);
    }
    static void end(GMarkupParseContext*, const gchar*, gpointer self, GError**) {
        static_cast<Reader*>(self)->closed();
    }
    static void text(GMarkupParseContext*, const gchar* text, gsize length, gpointer self,
                     GError**) {
        auto* reader = static_cast<Reader*>(self);
        if (reader->inLabel) reader->label.append(text, length);
    }

    void opened(const gchar* element, const gchar** names, const gchar** values) {
        ++depth;
        const auto attribute = [&](const char* wanted) -> const gchar* {
            for (int i = 0; names[i]; ++i) {
                if (std::strcmp(names[i], wanted) == 0) return values[i];
            }
            return nullptr;
        };
        const gchar* className = attribute("class");
        const gchar* objectId = attribute("id");
        if (g_str_equal(element, "object") && !menuFound && className && objectId &&
            g_str_equal(className, "GtkMenu") && g_str_equal(objectId, "statusMenu")) {
            menuFound = true;
            menuDepth = depth;
        } else if (g_str_equal(element, "object") && menuDepth && depth == menuDepth + 2 &&
                   className && g_str_has_suffix(className, "MenuItem")) {
            id = objectId ? objectId : "";
            label.clear();
        } else if (g_str_equal(element, "property") && id && depth == menuDepth + 3) {
            const gchar* property = attribute("name");
            inLabel = property && g_str_equal(property, "label");
        }
    }

    void closed() {
        inLabel = false;
        if (id && depth == menuDepth + 2) {
            menu->addItemWithTitle(label, *id == "quitItem" ? Selector::Terminate : Selector::None,
                                   "");
            id.reset();
        } else if (depth == menuDepth) {
            menuDepth = 0;
        }
        --depth;
    }
};

struct MarkupContextFree {
    void operator()(GMarkupParseContext* context) const { g_markup_parse_context_free(context); }
};

}  // namespace

std::unique_ptr<Menu> loadStatusMenu(const std::string& interfaceFile) {
    gchar* contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(interfaceFile.c_str(), &contents, &length, nullptr)) return nullptr;
    const GCharPtr text(contents);

    static const GMarkupParser parser{&Reader::start, &Reader::end, &Reader::text, nullptr,
                                      nullptr};
    Reader reader;
    const std::unique_ptr<GMarkupParseContext, MarkupContextFree> context(
        g_markup_parse_context_new(&parser, G_MARKUP_DEFAULT_FLAGS, &reader, nullptr));
    if (!g_markup_parse_context_parse(context.get(), text.get(), static_cast<gssize>(length),
                                      nullptr) ||
        !g_markup_parse_context_end_parse(context.get(), nullptr) || !reader.menuFound) {
        return nullptr;
    }
    return std::move(reader.menu);
}

}  // namespace ampora::linux_port
