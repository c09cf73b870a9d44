// Draws the settings plug-in's images into plugins/Prefor/res/ and the five
// skins of the skin chooser into Lum/res/theme/.
//
//   btn_ok.png / btn_cancel.png / btn_apply.png  280x26  "确定" "取消" "应用" (70x26 looks)
//   title.png                                     24x24  gear, the settings window's title icon
//   skin-01.jpg ... skin-05.jpg                   200x200 tiles for the window background
//
// Build and run by hand:
//   g++ -std=c++17 draw_prefor_images.cpp $(pkg-config --cflags --libs pangocairo gdk-pixbuf-2.0 gdk-3.0)
//       -o /tmp/draw_prefor && /tmp/draw_prefor ../../plugins/Prefor/res ../../Lum/res/theme
#include "drawing.h"

#include <gdk/gdk.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <functional>
#include <string>

using namespace art;

namespace {

const char* const kFont = "WenQuanYi Zen Hei";

void text(cairo_t* cr, const std::string& s, double px, double cx, double cy, uint32_t colour)
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

bool save(cairo_surface_t* s, const std::string& file)
{
    bool ok = cairo_surface_write_to_png(s, file.c_str()) == CAIRO_STATUS_SUCCESS;
    if (!ok) std::fprintf(stderr, "could not write %s\n", file.c_str());
    cairo_surface_destroy(s);
    return ok;
}

// A light rounded button with a dark caption; blue edge under the mouse.
bool button(const std::string& file, const std::string& caption)
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
        cairo_pattern_add_color_stop_rgb(p, 0, ((top >> 16) & 255) / 255.0, ((top >> 8) & 255) / 255.0, (top & 255) / 255.0);
        cairo_pattern_add_color_stop_rgb(p, 1, ((bottom >> 16) & 255) / 255.0, ((bottom >> 8) & 255) / 255.0,
                                         (bottom & 255) / 255.0);
        cairo_set_source(cr, p);
        cairo_fill_preserve(cr);
        cairo_pattern_destroy(p);
        rgba(cr, border);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        text(cr, caption, 13, w / 2.0, h / 2.0 + (look == Pressed ? 1 : 0), ink);
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return save(s, file);
}

// A white gear on the skin.
bool title(const std::string& file)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 24, 24);
    cairo_t* cr = cairo_create(s);
    const double cx = 12, cy = 12;
    for (int i = 0; i < 8; ++i) {
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_rotate(cr, i * kPi / 4);
        cairo_rectangle(cr, -2.2, -10.5, 4.4, 5);
        cairo_restore(cr);
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, 7.4, 0, 2 * kPi);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.95);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, 3, 0, 2 * kPi);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_fill(cr);
    cairo_destroy(cr);
    return save(s, file);
}

// A skin tile written as JPEG.
bool skin(const std::string& file, const std::function<void(cairo_t*)>& draw)
{
    const int size = 200;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, size, size);
    cairo_t* cr = cairo_create(s);
    draw(cr);
    cairo_destroy(cr);
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(s, 0, 0, size, size);
    cairo_surface_destroy(s);
    GError* error = nullptr;
    const bool ok = pixbuf && gdk_pixbuf_save(pixbuf, file.c_str(), "jpeg", &error, "quality", "92", nullptr);
    if (!ok) std::fprintf(stderr, "could not write %s\n", file.c_str());
    if (error) g_error_free(error);
    if (pixbuf) g_object_unref(pixbuf);
    return ok;
}

void gradient(cairo_t* cr, uint32_t a, uint32_t b)
{
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 200, 200);
    cairo_pattern_add_color_stop_rgb(p, 0, ((a >> 16) & 255) / 255.0, ((a >> 8) & 255) / 255.0, (a & 255) / 255.0);
    cairo_pattern_add_color_stop_rgb(p, 0.5, ((b >> 16) & 255) / 255.0, ((b >> 8) & 255) / 255.0, (b & 255) / 255.0);
    cairo_pattern_add_color_stop_rgb(p, 1, ((a >> 16) & 255) / 255.0, ((a >> 8) & 255) / 255.0, (a & 255) / 255.0);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <plug-in res folder> <theme folder>\n", argv[0]);
        return 2;
    }
    const std::string res = std::string(argv[1]) + "/", theme = std::string(argv[2]) + "/";
    bool ok = true;
    ok = button(res + "btn_ok.png", "确定") && ok;
    ok = button(res + "btn_cancel.png", "取消") && ok;
    ok = button(res + "btn_apply.png", "应用") && ok;
    ok = title(res + "title.png") && ok;
    // Sky: blue with soft clouds.
    ok = skin(theme + "skin-01.jpg", [](cairo_t* cr) {
        gradient(cr, 0x3E8BD6, 0x6FB2EE);
        for (auto c : {std::make_pair(50.0, 60.0), std::make_pair(150.0, 140.0), std::make_pair(20.0, 170.0)}) {
            cairo_arc(cr, c.first, c.second, 22, 0, 2 * kPi);
            cairo_arc(cr, c.first + 22, c.second - 8, 18, 0, 2 * kPi);
            cairo_set_source_rgba(cr, 1, 1, 1, 0.25);
            cairo_fill(cr);
        }
    }) && ok;
    // Meadow: green diagonal stripes.
    ok = skin(theme + "skin-02.jpg", [](cairo_t* cr) {
        gradient(cr, 0x3F9B4A, 0x69C06F);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.12);
        cairo_set_line_width(cr, 14);
        for (int i = -200; i < 400; i += 40) {
            cairo_move_to(cr, i, 0);
            cairo_line_to(cr, i + 200, 200);
        }
        cairo_stroke(cr);
    }) && ok;
    // Dusk: purple with dots.
    ok = skin(theme + "skin-03.jpg", [](cairo_t* cr) {
        gradient(cr, 0x5B3F8C, 0x8A64BE);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
        for (int y = 10; y < 200; y += 25)
            for (int x = (y / 25) % 2 ? 22 : 10; x < 200; x += 25) {
                cairo_arc(cr, x, y, 3, 0, 2 * kPi);
                cairo_fill(cr);
            }
    }) && ok;
    // Autumn: warm red with leaves of light.
    ok = skin(theme + "skin-04.jpg", [](cairo_t* cr) {
        gradient(cr, 0xB9472B, 0xE07B3C);
        cairo_set_source_rgba(cr, 1, 0.95, 0.8, 0.2);
        for (int i = 0; i < 6; ++i) {
            cairo_save(cr);
            cairo_translate(cr, 30 + (i * 67) % 170, 25 + (i * 43) % 160);
            cairo_rotate(cr, i * 0.9);
            cairo_scale(cr, 1, 0.5);
            cairo_arc(cr, 0, 0, 16, 0, 2 * kPi);
            cairo_restore(cr);
            cairo_fill(cr);
        }
    }) && ok;
    // Slate: grey-blue grid.
    ok = skin(theme + "skin-05.jpg", [](cairo_t* cr) {
        gradient(cr, 0x44546A, 0x5F718A);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.1);
        cairo_set_line_width(cr, 1);
        for (int i = 0; i <= 200; i += 20) {
            cairo_move_to(cr, i + 0.5, 0);
            cairo_line_to(cr, i + 0.5, 200);
            cairo_move_to(cr, 0, i + 0.5);
            cairo_line_to(cr, 200, i + 0.5);
        }
        cairo_stroke(cr);
    }) && ok;
    return ok ? 0 : 1;
}
