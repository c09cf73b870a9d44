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

#include <cstdio>
#include <functional>
#include <string>

using namespace art;

namespace {

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
    colourStop(p, 0, a);
    colourStop(p, 0.5, b);
    colourStop(p, 1, a);
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
    ok = captionButton(res + "btn_ok.png", "确定") && ok;
    ok = captionButton(res + "btn_cancel.png", "取消") && ok;
    ok = captionButton(res + "btn_apply.png", "应用") && ok;
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
