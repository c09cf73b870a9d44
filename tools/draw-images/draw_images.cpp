// Draws the base library's images into base/res/:
//   close.png       96x18  the frame's close button, four 24x18 looks side by
//                          side: normal, hover, pressed, disabled
//   minimize.png    96x18  the frame's minimise button, the same four looks
//   menu_icons.png  224x16 fourteen 16x16 menu icons in tool-bar order
//                          (32771, 32772, 32773, 9064, 32774, 9065, 9063,
//                          9066, 9071, 9072, 9073, 32775, 32776, 32777) on the
//                          mask colour 0xC0C0C0, opaque 24-bit
//
// A one-off tool, not part of the build. From the repository root:
//   g++ -std=c++17 -O2 -Wall -Wextra tools/draw-images/draw_images.cpp $(pkg-config --cflags --libs cairo) -o /tmp/draw_images
//   /tmp/draw_images base/res
#include "drawing.h"

#include <cstdio>

namespace {

using namespace art;

// ------------------------------------------------------------ menu icons

void outline(cairo_t* cr, uint32_t rgb, double width = 1)
{
    cairo_set_line_width(cr, width);
    rgba(cr, rgb);
    cairo_stroke(cr);
}

void fillStroke(cairo_t* cr, uint32_t fill, uint32_t line)
{
    rgba(cr, fill);
    cairo_fill_preserve(cr);
    outline(cr, line);
}

// A sphere: radial shading from a light spot at its upper left.
void sphere(cairo_t* cr, double cx, double cy, double r, uint32_t light, uint32_t dark, uint32_t rim)
{
    cairo_pattern_t* p = cairo_pattern_create_radial(cx - r / 3, cy - r / 3, 0.5, cx, cy, r);
    cairo_pattern_add_color_stop_rgb(p, 0, ((light >> 16) & 0xFF) / 255.0, ((light >> 8) & 0xFF) / 255.0,
                                     (light & 0xFF) / 255.0);
    cairo_pattern_add_color_stop_rgb(p, 1, ((dark >> 16) & 0xFF) / 255.0, ((dark >> 8) & 0xFF) / 255.0,
                                     (dark & 0xFF) / 255.0);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    outline(cr, rim);
}

void iconPage(cairo_t* cr)
{
    cairo_move_to(cr, 3.5, 1.5);
    cairo_line_to(cr, 10, 1.5);
    cairo_line_to(cr, 12.5, 4);
    cairo_line_to(cr, 12.5, 14.5);
    cairo_line_to(cr, 3.5, 14.5);
    cairo_close_path(cr);
    fillStroke(cr, 0xFFFFFF, 0x7A8490);
    cairo_move_to(cr, 9.5, 1.5);
    cairo_line_to(cr, 9.5, 4.5);
    cairo_line_to(cr, 12.5, 4.5);
    outline(cr, 0x7A8490);
    for (double y = 6.5; y < 13; y += 2) {
        cairo_move_to(cr, 5, y);
        cairo_line_to(cr, 11, y);
    }
    outline(cr, 0xA9B7C6);
}

void iconFolder(cairo_t* cr)
{
    cairo_move_to(cr, 1.5, 3.5);
    cairo_line_to(cr, 6, 3.5);
    cairo_line_to(cr, 7.5, 5);
    cairo_line_to(cr, 14.5, 5);
    cairo_line_to(cr, 14.5, 13.5);
    cairo_line_to(cr, 1.5, 13.5);
    cairo_close_path(cr);
    fillStroke(cr, 0xE8B64C, 0xA27A22);
    cairo_move_to(cr, 1.5, 13.5);
    cairo_line_to(cr, 3.5, 7.5);
    cairo_line_to(cr, 15.5, 7.5);
    cairo_line_to(cr, 14.5, 13.5);
    cairo_close_path(cr);
    fillStroke(cr, 0xF7D47A, 0xA27A22);
}

void iconEnvelope(cairo_t* cr)
{
    cairo_rectangle(cr, 1.5, 3.5, 13, 9);
    fillStroke(cr, 0xFFFFFF, 0x6F7F92);
    cairo_move_to(cr, 1.5, 3.5);
    cairo_line_to(cr, 8, 8.5);
    cairo_line_to(cr, 14.5, 3.5);
    outline(cr, 0x6F7F92);
}

void iconKey(cairo_t* cr)
{
    // Ring at the upper left, shaft down to the right with two teeth.
    cairo_save(cr);
    cairo_translate(cr, 8, 8);
    cairo_rotate(cr, kPi / 4);
    cairo_rectangle(cr, -1.5, -1, 3, 8.5);
    fillStroke(cr, 0xF2C64A, 0x9A7411);
    cairo_rectangle(cr, 1.5, 3.5, 2, 1.5);
    cairo_rectangle(cr, 1.5, 6, 2.5, 1.5);
    fillStroke(cr, 0xF2C64A, 0x9A7411);
    cairo_arc(cr, 0, -3.5, 3.6, 0, 2 * kPi);
    fillStroke(cr, 0xF7D36B, 0x9A7411);
    cairo_arc(cr, 0, -4.3, 1.1, 0, 2 * kPi);
    fillStroke(cr, 0xFFFFFF, 0x9A7411);
    cairo_restore(cr);
}

void iconMagnifier(cairo_t* cr)
{
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, 10, 10);
    cairo_line_to(cr, 14, 14);
    outline(cr, 0x5B6673, 2.6);
    cairo_arc(cr, 6.5, 6.5, 4.5, 0, 2 * kPi);
    rgba(cr, 0xDDEEFF);
    cairo_fill_preserve(cr);
    outline(cr, 0x5B6673, 1.5);
}

