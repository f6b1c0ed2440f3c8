#include "platform/linux/programs/title_lines.h"

#include <glib-unix.h>

#include <cstdio>

#include "platform/linux/base/deferred.h"
#include "platform/linux/base/glib_handles.h"
#include "platform/linux/tray/tray_menu.h"

namespace ampora::linux_port {

namespace {

std::string jsonString(std::string_view text) {
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (c == '\n') {
            json += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + '"';
}

// What a Waybar custom module reads (return-type json), on one line: the text (markup), the
// tooltip, a class to style by (charging, discharging, or plugged: on mains, not charging) and
// the charge in percent, left out when unknown.
std::string waybarLine(const std::string& title, const std::string& tooltip, int percent,
                       bool charging, bool externalPower) {
    // Waybar shows the text as Pango markup.
    const GCharPtr text(g_markup_escape_text(title.c_str(), -1));
    const char* state = charging ? "charging" : externalPower ? "plugged" : "discharging";
    std::string line = "{\"text\":" + jsonString(text.get()) +
                       ",\"tooltip\":" + jsonString(tooltip) + ",\"class\":\"" + state + '"';
    if (percent >= 0) line += ",\"percentage\":" + std::to_string(percent);
    return line + '}';
}

class TitleLineItem : public StatusItem, TrayMenuObserver {
  public:
    TitleLineItem(TitleLines& lines, Output format) : lines_(lines), format_(format) {}
    ~TitleLineItem() override {
        if (menu_) menu_->setObserver(nullptr);
    }
    TitleLineItem(const TitleLineItem&) = delete;
    TitleLineItem& operator=(const TitleLineItem&) = delete;

    void setMenu(Menu& menu) override {
        if (menu_) menu_->setObserver(nullptr);
        // Every menu comes from the tray's menu factory.
        menu_ = dynamic_cast<TrayMenu*>(&menu);
        if (menu_) menu_->setObserver(this);
        changed();
    }
    void setTitle(std::string_view title) override {
        title_ = title;
        changed();
    }
    void setAttributedTitle(std::string_view title, const Font&) override { setTitle(title); }
    void setHighlightMode(bool) override {}
    void setBatteryLevel(int percent, bool charging, bool externalPower) override {
        percent_ = percent;
        charging_ = charging;
        externalPower_ = externalPower;
        changed();
    }

  private:
    void menuChanged(const TrayMenu&) override { changed(); }
    void menuDestroyed(const TrayMenu&) override { menu_ = nullptr; }

    // A reading sets the title, the level and the menu one after the other: one line for all.
    void changed() {
        if (!write_.pending()) write_.whenIdle([this] { write(); });
    }

    void write() {
        std::string line = title_;
        if (format_ == Output::Waybar) {
            line = waybarLine(title_, menuFacts(menu_, true), percent_, charging_, externalPower_);
        }
        if (line == written_) return;
        written_ = line;
        lines_.write(line);
    }

    TitleLines& lines_;
    Output format_;
    TrayMenu* menu_ = nullptr;
    std::string title_;
    int percent_ = -1;
    bool charging_ = false;
    bool externalPower_ = false;
    std::string written_;
    Deferred write_;
};

}  // namespace

TitleLines::TitleLines(FileDescriptor stream, Output format, std::function<void()> hungUp)
    : stream_(std::move(stream)), format_(format), hungUp_(std::move(hungUp)) {
    // A pipe whose reader closed reports an error, a terminal or socket that went a hang-up.
    hangUpWatch_ = g_unix_fd_add(stream_.get(), static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR),
                                 &TitleLines::onHangUp, this);
}

TitleLines::~TitleLines() {
    if (hangUpWatch_) g_source_remove(hangUpWatch_);
}

std::unique_ptr<StatusItem> TitleLines::statusItemWithLength(double) {
    return std::make_unique<TitleLineItem>(*this, format_);
}

void TitleLines::write(const std::string& line) {
    if (!stream_.writeAll(line + '\n')) hungUp_();  // EPIPE: the bar went away
}

gboolean TitleLines::onHangUp(gint, GIOCondition, gpointer self) {
    auto* lines = static_cast<TitleLines*>(self);
    lines->hangUpWatch_ = 0;
    lines->hungUp_();
    return G_SOURCE_REMOVE;
}

}  // namespace ampora::linux_port
