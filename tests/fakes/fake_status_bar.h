#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ports/status_bar.h"
#include "event_log.h"
#include "fake_menu.h"

namespace ampora::fakes {

class FakeStatusItem : public StatusItem {
  public:
    explicit FakeStatusItem(EventLog& log) : log_(log) {}

    void setMenu(Menu& menu) override;
    void setTitle(std::string_view title) override;
    void setAttributedTitle(std::string_view title, const Font& font) override;
    void setHighlightMode(bool highlight) override { highlightMode = highlight; }

    const FakeMenu& fakeMenu() const { return static_cast<const FakeMenu&>(*menu); }

    Menu* menu = nullptr;
    std::string title;
    std::optional<Font> titleFont;  // set only for attributed titles
    bool highlightMode = false;

  private:
    EventLog& log_;
};

class FakeStatusBar : public StatusBar {
  public:
    explicit FakeStatusBar(EventLog& log) : log_(log) {}

    std::unique_ptr<StatusItem> statusItemWithLength(double length) override;

    // The last item made; owned by whoever asked for it.
    FakeStatusItem* item = nullptr;
    double requestedLength = 0.0;

  private:
    EventLog& log_;
};

}  // namespace ampora::fakes
