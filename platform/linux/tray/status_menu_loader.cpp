#include "platform/linux/tray/status_menu_loader.h"

#include <gtk/gtk.h>

#include "platform/linux/base/glib_handles.h"
#include "platform/linux/tray/tray_menu.h"

namespace ampora::linux_port {

std::unique_ptr<Menu> loadStatusMenu(const std::string& interfaceFile) {
    GObjectPtr<GtkBuilder> builder(gtk_builder_new());
    if (!gtk_builder_add_from_file(builder.get(), interfaceFile.c_str(), nullptr)) return nullptr;

    GObject* menu = gtk_builder_get_object(builder.get(), "statusMenu");
    if (!menu || !GTK_IS_MENU(menu)) return nullptr;

    auto loaded = std::make_unique<TrayMenu>();
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* child = children; child; child = child->next) {
        GtkWidget* item = GTK_WIDGET(child->data);
        if (!GTK_IS_MENU_ITEM(item)) continue;
        const gchar* id = gtk_buildable_get_name(GTK_BUILDABLE(item));
        const bool quits = id && g_str_equal(id, "quitItem");
        const gchar* label = gtk_menu_item_get_label(GTK_MENU_ITEM(item));
        loaded->addItemWithTitle(label ? label : "", quits ? Selector::Terminate : Selector::None,
                                 "");
    }
    g_list_free(children);
    // The file's widgets are only read: a menu is held by its own popup window until destroyed.
    gtk_widget_destroy(GTK_WIDGET(menu));
    return loaded;
}

}  // namespace ampora::linux_port
