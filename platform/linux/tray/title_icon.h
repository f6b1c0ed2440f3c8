#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <string_view>

#include "platform/linux/base/glib_handles.h"

namespace ampora::linux_port {

// The title drawn as a square tray icon, for panels that show no text: white figures on a dark
// plate, so they read on light and dark panels alike. Figures are narrowed rather than shrunk
// when the title is wide.
GObjectPtr<GdkPixbuf> drawTitleIcon(std::string_view title, int size);

// The same at the sizes panels use (16 to 64 px, covering HiDPI), as a StatusNotifierItem
// IconPixmap: a(iiay), non-premultiplied ARGB32 in network byte order. A floating reference.
GVariant* titleIconPixmaps(std::string_view title);

}  // namespace ampora::linux_port
