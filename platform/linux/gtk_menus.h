#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/ports/menu.h"
#include "platform/linux/glib_handles.h"

namespace ampora::linux_port {

// Where chosen menu actions go. Each is sent from an idle callback, after GTK has finished with
// the click: the action may rebuild or destroy the very menu that was clicked.
class MenuActionSink {
  public:
    explicit MenuActionSink(std::function<void(Selector)> send);
    void post(Selector action);

  private:
    static gboolean deliver(gpointer data);
    struct Pending;

    std::function<void(Selector)> send_;
};

// A GtkMenuItem. Items made one by one (newMenuItem) are check items, like every NSMenuItem can
// carry a check mark; their shown mark always equals state(): a click sends the action and
// leaves the mark to whoever handles it.
class GtkMenuItemAdapter : public MenuItem {
  public:
    GtkMenuItemAdapter(GtkWidget* item, MenuActionSink& sink);
    ~GtkMenuItemAdapter() override;
    GtkMenuItemAdapter(const GtkMenuItemAdapter&) = delete;
    GtkMenuItemAdapter& operator=(const GtkMenuItemAdapter&) = delete;

    void setTitle(std::string_view title) override;
    void setAction(Selector action) override;
    void setKeyEquivalent(std::string_view key) override;
    void setState(int state) override;
    int state() const override { return state_; }

    GtkWidget* widget() const { return widget_.get(); }

  private:
    static void onActivate(GtkMenuItem* item, gpointer self);
    void showState();

    GObjectPtr<GtkWidget> widget_;
    MenuActionSink& sink_;
    gulong activateHandler_ = 0;
    Selector action_ = Selector::None;
    int state_ = kCheckStateOff;
};

class GtkMenuAdapter : public Menu {
  public:
    GtkMenuAdapter(GtkWidget* menu, MenuActionSink& sink);
    ~GtkMenuAdapter() override;
    GtkMenuAdapter(const GtkMenuAdapter&) = delete;
    GtkMenuAdapter& operator=(const GtkMenuAdapter&) = delete;

    void setFont(const Font& font) override;
    MenuItem& addItemWithTitle(std::string_view title, Selector action,
                               std::string_view keyEquivalent) override;
    MenuItem& addItem(std::unique_ptr<MenuItem> item) override;

    // Takes over an entry the menu already holds (one from an interface file).
    MenuItem& adoptItem(GtkWidget* item, Selector action);

    GtkMenu* gtkMenu() const { return GTK_MENU(menu_.get()); }

  private:
    GObjectPtr<GtkWidget> menu_;
    MenuActionSink& sink_;
    GObjectPtr<GtkCssProvider> font_;
    std::vector<std::unique_ptr<MenuItem>> items_;
};

class GtkMenuFactory : public MenuFactory {
  public:
    explicit GtkMenuFactory(MenuActionSink& sink) : sink_(sink) {}

    std::unique_ptr<Menu> newMenu(std::string_view title) override;
    std::unique_ptr<MenuItem> newMenuItem() override;

    // Wraps a menu made elsewhere (an interface file); its entries are adopted one by one.
    std::unique_ptr<GtkMenuAdapter> wrapMenu(GtkWidget* menu);

  private:
    MenuActionSink& sink_;
};

}  // namespace ampora::linux_port