void person(cairo_t* cr, double cx, double top, double scale, uint32_t light, uint32_t dark)
{
    // Shoulders, then the head above them.
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, top + 11.5 * scale, 4.5 * scale, kPi, 2 * kPi);
    cairo_close_path(cr);
    fillStroke(cr, light, dark);
    cairo_arc(cr, cx, top + 4.5 * scale, 2.6 * scale, 0, 2 * kPi);
    fillStroke(cr, light, dark);
}

void iconSwitchUser(cairo_t* cr)
{
    person(cr, 10.5, 0.5, 0.9, 0x9DC3E8, 0x4D76A1);
    person(cr, 5.5, 3, 1.0, 0x5E9BDB, 0x275A8F);
    // A small turning arrow at the upper left.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_arc(cr, 12.5, 12.5, 2.6, -kPi / 2, kPi);
    outline(cr, 0x2E9E3E, 1.4);
    cairo_move_to(cr, 8.4, 12.2);
    cairo_line_to(cr, 9.9, 14.2);
    cairo_line_to(cr, 11.4, 12.2);
    cairo_close_path(cr);
    rgba(cr, 0x2E9E3E);
    cairo_fill(cr);
}

void iconBellSlash(cairo_t* cr)
{
    cairo_move_to(cr, 3, 12.5);
    cairo_curve_to(cr, 4.5, 11, 4, 8, 4.5, 6);
    cairo_curve_to(cr, 5, 3, 11, 3, 11.5, 6);
    cairo_curve_to(cr, 12, 8, 11.5, 11, 13, 12.5);
    cairo_close_path(cr);
    fillStroke(cr, 0xF4CB4F, 0x9C7610);
    cairo_arc(cr, 8, 13.4, 1.5, 0, kPi);
    fillStroke(cr, 0xF4CB4F, 0x9C7610);
    cairo_arc(cr, 8, 2.6, 1, 0, 2 * kPi);
    rgba(cr, 0x9C7610);
    cairo_fill(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, 2, 2);
    cairo_line_to(cr, 14, 14);
    outline(cr, 0xFFFFFF, 3.2);
    cairo_move_to(cr, 2, 2);
    cairo_line_to(cr, 14, 14);
    outline(cr, 0xD8312A, 1.8);
}

void iconPower(cairo_t* cr)
{
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_arc(cr, 8, 8.8, 5.2, -kPi / 2 + 0.75, 3 * kPi / 2 - 0.75);
    outline(cr, 0xD0392E, 2.2);
    cairo_move_to(cr, 8, 1.8);
    cairo_line_to(cr, 8, 8);
    outline(cr, 0xD0392E, 2.2);
}

void iconMoon(cairo_t* cr)
{
    // A crescent: a disc less a disc offset to the upper right.
    cairo_push_group(cr);
    cairo_arc(cr, 7.5, 8.5, 6, 0, 2 * kPi);
    cairo_pattern_t* p = cairo_pattern_create_linear(2, 3, 12, 14);
    cairo_pattern_add_color_stop_rgb(p, 0, 1.0, 0.84, 0.30);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.95, 0.56, 0.08);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_arc(cr, 11, 5, 5, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pop_group_to_source(cr);
    cairo_paint(cr);
}

