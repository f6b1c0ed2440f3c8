/* The floor Ampora's memory is measured against: the least a tray item that shows the same
 * thing can be in C. A StatusNotifierItem over GIO, an 18-entry menu over libdbusmenu-glib and
 * "1234" drawn with cairo and pango as the icon pixmap at the sizes Ampora offers. No battery,
 * no toolkit: it registers with the StatusNotifierWatcher when there is one and then waits.
 * Started by bench/measure_running.py. */
#include <cairo.h>
#include <gio/gio.h>
#include <libdbusmenu-glib/server.h>
#include <pango/pangocairo.h>
#include <string.h>

#include "platform/linux/tray/status_notifier_interface.h"

#define ITEM_PATH "/StatusNotifierItem"
#define MENU_PATH "/StatusNotifierItem/Menu"
#define TITLE "1234"

static const int sizes[] = {16, 22, 24, 32, 48, 64};
static const char* const lines[] = {"Current Usage:",
                                    "    1234 mAh (milliampere-hour)",
                                    "Current Capacity:",
                                    "    4000 mAh (80.00% of Original)",
                                    "Original Capacity:",
                                    "    5000 mAh",
                                    "Number of Charge Cycles:",
                                    "    321",
                                    "Manufacture Date:",
                                    "    07/11/2012",
                                    "Temperature:",
                                    "    30.10°C  (86.18 °F)",
                                    "Current Charge:",
                                    "    3000 (75.00% Charged)",
                                    "Open at login",
                                    "Rate Ampora",
                                    "Go To Developer's Website",
                                    "Quit"};
#define INERT_LINES 14

static GVariant* pixmaps;

/* White figures on a dark plate, the size of the icon; straight-alpha ARGB, network order. */
static GVariant* draw(int size) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.12, 0.12, 0.12);
    cairo_paint(cr);
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Sans Bold");
    pango_font_description_set_absolute_size(font, 100 * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, TITLE, -1);
    PangoRectangle ink;
    pango_layout_get_pixel_extents(layout, &ink, NULL);
    const double scale = (size * 0.9) / ink.width;
    cairo_translate(cr, (size - ink.width * scale) / 2 - ink.x * scale,
                    (size - ink.height * scale) / 2 - ink.y * scale);
    cairo_scale(cr, scale, scale);
    cairo_set_source_rgb(cr, 1, 1, 1);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_flush(surface);

    const int stride = cairo_image_surface_get_stride(surface);
    const guchar* data = cairo_image_surface_get_data(surface);
    guchar* argb = g_malloc((gsize)size * size * 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            guint32 pixel;
            memcpy(&pixel, data + y * stride + x * 4, 4);
            const guint a = pixel >> 24;
            guchar* out = argb + (y * size + x) * 4;
            out[0] = (guchar)a;
            for (int c = 0; c < 3; ++c) {
                const guint premultiplied = (pixel >> (16 - 8 * c)) & 0xff;
                out[1 + c] = (guchar)(a ? (premultiplied * 255 + a / 2) / a : 0);
            }
        }
    }
    cairo_surface_destroy(surface);
    return g_variant_new("(ii@ay)", size, size,
                         g_variant_new_from_data(G_VARIANT_TYPE_BYTESTRING, argb,
                                                 (gsize)size * size * 4, TRUE, g_free, argb));
}

static GVariant* no_pixmaps(void) {
    return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), NULL, 0);
}

static GVariant* get_property(GDBusConnection* bus, const gchar* sender, const gchar* path,
                              const gchar* interface, const gchar* name, GError** error,
                              gpointer data) {
    (void)bus, (void)sender, (void)path, (void)interface, (void)error, (void)data;
    if (g_str_equal(name, "Category")) return g_variant_new_string("Hardware");
    if (g_str_equal(name, "Id")) return g_variant_new_string("floor");
    if (g_str_equal(name, "Title") || g_str_equal(name, "XAyatanaLabel")) {
        return g_variant_new_string(TITLE);
    }
    if (g_str_equal(name, "Status")) return g_variant_new_string("Active");
    if (g_str_equal(name, "WindowId")) return g_variant_new_int32(0);
    if (g_str_equal(name, "IconPixmap")) {
        if (!pixmaps) {
            GVariantBuilder builder;
            g_variant_builder_init(&builder, G_VARIANT_TYPE("a(iiay)"));
            for (gsize i = 0; i < G_N_ELEMENTS(sizes); ++i) {
                g_variant_builder_add_value(&builder, draw(sizes[i]));
            }
            pixmaps = g_variant_ref_sink(g_variant_builder_end(&builder));
        }
        return g_variant_ref(pixmaps);
    }
    if (g_str_equal(name, "ToolTip")) {
        return g_variant_new("(s@a(iiay)ss)", "", no_pixmaps(), TITLE, "Current Usage: 1234 mAh");
    }
    if (g_str_equal(name, "ItemIsMenu")) return g_variant_new_boolean(TRUE);
    if (g_str_equal(name, "Menu")) return g_variant_new_object_path(MENU_PATH);
    if (g_str_equal(name, "XAyatanaOrderingIndex")) return g_variant_new_uint32(0);
    if (g_str_has_suffix(name, "Pixmap")) return no_pixmaps();
    return g_variant_new_string("");
}

static void registered(GObject* bus, GAsyncResult* result, gpointer data) {
    (void)data;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, NULL);
    if (reply) g_variant_unref(reply);
}

static void watcher_appeared(GDBusConnection* bus, const gchar* name, const gchar* owner,
                             gpointer data) {
    (void)name, (void)data;
    g_dbus_connection_call(bus, owner, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                           "RegisterStatusNotifierItem", g_variant_new("(s)", ITEM_PATH), NULL,
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, NULL, registered, NULL);
}

int main(void) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, NULL);
    if (!bus) return 1;
    static const GDBusInterfaceVTable vtable = {NULL, get_property, NULL, {0}};
    g_dbus_connection_register_object(bus, ITEM_PATH,
                                      (GDBusInterfaceInfo*)&org_kde_status_notifier_item_interface,
                                      &vtable, NULL, NULL, NULL);

    DbusmenuServer* server = dbusmenu_server_new(MENU_PATH);
    DbusmenuMenuitem* root = dbusmenu_menuitem_new();
    for (gsize i = 0; i < G_N_ELEMENTS(lines); ++i) {
        DbusmenuMenuitem* entry = dbusmenu_menuitem_new();
        dbusmenu_menuitem_property_set(entry, DBUSMENU_MENUITEM_PROP_LABEL, lines[i]);
        dbusmenu_menuitem_property_set_bool(entry, DBUSMENU_MENUITEM_PROP_ENABLED,
                                            i >= INERT_LINES);
        dbusmenu_menuitem_child_append(root, entry);
        g_object_unref(entry);
    }
    dbusmenu_server_set_root(server, root);

    g_bus_watch_name_on_connection(bus, "org.kde.StatusNotifierWatcher",
                                   G_BUS_NAME_WATCHER_FLAGS_NONE, watcher_appeared, NULL, NULL,
                                   NULL);
    g_main_loop_run(g_main_loop_new(NULL, FALSE));
    return 0;
}
