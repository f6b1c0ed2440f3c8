#pragma once

#include <glib.h>

#include <functional>
#include <memory>
#include <string>

#include "app/ports/status_bar.h"
#include "platform/linux/base/file_descriptor.h"
#include "platform/linux/programs/command_line.h"

namespace ampora::linux_port {

// The status item as lines on a stream, for bars (Waybar, polybar, i3blocks): one line each time
// what it shows changes, written out at once, and nothing in between. Lines: the title alone.
// Waybar: its custom module's JSON, with the facts as the tooltip.
class TitleLines : public StatusBar {
  public:
    // hungUp is told when nobody reads the lines any more (the bar went away), as soon as the
    // stream says so, or when a line can't be written.
    TitleLines(FileDescriptor stream, Output format, std::function<void()> hungUp);
    ~TitleLines() override;
    TitleLines(const TitleLines&) = delete;
    TitleLines& operator=(const TitleLines&) = delete;

    std::unique_ptr<StatusItem> statusItemWithLength(double length) override;

    // Writes one line (its end added), all of it.
    void write(const std::string& line);

  private:
    static gboolean onHangUp(gint, GIOCondition, gpointer self);

    FileDescriptor stream_;
    Output format_;
    std::function<void()> hungUp_;
    guint hangUpWatch_ = 0;
};

}  // namespace ampora::linux_port
