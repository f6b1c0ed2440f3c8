#pragma once

#include <cairo.h>
#include <glib.h>

#include <memory>
#include <string_view>

namespace ampora::linux_port {

struct CairoSurfaceDestroy {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDestroy>;

// The title drawn as a square tray icon, for panels that show no text: white figures on a dark
// plate, so they read on light and dark panels alike. Figures are narrowed rather than shrunk
// when the title is wide. An image surface (premultiplied ARGB32).
CairoSurfacePtr drawTitleIcon(std::string_view title, int size);

// The same at the sizes panels use (16 to 64 px, covering HiDPI), as a StatusNotifierItem
// IconPixmap: a(iiay), non-premultiplied ARGB32 in network byte order. A floating reference.
GVariant* titleIconPixmaps(std::string_view title);

}  // namespace ampora::linux_port
