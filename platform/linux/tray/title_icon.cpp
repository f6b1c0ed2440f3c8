#include "platform/linux/tray/title_icon.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/base/glib_handles.h"

namespace ampora::linux_port {

namespace {

constexpr int kPixmapSizes[] = {16, 22, 24, 32, 48, 64};
// Figures narrower than half their height stop reading as figures: shrink them instead.
constexpr double kNarrowestFigure = 0.5;

struct CairoDestroy {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
struct FontDescriptionFree {
    void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
};
struct FontOptionsDestroy {
    void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};

void plate(cairo_t* cr, double size) {
    const double radius = size * 0.18;
    cairo_new_sub_path(cr);
    cairo_arc(cr, size - radius, radius, radius, -G_PI / 2, 0);
    cairo_arc(cr, size - radius, size - radius, radius, 0, G_PI / 2);
    cairo_arc(cr, radius, size - radius, radius, G_PI / 2, G_PI);
    cairo_arc(cr, radius, radius, radius, G_PI, 3 * G_PI / 2);
    cairo_set_source_rgb(cr, 0.12, 0.12, 0.12);
    cairo_fill(cr);
}

void figures(cairo_t* cr, std::string_view title, double size) {
    GObjectPtr<PangoLayout> layout(pango_cairo_create_layout(cr));
    // Drawn large and scaled down as a whole: hinting for the large size would misplace glyphs.
    std::unique_ptr<cairo_font_options_t, FontOptionsDestroy> options(cairo_font_options_create());
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout.get()), options.get());
    pango_layout_context_changed(layout.get());

    std::unique_ptr<PangoFontDescription, FontDescriptionFree> font(
        pango_font_description_from_string("Sans Bold"));
    pango_font_description_set_absolute_size(font.get(), 100 * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font.get());
    // A hyphen is too short to tell at this size: draw the real minus sign.
    std::string text;
    for (char c : title) {
        if (c == '-') {
            text += "\u2212";
        } else {
            text += c;
        }
    }
    pango_layout_set_text(layout.get(), text.c_str(), static_cast<int>(text.size()));
    // Narrowed figures need air between them to stay apart.
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_letter_spacing_new(4 * PANGO_SCALE));
    pango_layout_set_attributes(layout.get(), attributes);
    pango_attr_list_unref(attributes);

    PangoRectangle ink;
    pango_layout_get_pixel_extents(layout.get(), &ink, nullptr);
    if (ink.width <= 0 || ink.height <= 0) return;

    const double margin = std::max(1.0, size * 0.05);
    double scaleY = size * 0.66 / ink.height;
    const double scaleX = std::min(scaleY, (size - 2 * margin) / ink.width);
    scaleY = std::min(scaleY, scaleX / kNarrowestFigure);

    cairo_translate(cr, (size - ink.width * scaleX) / 2 - ink.x * scaleX,
                    (size - ink.height * scaleY) / 2 - ink.y * scaleY);
    cairo_scale(cr, scaleX, scaleY);
    cairo_set_source_rgb(cr, 1, 1, 1);
    pango_cairo_show_layout(cr, layout.get());
}

// A premultiplied colour channel back to straight alpha, rounded as GdkPixbuf rounds it.
guchar unpremultiply(std::uint32_t channel, std::uint32_t alpha) {
    return static_cast<guchar>(alpha == 0 ? 0 : (channel * 255 + alpha / 2) / alpha);
}

}  // namespace

CairoSurfacePtr drawTitleIcon(std::string_view title, int size) {
    CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size));
    {
        std::unique_ptr<cairo_t, CairoDestroy> cr(cairo_create(surface.get()));
        plate(cr.get(), size);
        figures(cr.get(), title, size);
    }
    cairo_surface_flush(surface.get());
    return surface;
}

GVariant* titleIconPixmaps(std::string_view title) {
    GVariantBuilder pixmaps;
    g_variant_builder_init(&pixmaps, G_VARIANT_TYPE("a(iiay)"));
    for (int size : kPixmapSizes) {
        const CairoSurfacePtr icon = drawTitleIcon(title, size);
        const unsigned char* pixels = cairo_image_surface_get_data(icon.get());
        const int stride = cairo_image_surface_get_stride(icon.get());
        std::vector<guchar> argb;
        argb.reserve(static_cast<std::size_t>(size) * size * 4);
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                // Cairo keeps each pixel as one native-endian word, alpha in the top byte.
                std::uint32_t pixel;
                std::memcpy(&pixel, pixels + y * stride + x * 4, sizeof pixel);
                const std::uint32_t alpha = pixel >> 24;
                argb.insert(argb.end(),
                            {static_cast<guchar>(alpha), unpremultiply((pixel >> 16) & 0xff, alpha),
                             unpremultiply((pixel >> 8) & 0xff, alpha),
                             unpremultiply(pixel & 0xff, alpha)});
            }
        }
        g_variant_builder_add(
            &pixmaps, "(ii@ay)", size, size,
            g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, argb.data(), argb.size(), 1));
    }
    return g_variant_builder_end(&pixmaps);
}

}  // namespace ampora::linux_port
