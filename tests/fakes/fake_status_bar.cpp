#include "fake_status_bar.h"

namespace ampora::fakes {

void FakeStatusItem::setMenu(Menu& newMenu) {
    menu = &newMenu;
    log_.add("status item menu");
}

void FakeStatusItem::setTitle(std::string_view newTitle) {
    title = newTitle;
    titleFont.reset();
    log_.add("status item title " + title);
}

void FakeStatusItem::setAttributedTitle(std::string_view newTitle, const Font& font) {
    title = newTitle;
    titleFont = font;
    log_.add("status item attributed title " + title);
}

std::unique_ptr<StatusItem> FakeStatusBar::statusItemWithLength(double length) {
    requestedLength = length;
    auto made = std::make_unique<FakeStatusItem>(log_);
    item = made.get();
    log_.add("status item created");
    return made;
}

}  // namespace ampora::fakes
