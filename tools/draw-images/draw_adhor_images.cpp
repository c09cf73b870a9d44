// Draws the group-creation plug-in's images into plugins/Adhor/res/:
//
//   btn_ok.png btn_cancel.png btn_reset.png btn_add_member.png
//   btn_prev.png btn_next.png      280x26  button strips, four 70x26 looks
//   btn_detail.png                 40x20   a row's details button in the search page
//   title.png                      24x24   two people, the title icon
//
// Build and run by hand:
//   g++ -std=c++17 draw_adhor_images.cpp $(pkg-config --cflags --libs pangocairo)
//       -o /tmp/draw_adhor && /tmp/draw_adhor ../../plugins/Adhor/res
#include "drawing.h"

#include <pango/pangocairo.h>

#include <cmath>
#include <cstdio>
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

// A small flat button with a caption (one look).
bool detail(const std::string& file)
{
    const int w = 40, h = 20;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
    rgba(cr, 0xEAF2FA);
    cairo_fill_preserve(cr);
    rgba(cr, 0x5E93C4);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    text(cr, "详细", 12, w / 2.0, h / 2.0, 0x2F4A63);
    cairo_destroy(cr);
    return save(s, file);
}

// Two white heads and shoulders on the skin.
bool title(const std::string& file)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 24, 24);
    cairo_t* cr = cairo_create(s);
    for (auto p : {std::make_pair(8.0, 0.75), std::make_pair(15.5, 0.95)}) {
        const double cx = p.first;
        cairo_set_source_rgba(cr, 1, 1, 1, p.second);
        cairo_arc(cr, cx, 8, 3.6, 0, 2 * kPi);
        cairo_fill(cr);
        cairo_arc(cr, cx, 21, 7, kPi, 2 * kPi);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    return save(s, file);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <plug-in res folder>\n", argv[0]);
        return 2;
    }
    const std::string res = std::string(argv[1]) + "/";
    bool ok = true;
    ok = button(res + "btn_ok.png", "确定") && ok;
    ok = button(res + "btn_cancel.png", "关闭") && ok;
    ok = button(res + "btn_reset.png", "重置") && ok;
    ok = button(res + "btn_add_member.png", "添加成员") && ok;
    ok = button(res + "btn_prev.png", "上一页") && ok;
    ok = button(res + "btn_next.png", "下一页") && ok;
    ok = detail(res + "btn_detail.png") && ok;
    ok = title(res + "title.png") && ok;
    return ok ? 0 : 1;
}