void iconStar(cairo_t* cr)
{
    for (int i = 0; i < 10; ++i) {
        double a = -kPi / 2 + i * kPi / 5;
        double r = i % 2 ? 2.9 : 6.6;
        double x = 8 + r * std::cos(a), y = 8.6 + r * std::sin(a);
        if (i == 0)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
    }
    cairo_close_path(cr);
    fillStroke(cr, 0xB9C8D8, 0x5E7186);
}

void iconList(cairo_t* cr)
{
    for (int i = 0; i < 3; ++i) {
        double y = 4 + i * 4;
        cairo_rectangle(cr, 2, y - 1, 2, 2);
        rgba(cr, 0x4F7FB3);
        cairo_fill(cr);
        cairo_move_to(cr, 6, y);
        cairo_line_to(cr, 14, y);
        outline(cr, 0x6B7684, 1.5);
    }
}

void iconTiles(cairo_t* cr)
{
    for (int i = 0; i < 4; ++i) {
        roundedRect(cr, 2.5 + (i % 2) * 6, 2.5 + (i / 2) * 6, 5, 5, 1);
        fillStroke(cr, i == 0 ? 0x8FB6DE : 0xD5DDE6, 0x5E7186);
    }
}

bool drawMenuIcons(const std::string& file)
{
    const int count = 14;
    cairo_surface_t* art = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 16 * count, 16);
    cairo_t* cr = cairo_create(art);
    void (*icons[count])(cairo_t*) = {
        iconPage,       // 32771
        iconFolder,     // 32772
        iconEnvelope,   // 32773
        iconKey,        // 9064 change password
        iconMagnifier,  // 32774
        iconSwitchUser, // 9065 switch user
        iconBellSlash,  // 9063 block group SMS
        iconPower,      // 9066 exit
        nullptr,        // 9071 online
        iconMoon,       // 9072 away
        nullptr,        // 9073 offline
        iconStar,       // 32775
        iconList,       // 32776
        iconTiles,      // 32777
    };
    for (int i = 0; i < count; ++i) {
        cairo_save(cr);
        cairo_rectangle(cr, 16 * i, 0, 16, 16);
        cairo_clip(cr);
        cairo_translate(cr, 16 * i, 0);
        if (i == 8)
            sphere(cr, 8, 8, 5.5, 0xB8F5A0, 0x2E9B1E, 0x217514);
        else if (i == 10)
            sphere(cr, 8, 8, 5.5, 0xE4E4E4, 0x8A8A8A, 0x6E6E6E);
        else
            icons[i](cr);
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    cairo_surface_flush(art);

    // Opaque result: covered pixels blend over the menu's icon-strip colour
    // (0xF0F0F0) so their soft edges suit it; untouched pixels get the mask
    // colour, which no drawn pixel may keep by chance.
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 16 * count, 16);
    const unsigned char* src = cairo_image_surface_get_data(art);
    unsigned char* dst = cairo_image_surface_get_data(out);
    int srcStride = cairo_image_surface_get_stride(art), dstStride = cairo_image_surface_get_stride(out);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16 * count; ++x) {
            uint32_t p = *reinterpret_cast<const uint32_t*>(src + y * srcStride + 4 * x);
            uint32_t a = p >> 24;
            uint32_t rgb;
            if (a == 0) {
                rgb = 0xC0C0C0;
            } else {
                // Premultiplied source over 0xF0F0F0.
                uint32_t r = ((p >> 16) & 0xFF) + 0xF0 * (255 - a) / 255;
                uint32_t g = ((p >> 8) & 0xFF) + 0xF0 * (255 - a) / 255;
                uint32_t b = (p & 0xFF) + 0xF0 * (255 - a) / 255;
                rgb = (r << 16) | (g << 8) | b;
                if (rgb == 0xC0C0C0) rgb = 0xC1C1C1;
            }
            *reinterpret_cast<uint32_t*>(dst + y * dstStride + 4 * x) = rgb;
        }
    }
    cairo_surface_mark_dirty(out);
    bool ok = cairo_surface_write_to_png(out, file.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(out);
    cairo_surface_destroy(art);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    bool ok = drawButtonStrip(dir + "/close.png", true, crossPath) &&
              drawButtonStrip(dir + "/minimize.png", false, barPath) && drawMenuIcons(dir + "/menu_icons.png");
    if (!ok) std::fprintf(stderr, "could not write the images into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
