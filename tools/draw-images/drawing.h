// Drawing helpers shared by the image generators of this folder: rounded
// rectangles, colours, and the frame's own buttons (light glyphs on the skin),
// four 24x18 looks side by side: normal, hover, pressed, disabled.
#pragma once

#include <cairo.h>

#include <cmath>
#include <cstdint>
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

}  // namespace art
