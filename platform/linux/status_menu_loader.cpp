#include "platform/linux/status_menu_loader.h"

namespace ampora::linux_port {

std::unique_ptr<Menu> loadStatusMenu(const std::string& interfaceFile, GtkMenuFactory& menus) {
    GObjectPtr<GtkBuilder> builder(gtk_builder_new());
    if (!gtk_builder_add_from_file(builder.get(), interfaceFile.c_str(), nullptr)) return nullptr;

    GObject* menu = gtk_builder_get_object(builder.get(), "statusMenu");
    if (!menu || !GTK_IS_MENU(menu)) return nullptr;
    auto wrapped = menus.wrapMenu(GTK_WIDGET(menu));

    GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* child = children; child; child = child->next) {
        GtkWidget* item = GTK_WIDGET(child->data);
        if (!GTK_IS_MENU_ITEM(item)) continue;
        const gchar* id = gtk_buildable_get_name(GTK_BUILDABLE(item));
        const bool quits = id && g_str_equal(id, "quitItem");
        wrapped->adoptItem(item, quits ? Selector::Terminate : Selector::None);
    }
    g_list_free(children);
    return wrapped;
}

}  // namespace ampora::linux_port
