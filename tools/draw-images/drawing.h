// Drawing helpers shared by the image generators of this folder: rounded
// rectangles, colours, writing PNG files, and the frame's own buttons (light
// glyphs on the skin), four 24x18 looks side by side: normal, hover, pressed,
// disabled. A generator built with pangocairo's flags also gets centred CJK
// text and the light caption buttons of the plug-in pages; one built with
// cairo's alone does not need pango.
#pragma once

#include <cairo.h>

#if __has_include(<pango/pangocairo.h>)
#include <pango/pangocairo.h>
#define ART_HAS_TEXT 1
#endif

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace art {

constexpr double kPi = 3.14159265358979323846;

inline void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

inline void rgba(cairo_t* cr, uint32_t rgb, double a = 1.0)
{
    cairo_set_source_rgba(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, a);
}

// An opaque colour stop of a gradient.
inline void colourStop(cairo_pattern_t* p, double offset, uint32_t rgb)
{
    cairo_pattern_add_color_stop_rgb(p, offset, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                                     (rgb & 0xFF) / 255.0);
}

// Writes the surface as a PNG file and releases it; a file that cannot be
// written is named on stderr.
inline bool save(cairo_surface_t* s, const std::string& file)
{
    bool ok = cairo_surface_write_to_png(s, file.c_str()) == CAIRO_STATUS_SUCCESS;
    if (!ok) std::fprintf(stderr, "could not write %s\n", file.c_str());
    cairo_surface_destroy(s);
    return ok;
}

// ------------------------------------------------------------ frame buttons

enum Look { Normal, Hover, Pressed, Disabled };

// The button's backdrop for one look; `danger` gives the close button its red.
inline void buttonBackdrop(cairo_t* cr, double ox, Look look, bool danger)
{
    if (look != Hover && look != Pressed) return;
    roundedRect(cr, ox + 1.5, 1.5, 21, 15, 3);
    cairo_pattern_t* fill = cairo_pattern_create_linear(0, 1.5, 0, 16.5);
    if (danger && look == Hover) {
        cairo_pattern_add_color_stop_rgba(fill, 0, 0.95, 0.42, 0.36, 0.96);
        cairo_pattern_add_color_stop_rgba(fill, 1, 0.84, 0.22, 0.17, 0.96);
    } else if (danger) {
        cairo_pattern_add_color_stop_rgba(fill, 0, 0.70, 0.14, 0.10, 0.98);
        cairo_pattern_add_color_stop_rgba(fill, 1, 0.60, 0.10, 0.07, 0.98);
    } else if (look == Hover) {
        cairo_pattern_add_color_stop_rgba(fill, 0, 1, 1, 1, 0.42);
        cairo_pattern_add_color_stop_rgba(fill, 1, 1, 1, 1, 0.22);
    } else {
        cairo_pattern_add_color_stop_rgba(fill, 0, 0, 0, 0, 0.26);
        cairo_pattern_add_color_stop_rgba(fill, 1, 0, 0, 0, 0.14);
    }
    cairo_set_source(cr, fill);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(fill);
    cairo_set_line_width(cr, 1);
    if (danger)
        cairo_set_source_rgba(cr, 0.45, 0.06, 0.04, look == Hover ? 0.55 : 0.7);
    else if (look == Hover)
        cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
    else
        cairo_set_source_rgba(cr, 0, 0, 0, 0.28);
    cairo_stroke(cr);
}

inline void crossPath(cairo_t* cr, double cx, double cy)
{
    cairo_move_to(cr, cx - 4, cy - 4);
    cairo_line_to(cr, cx + 4, cy + 4);
    cairo_move_to(cr, cx + 4, cy - 4);
    cairo_line_to(cr, cx - 4, cy + 4);
}

inline void barPath(cairo_t* cr, double cx, double cy)
{
    cairo_move_to(cr, cx - 4.5, cy + 3);
    cairo_line_to(cr, cx + 4.5, cy + 3);
}

// A light glyph with a soft shadow below it; grey and flat when disabled.
inline void glyph(cairo_t* cr, double ox, Look look, void (*path)(cairo_t*, double, double))
{
    double cx = ox + 12, cy = 9 + (look == Pressed ? 0.5 : 0);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 2);
    if (look == Disabled) {
        path(cr, cx, cy);
        cairo_set_source_rgba(cr, 0.62, 0.62, 0.62, 0.8);
        cairo_stroke(cr);
        return;
    }
    path(cr, cx, cy + 1);
    cairo_set_source_rgba(cr, 0, 0, 0, look == Normal ? 0.28 : 0.2);
    cairo_stroke(cr);
    path(cr, cx, cy);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.97);
    cairo_stroke(cr);
}

inline bool drawButtonStrip(const std::string& file, bool danger, void (*path)(cairo_t*, double, double))
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 96, 18);
    cairo_t* cr = cairo_create(s);
    for (int k = 0; k < 4; ++k) {
        Look look = static_cast<Look>(k);
        buttonBackdrop(cr, 24.0 * k, look, danger);
        glyph(cr, 24.0 * k, look, path);
    }
    cairo_destroy(cr);
    bool ok = cairo_surface_write_to_png(s, file.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

#ifdef ART_HAS_TEXT

// ------------------------------------------------------------ text

const char* const kFont = "WenQuanYi Zen Hei";

// `s` in the CJK font at `px` pixels: its logical width centred on cx, its
// ink centred on cy.
inline void centredText(cairo_t* cr, const std::string& s, double px, double cx, double cy, uint32_t colour)
{
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* desc = pango_font_description_from_string(kFont);
    pango_font_description_set_absolute_size(desc, px * PANGO_SCALE);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    pango_layout_set_text(layout, s.c_str(), -1);
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    rgba(cr, colour);
    cairo_move_to(cr, std::round(cx - logical.width / 2.0), std::round(cy - ink.y - ink.height / 2.0));
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

// The plug-in pages' button strip: a light rounded button with a dark
// caption, blue edge under the mouse, in four 70x26 looks side by side.
inline bool captionButton(const std::string& file, const std::string& caption)
{
    const int w = 70, h = 26;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4 * w, h);
    cairo_t* cr = cairo_create(s);
    for (int k = 0; k < 4; ++k) {
        const Look look = static_cast<Look>(k);
        cairo_save(cr);
        cairo_translate(cr, k * w, 0);
        uint32_t top = 0xFFFFFF, bottom = 0xE9EEF3, border = 0x9DB3C8, ink = 0x2F4A63;
        if (look == Hover) top = 0xFFFFFF, bottom = 0xDCEBF8, border = 0x5E93C4;
        if (look == Pressed) top = 0xD3E3F2, bottom = 0xEAF2FA, border = 0x4F81B0;
        if (look == Disabled) top = 0xF2F2F2, bottom = 0xE8E8E8, border = 0xCFCFCF, ink = 0xA8A8A8;
        roundedRect(cr, 0.5, 0.5, w - 1, h - 1, 4);
        cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, h);
        colourStop(p, 0, top);
        colourStop(p, 1, bottom);
        cairo_set_source(cr, p);
        cairo_fill_preserve(cr);
        cairo_pattern_destroy(p);
        rgba(cr, border);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        centredText(cr, caption, 13, w / 2.0, h / 2.0 + (look == Pressed ? 1 : 0), ink);
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return save(s, file);
}

#endif  // ART_HAS_TEXT

}  // namespace art
