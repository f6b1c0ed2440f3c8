#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ports/menu.h"

namespace ampora::linux_port {

// Where chosen menu actions go. Each is sent from an idle callback, after the click has been
// handled: the action may replace the very menu that was clicked.
class MenuActionSink {
  public:
    explicit MenuActionSink(std::function<void(Selector)> send);
    void post(Selector action);

  private:
    static int deliver(void* data);
    struct Pending;

    std::function<void(Selector)> send_;
};

class TrayMenu;

// One entry as the tray shows it. Items made one by one (newMenuItem) carry a check mark, like
// every NSMenuItem can; a click sends the action and leaves the mark to whoever handles it.
class TrayMenuItem : public MenuItem {
  public:
    explicit TrayMenuItem(bool checkable) : checkable_(checkable) {}

    void setTitle(std::string_view title) override;
    void setAction(Selector action) override;
    void setKeyEquivalent(std::string_view) override {
        // Tray menus have no keyboard shortcuts: the panel owns the keyboard.
    }
    void setState(int state) override;
    int state() const override { return state_; }

    const std::string& title() const { return title_; }
    Selector action() const { return action_; }
    bool checkable() const { return checkable_; }

  private:
    friend class TrayMenu;
    void changed();

    std::string title_;
    Selector action_ = Selector::None;
    int state_ = kCheckStateOff;
    bool checkable_;
    TrayMenu* menu_ = nullptr;  // the menu holding this item, once added
};

// Told when a shown menu changes or goes away.
class TrayMenuObserver {
  public:
    virtual void menuChanged(const TrayMenu& menu) = 0;
    virtual void menuDestroyed(const TrayMenu& menu) = 0;

  protected:
    ~TrayMenuObserver() = default;
};

// A menu the tray exports. Entries the platform didn't make here can't be shown and are kept
// only so the references handed out stay valid.
class TrayMenu : public Menu {
  public:
    TrayMenu() = default;
    ~TrayMenu() override;
    TrayMenu(const TrayMenu&) = delete;
    TrayMenu& operator=(const TrayMenu&) = delete;

    void setFont(const Font& font) override { font_ = font; }
    MenuItem& addItemWithTitle(std::string_view title, Selector action,
                               std::string_view keyEquivalent) override;
    MenuItem& addItem(std::unique_ptr<MenuItem> item) override;

    const std::vector<const TrayMenuItem*>& items() const { return shown_; }
    const Font& font() const { return font_; }

    // One observer at a time; null to stop.
    void setObserver(TrayMenuObserver* observer) { observer_ = observer; }

  private:
    friend class TrayMenuItem;

    std::vector<std::unique_ptr<MenuItem>> owned_;
    std::vector<const TrayMenuItem*> shown_;
    Font font_;
    TrayMenuObserver* observer_ = nullptr;
};

class TrayMenuFactory : public MenuFactory {
  public:
    std::unique_ptr<Menu> newMenu(std::string_view title) override;
    std::unique_ptr<MenuItem> newMenuItem() override;
};

// The inert lines of a menu (the facts) as text, one pair to a line: a value line (it starts with a
// tab) goes after its label. With markup escaped where the reader takes markup. Empty for none.
std::string menuFacts(const TrayMenu* menu, bool markup);

// A menu line as the panel gets it: a leading tab (the report's indentation of values) becomes
// spaces, since Qt panels take a tab for the start of a shortcut column.
std::string trayLabel(std::string_view title);

}  // namespace ampora::linux_port
