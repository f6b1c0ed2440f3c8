#include "platform/linux/gtk_menus.h"

#include <string>

namespace ampora::linux_port {

struct MenuActionSink::Pending {
    MenuActionSink* sink;
    Selector action;
};

MenuActionSink::MenuActionSink(std::function<void(Selector)> send) : send_(std::move(send)) {}

void MenuActionSink::post(Selector action) {
    g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, &MenuActionSink::deliver, new Pending{this, action},
                    [](gpointer data) { delete static_cast<Pending*>(data); });
}

gboolean MenuActionSink::deliver(gpointer data) {
    const auto* pending = static_cast<Pending*>(data);
    pending->sink->send_(pending->action);
    return G_SOURCE_REMOVE;
}

GtkMenuItemAdapter::GtkMenuItemAdapter(GtkWidget* item, MenuActionSink& sink)
    : widget_(adoptSink(item)), sink_(sink) {
    activateHandler_ = g_signal_connect(widget_.get(), "activate",
                                        G_CALLBACK(&GtkMenuItemAdapter::onActivate), this);
    gtk_widget_set_sensitive(widget_.get(), FALSE);  // no action yet
}

GtkMenuItemAdapter::~GtkMenuItemAdapter() {
    // The widget may outlive us (the tray's menu exporter holds references).
    g_signal_handler_disconnect(widget_.get(), activateHandler_);
}

void GtkMenuItemAdapter::setTitle(std::string_view title) {
    gtk_menu_item_set_label(GTK_MENU_ITEM(widget_.get()), std::string(title).c_str());
}

void GtkMenuItemAdapter::setAction(Selector action) {
    action_ = action;
    // An entry without an action can't be chosen.
    gtk_widget_set_sensitive(widget_.get(), action != Selector::None);
}

void GtkMenuItemAdapter::setKeyEquivalent(std::string_view) {
    // Tray menus have no keyboard shortcuts: the panel owns the keyboard.
}

void GtkMenuItemAdapter::setState(int state) {
    state_ = state;
    showState();
}

void GtkMenuItemAdapter::showState() {
    if (!GTK_IS_CHECK_MENU_ITEM(widget_.get())) return;
    // Setting the mark emits "activate" again: that is not a click.
    g_signal_handler_block(widget_.get(), activateHandler_);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget_.get()), state_ != kCheckStateOff);
    g_signal_handler_unblock(widget_.get(), activateHandler_);
}

void GtkMenuItemAdapter::onActivate(GtkMenuItem*, gpointer self) {
    auto* adapter = static_cast<GtkMenuItemAdapter*>(self);
    // GTK has flipped a check mark by itself before we run: put back what the state says.
    adapter->showState();
    if (adapter->action_ != Selector::None) adapter->sink_.post(adapter->action_);
}

GtkMenuAdapter::GtkMenuAdapter(GtkWidget* menu, MenuActionSink& sink)
    : menu_(adoptSink(menu)), sink_(sink) {}

GtkMenuAdapter::~GtkMenuAdapter() {
    items_.clear();
    // A menu is held by its own popup window until destroyed.
    gtk_widget_destroy(menu_.get());
}

void GtkMenuAdapter::setFont(const Font& font) {
    std::string family;
    for (char c : font.name) {
        if (c == '"' || c == '\\') family += '\\';
        family += c;
    }
    char size[G_ASCII_DTOSTR_BUF_SIZE];
    g_ascii_dtostr(size, sizeof size, font.size);
    // Font properties inherit, so the menu's rule reaches every entry. Fontconfig picks a
    // fallback when the family is missing.
    const std::string css =
        "* { font-family: \"" + family + "\"; font-size: " + std::string(size) + "pt; }";

    GtkStyleContext* style = gtk_widget_get_style_context(menu_.get());
    if (font_) gtk_style_context_remove_provider(style, GTK_STYLE_PROVIDER(font_.get()));
    font_.reset(gtk_css_provider_new());
    gtk_css_provider_load_from_data(font_.get(), css.c_str(), -1, nullptr);
    gtk_style_context_add_provider(style, GTK_STYLE_PROVIDER(font_.get()),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

MenuItem& GtkMenuAdapter::addItemWithTitle(std::string_view title, Selector action,
                                           std::string_view keyEquivalent) {
    auto item = std::make_unique<GtkMenuItemAdapter>(
        gtk_menu_item_new_with_label(std::string(title).c_str()), sink_);
    item->setAction(action);
    item->setKeyEquivalent(keyEquivalent);
    return addItem(std::move(item));
}

MenuItem& GtkMenuAdapter::addItem(std::unique_ptr<MenuItem> item) {
    if (auto* gtkItem = dynamic_cast<GtkMenuItemAdapter*>(item.get())) {
        gtk_menu_shell_append(GTK_MENU_SHELL(menu_.get()), gtkItem->widget());
        // Hidden entries are exported to the tray as invisible.
        gtk_widget_show(gtkItem->widget());
    }
    items_.push_back(std::move(item));
    return *items_.back();
}

MenuItem& GtkMenuAdapter::adoptItem(GtkWidget* item, Selector action) {
    auto adapter = std::make_unique<GtkMenuItemAdapter>(item, sink_);
    adapter->setAction(action);
    gtk_widget_show(item);
    items_.push_back(std::move(adapter));
    return *items_.back();
}

std::unique_ptr<Menu> GtkMenuFactory::newMenu(std::string_view) {
    // A menu's title is not shown anywhere in a tray.
    return std::make_unique<GtkMenuAdapter>(gtk_menu_new(), sink_);
}

std::unique_ptr<MenuItem> GtkMenuFactory::newMenuItem() {
    return std::make_unique<GtkMenuItemAdapter>(gtk_check_menu_item_new(), sink_);
}

std::unique_ptr<GtkMenuAdapter> GtkMenuFactory::wrapMenu(GtkWidget* menu) {
    return std::make_unique<GtkMenuAdapter>(menu, sink_);
}

}  // namespace ampora::linux_port
