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

#include <cstdio>
#include <string>
#include <utility>

using namespace art;

namespace {

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
    centredText(cr, "详细", 12, w / 2.0, h / 2.0, 0x2F4A63);
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
    ok = captionButton(res + "btn_ok.png", "确定") && ok;
    ok = captionButton(res + "btn_cancel.png", "关闭") && ok;
    ok = captionButton(res + "btn_reset.png", "重置") && ok;
    ok = captionButton(res + "btn_add_member.png", "添加成员") && ok;
    ok = captionButton(res + "btn_prev.png", "上一页") && ok;
    ok = captionButton(res + "btn_next.png", "下一页") && ok;
    ok = detail(res + "btn_detail.png") && ok;
    ok = title(res + "title.png") && ok;
    return ok ? 0 : 1;
}
