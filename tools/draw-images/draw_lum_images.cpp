// Draws the client program's images into Lum/res/. Button strips hold four
// looks side by side, each a quarter of the strip: normal, hover, pressed,
// disabled.
//
//   login_bg.png          237x589  login window background (fields, logo, footer)
//   logining_bg.png       238x589  login-progress window background
//   logining.gif           64x64   login animation, 12 frames, looping
//   app.png                32x32   program and tray icon
//   app_offline.png        32x32   tray icon while offline
//   btn_login.png         804x36   "登录"      (201x36 looks)
//   btn_relogin.png       804x36   "重新登录"  (201x36 looks)
//   btn_cancel.png        804x36   "取消"      (201x36 looks)
//   frame_close.png        96x18   frame close button (as the base library's)
//   frame_minimize.png     96x18   frame minimise button
//   btn_expand.png         88x22   drop-down chevron of the account box
//   btn_delete_account.png 56x14   delete button of a remembered account
//   check_remember_on/off.png 288x18  "记住密码" ticked / unticked
//   check_autologin_on/off.png 288x18 "自动登录" ticked / unticked
//   link_findpwd.png      224x18   "找回密码"
//   link_help.png         224x18   "使用帮助"
//   status_online/away/offline.png 136x20  own-status button
//   head_default_40.png    40x40   default head
//   head_default.png       46x46   default head with its shadow
//   head_group.png         46x46   default group head
//   head_discussion.png    46x46   default discussion-group head
//   badge_owner.png        18x18   crown for groups the user owns
//   state_sms/web/pc/mobile/wap.png 18x18  contact online-state icons
//   tool_*.png            104x26   tool bar buttons of the main window
//   menu_main.png         144x24   main-menu button
//   btn_search.png        112x26   search button beside the search box
//   tab_friends/groups/strangers.png 260x28  list tabs
// and, given a second folder, the message manager's tree tabs there:
//   tab_type_on/off.png, tab_time_on/off.png  88x24  selected / not selected
//   chat_*.png            128x32   chat window tool buttons
//
// A one-off tool, not part of the build. From the repository root:
//   g++ -std=c++17 -O2 -Wall -Wextra tools/draw-images/draw_lum_images.cpp $(pkg-config --cflags --libs pangocairo) -o /tmp/draw_lum_images
//   /tmp/draw_lum_images Lum/res plugins/Quillon/res
#include "drawing.h"

#include <pango/pangocairo.h>

#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

using namespace art;

// The skin's default orange and the accent shades derived from it.
const uint32_t kSkin = 0xFFB04B;
const uint32_t kSkinLight = 0xFFC678;
const uint32_t kAccent = 0xF39A2B;
const uint32_t kAccentDark = 0xDB7E12;
const uint32_t kText = 0x4A4A4A;
const uint32_t kMuted = 0x8C8C8C;

// ------------------------------------------------------------ basics

void line(cairo_t* cr, double x0, double y0, double x1, double y1)
{
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
}

void stroke(cairo_t* cr, uint32_t rgb, double width, double alpha = 1.0)
{
    cairo_set_line_width(cr, width);
    rgba(cr, rgb, alpha);
    cairo_stroke(cr);
}

void fill(cairo_t* cr, uint32_t rgb, double alpha = 1.0)
{
    rgba(cr, rgb, alpha);
    cairo_fill(cr);
}

void vertical(cairo_t* cr, double y0, double y1, uint32_t top, uint32_t bottom, double a0 = 1, double a1 = 1)
{
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgba(p, 0, ((top >> 16) & 0xFF) / 255.0, ((top >> 8) & 0xFF) / 255.0,
                                      (top & 0xFF) / 255.0, a0);
    cairo_pattern_add_color_stop_rgba(p, 1, ((bottom >> 16) & 0xFF) / 255.0, ((bottom >> 8) & 0xFF) / 255.0,
                                      (bottom & 0xFF) / 255.0, a1);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}

void verticalFill(cairo_t* cr, double y0, double y1, uint32_t top, uint32_t bottom)
{
    vertical(cr, y0, y1, top, bottom);
    cairo_fill(cr);
}

// Text laid out with the CJK font; (x, cy) is the anchor: `anchor` 0 puts the
// text's left edge at x, 0.5 its centre, 1 its right edge; cy is the vertical
// centre of the ink.
void text(cairo_t* cr, const std::string& s, double px, bool bold, double x, double cy, double anchor,
          uint32_t colour, double alpha = 1.0, int spacing = 0, bool underline = false)
{
    PangoLayout* layout = pango_cairo_create_layout(cr);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout);

    PangoFontDescription* desc = pango_font_description_from_string(kFont);
    pango_font_description_set_absolute_size(desc, px * PANGO_SCALE);
    pango_font_description_set_weight(desc, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    if (spacing) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_letter_spacing_new(spacing * PANGO_SCALE));
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
    }
    pango_layout_set_text(layout, s.c_str(), -1);

    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    // Letter spacing also follows the last character; leave it out when centring.
    double width = logical.width - spacing;
    double left = std::round(x - anchor * width);
    double top = std::round(cy - ink.y - ink.height / 2.0);
    rgba(cr, colour, alpha);
    cairo_move_to(cr, left, top);
    pango_cairo_show_layout(cr, layout);
    if (underline) {
        double y = std::round(top + ink.y + ink.height) + 1.5;
        line(cr, left, y, left + width, y);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    g_object_unref(layout);
}

using FrameFn = std::function<void(cairo_t*, Look, double w, double h)>;

// A strip of four looks, each fw x fh.
bool strip(const std::string& file, int fw, int fh, const FrameFn& draw)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4 * fw, fh);
    cairo_t* cr = cairo_create(s);
    for (int k = 0; k < 4; ++k) {
        cairo_save(cr);
        cairo_rectangle(cr, k * fw, 0, fw, fh);
        cairo_clip(cr);
        cairo_translate(cr, k * fw, 0);
        draw(cr, static_cast<Look>(k), fw, fh);
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return save(s, file);
}

bool single(const std::string& file, int w, int h, const std::function<void(cairo_t*)>& draw)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    draw(cr);
    cairo_destroy(cr);
    return save(s, file);
}

// ------------------------------------------------------------ light glyphs

// Glyphs are drawn in white on a 20x20 grid; `paint` shows them at (x, y)
// with side `size`, as a light glyph with a soft shadow (grey and flat when
// disabled), the look of the frame's own buttons.
using GlyphFn = void (*)(cairo_t*);

void lightGlyph(cairo_t* cr, Look look, double x, double y, double size, GlyphFn glyph)
{
    if (look == Pressed) y += 0.5;
    cairo_push_group(cr);
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, size / 20, size / 20);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 1.8);
    glyph(cr);
    cairo_restore(cr);
    cairo_pattern_t* mask = cairo_pop_group(cr);
    if (look == Disabled) {
        cairo_set_source_rgba(cr, 0.62, 0.62, 0.62, 0.8);
        cairo_mask(cr, mask);
    } else {
        cairo_save(cr);
        cairo_translate(cr, 0, 1);
        cairo_set_source_rgba(cr, 0, 0, 0, look == Normal ? 0.28 : 0.2);
        cairo_mask(cr, mask);
        cairo_restore(cr);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.97);
        cairo_mask(cr, mask);
    }
    cairo_pattern_destroy(mask);
}

// The hover and pressed backdrop of a light-glyph button.
void lightBackdrop(cairo_t* cr, Look look, double w, double h, double r)
{
    if (look != Hover && look != Pressed) return;
    roundedRect(cr, 1.5, 1.5, w - 3, h - 3, r);
    if (look == Hover)
        vertical(cr, 1.5, h - 1.5, 0xFFFFFF, 0xFFFFFF, 0.42, 0.22);
    else
        vertical(cr, 1.5, h - 1.5, 0x000000, 0x000000, 0.26, 0.14);
    cairo_fill_preserve(cr);
    if (look == Hover)
        cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
    else
        cairo_set_source_rgba(cr, 0, 0, 0, 0.28);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void clearShape(cairo_t* cr)
{
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_fill(cr);
    cairo_restore(cr);
}

void clearStroke(cairo_t* cr, double width)
{
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_set_line_width(cr, width);
    cairo_stroke(cr);
    cairo_restore(cr);
}

// A person: head and shoulders, filled.
void personShape(cairo_t* cr, double cx, double top, double scale)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, top + 3.6 * scale, 3.6 * scale, 0, 2 * kPi);
    cairo_new_sub_path(cr);
    cairo_move_to(cr, cx - 6.5 * scale, top + 16 * scale);
    cairo_curve_to(cr, cx - 6.5 * scale, top + 10.5 * scale, cx - 3.5 * scale, top + 8.6 * scale, cx,
                   top + 8.6 * scale);
    cairo_curve_to(cr, cx + 3.5 * scale, top + 8.6 * scale, cx + 6.5 * scale, top + 10.5 * scale,
                   cx + 6.5 * scale, top + 16 * scale);
    cairo_close_path(cr);
}

void glyphEnvelope(cairo_t* cr)
{
    roundedRect(cr, 2.2, 4.5, 15.6, 11.5, 1.6);
    cairo_stroke(cr);
    line(cr, 3, 5.8, 10, 11);
    cairo_line_to(cr, 17, 5.8);
    cairo_stroke(cr);
    // A filled dot at the corner: something new has arrived.
    cairo_arc(cr, 17.2, 4.6, 3.8, 0, 2 * kPi);
    clearShape(cr);
    cairo_arc(cr, 17.2, 4.6, 2.6, 0, 2 * kPi);
    cairo_fill(cr);
}

void phoneWithBubble(cairo_t* cr, bool pen)
{
    roundedRect(cr, 2.5, 2, 9.5, 16.5, 2);
    cairo_stroke(cr);
    line(cr, 6, 4.6, 8.5, 4.6);
    cairo_stroke(cr);
    cairo_arc(cr, 7.25, 15.6, 0.9, 0, 2 * kPi);
    cairo_fill(cr);
    if (pen) {
        // A pencil across the lower right: writing a message.
        cairo_save(cr);
        cairo_translate(cr, 15, 9);
        cairo_rotate(cr, kPi / 4);
        cairo_rectangle(cr, -2.9, -8.2, 5.8, 12.4);
        clearShape(cr);
        cairo_rectangle(cr, -1.7, -7, 3.4, 9);
        cairo_fill(cr);
        cairo_move_to(cr, -1.7, 2.8);
        cairo_line_to(cr, 0, 5.6);
        cairo_line_to(cr, 1.7, 2.8);
        cairo_close_path(cr);
        cairo_fill(cr);
        cairo_restore(cr);
        return;
    }
    // A speech bubble at the upper right with three dots.
    cairo_new_path(cr);
    roundedRect(cr, 8.6, 0.6, 11, 8.8, 2.6);
    cairo_move_to(cr, 10.5, 8);
    cairo_line_to(cr, 9.6, 11.8);
    cairo_line_to(cr, 14, 8.6);
    cairo_close_path(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_set_line_width(cr, 2.4);
    cairo_stroke_preserve(cr);
    cairo_restore(cr);
    cairo_fill(cr);
    for (int i = 0; i < 3; ++i) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, 11.4 + 2.7 * i, 5, 0.95, 0, 2 * kPi);
    }
    clearShape(cr);
}

void glyphSmsWrite(cairo_t* cr) { phoneWithBubble(cr, true); }
void glyphSmsNotice(cairo_t* cr) { phoneWithBubble(cr, false); }

void glyphHistory(cairo_t* cr)
{
    // A clock whose rim turns back: looking into the past.
    cairo_arc(cr, 10.5, 10.5, 7.2, -kPi * 0.95, kPi * 0.72);
    cairo_stroke(cr);
    double ax = 10.5 + 7.2 * std::cos(-kPi * 0.95), ay = 10.5 + 7.2 * std::sin(-kPi * 0.95);
    cairo_move_to(cr, ax - 3, ay - 0.6);
    cairo_line_to(cr, ax + 0.2, ay + 0.4);
    cairo_line_to(cr, ax + 0.9, ay - 3);
    cairo_stroke(cr);
    line(cr, 10.5, 6.4, 10.5, 10.8);
    cairo_line_to(cr, 13.6, 12.6);
    cairo_stroke(cr);
}

void glyphShirt(cairo_t* cr)
{
    cairo_move_to(cr, 7, 2.6);
    cairo_curve_to(cr, 7.8, 4.6, 12.2, 4.6, 13, 2.6);
    cairo_line_to(cr, 18.6, 5.6);
    cairo_line_to(cr, 16.6, 9.6);
    cairo_line_to(cr, 14.6, 8.6);
    cairo_line_to(cr, 14.6, 17.6);
    cairo_line_to(cr, 5.4, 17.6);
    cairo_line_to(cr, 5.4, 8.6);
    cairo_line_to(cr, 3.4, 9.6);
    cairo_line_to(cr, 1.4, 5.6);
    cairo_close_path(cr);
    cairo_stroke(cr);
    // A brush stroke across the chest: colours to choose.
    cairo_arc(cr, 10, 11.6, 1.6, 0, 2 * kPi);
    cairo_fill(cr);
}

void glyphAddFriend(cairo_t* cr)
{
    personShape(cr, 8, 2, 1.0);
    cairo_fill(cr);
    cairo_set_line_width(cr, 2);
    line(cr, 16, 5, 16, 12);
    line(cr, 12.5, 8.5, 19.5, 8.5);
    cairo_stroke(cr);
}

void glyphInviteGroup(cairo_t* cr)
{
    // A plus, then two people, the one behind set off by a gap.
    personShape(cr, 15.2, 3.2, 0.78);
    cairo_fill(cr);
    personShape(cr, 11, 4.4, 0.86);
    clearStroke(cr, 1.8);
    personShape(cr, 11, 4.4, 0.86);
    cairo_fill(cr);
    cairo_set_line_width(cr, 2);
    line(cr, 3.5, 7, 3.5, 13);
    line(cr, 0.5, 10, 6.5, 10);
    cairo_stroke(cr);
}

void glyphBlock(cairo_t* cr)
{
    cairo_set_line_width(cr, 2.2);
    cairo_arc(cr, 10, 10, 7.4, 0, 2 * kPi);
    cairo_stroke(cr);
    line(cr, 4.8, 15.2, 15.2, 4.8);
    cairo_stroke(cr);
}

void glyphSendFile(cairo_t* cr)
{
    cairo_move_to(cr, 13.2, 8.2);
    cairo_line_to(cr, 13.2, 5.4);
    cairo_line_to(cr, 10, 2.2);
    cairo_line_to(cr, 3.2, 2.2);
    cairo_line_to(cr, 3.2, 17.8);
    cairo_line_to(cr, 13.2, 17.8);
    cairo_line_to(cr, 13.2, 15.8);
    cairo_stroke(cr);
    line(cr, 9.6, 2.4, 9.6, 5.8);
    cairo_line_to(cr, 13, 5.8);
    cairo_stroke(cr);
    line(cr, 7.6, 12, 18.2, 12);
    cairo_stroke(cr);
    cairo_move_to(cr, 15, 8.8);
    cairo_line_to(cr, 18.4, 12);
    cairo_line_to(cr, 15, 15.2);
    cairo_stroke(cr);
}

void glyphSwitchType(cairo_t* cr)
{
    // Two arrows chasing each other round a circle.
    cairo_arc(cr, 10, 10, 6.8, kPi * 1.08, kPi * 1.85);
    cairo_stroke(cr);
    cairo_arc(cr, 10, 10, 6.8, kPi * 0.08, kPi * 0.85);
    cairo_stroke(cr);
    for (double a : {kPi * 1.85, kPi * 0.85}) {
        double x = 10 + 6.8 * std::cos(a), y = 10 + 6.8 * std::sin(a);
        double tx = -std::sin(a), ty = std::cos(a);  // direction of travel
        double nx = std::cos(a), ny = std::sin(a);
        cairo_move_to(cr, x + tx * 2.6, y + ty * 2.6);
        cairo_line_to(cr, x + nx * 2.6, y + ny * 2.6);
        cairo_line_to(cr, x - nx * 2.6, y - ny * 2.6);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
    // The group in the middle.
    cairo_arc(cr, 10, 8.6, 1.7, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_move_to(cr, 7, 13.2);
    cairo_curve_to(cr, 7, 11, 13, 11, 13, 13.2);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// Light-glyph buttons: the main window's tool bar and the chat windows.
FrameFn lightButton(GlyphFn glyph, double glyphSize, double radius)
{
    return [=](cairo_t* cr, Look look, double w, double h) {
        lightBackdrop(cr, look, w, h, radius);
        lightGlyph(cr, look, std::round((w - glyphSize) / 2), std::round((h - glyphSize) / 2), glyphSize, glyph);
    };
}

void glyphMenu(cairo_t* cr)
{
    cairo_set_line_width(cr, 2);
    for (int i = 0; i < 3; ++i) line(cr, 2.5, 5 + 5 * i, 13.5, 5 + 5 * i);
    cairo_stroke(cr);
    cairo_move_to(cr, 15.6, 12.6);
    cairo_line_to(cr, 18.6, 9);
    cairo_line_to(cr, 21.6, 12.6);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// ------------------------------------------------------------ login window buttons

// The wide buttons of the login windows: `primary` is orange with white text,
// otherwise light grey with dark text.
FrameFn wideButton(const std::string& caption, bool primary)
{
    return [=](cairo_t* cr, Look look, double w, double h) {
        double x = 0.5, y = 0.5, bw = w - 1, bh = h - 2;
        // A faint shadow under the button.
        if (look != Disabled) {
            roundedRect(cr, x, y + 1, bw, bh, 4);
            fill(cr, 0x000000, look == Pressed ? 0.04 : 0.09);
        }
        roundedRect(cr, x, y, bw, bh, 4);
        uint32_t top, bottom, border, ink;
        if (look == Disabled) {
            top = 0xEDEDED, bottom = 0xE2E2E2, border = 0xD4D4D4, ink = 0xB0B0B0;
        } else if (primary) {
            ink = 0xFFFFFF;
            border = kAccentDark;
            if (look == Normal) top = 0xFFBA5C, bottom = 0xF5962A;
            else if (look == Hover) top = 0xFFC871, bottom = 0xFAA63E;
            else top = 0xEC8D22, bottom = 0xF3A145;
        } else {
            ink = look == Normal ? 0x555555 : kAccentDark;
            border = look == Normal ? 0xCACACA : 0xF0B168;
            if (look == Normal) top = 0xFFFFFF, bottom = 0xF1F1F1;
            else if (look == Hover) top = 0xFFFFFF, bottom = 0xFFF3E4;
            else top = 0xF2E6D8, bottom = 0xFBF3EA;
        }
        verticalFill(cr, y, y + bh, top, bottom);
        roundedRect(cr, x, y, bw, bh, 4);
        stroke(cr, border, 1);
        if (look != Pressed && look != Disabled) {
            // A thin highlight inside the upper edge.
            line(cr, x + 4, y + 1.5, x + bw - 4, y + 1.5);
            stroke(cr, 0xFFFFFF, 1, primary ? 0.45 : 0.9);
        }
        double cy = y + bh / 2 + (look == Pressed ? 1 : 0);
        if (primary && look != Disabled)
            text(cr, caption, 15, true, w / 2, cy + 1, 0.5, 0x000000, 0.16, 3);
        text(cr, caption, 15, primary, w / 2, cy, 0.5, ink, 1, 3);
    };
}

void chevron(cairo_t* cr, double cx, double cy, double size)
{
    cairo_move_to(cr, cx - size, cy - size / 2);
    cairo_line_to(cr, cx, cy + size / 2);
    cairo_line_to(cr, cx + size, cy - size / 2);
}

void expandButton(cairo_t* cr, Look look, double w, double h)
{
    if (look == Hover || look == Pressed) {
        roundedRect(cr, 1, 1, w - 2, h - 2, 3);
        fill(cr, look == Hover ? 0xFFF1DE : 0xFFE0B8);
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    chevron(cr, w / 2, h / 2 + (look == Pressed ? 1 : 0), 4);
    uint32_t c = look == Normal ? 0x9A9A9A : look == Disabled ? 0xD2D2D2 : kAccentDark;
    stroke(cr, c, 1.8);
}

void deleteButton(cairo_t* cr, Look look, double w, double h)
{
    double cx = w / 2, cy = h / 2;
    uint32_t cross = 0x8A9AA4;
    if (look == Hover || look == Pressed) {
        cairo_arc(cr, cx, cy, 6.5, 0, 2 * kPi);
        fill(cr, look == Hover ? 0xE5534B : 0xB93A33);
        cross = 0xFFFFFF;
    } else if (look == Disabled) {
        cross = 0xC4CDD2;
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    line(cr, cx - 2.8, cy - 2.8, cx + 2.8, cy + 2.8);
    line(cr, cx + 2.8, cy - 2.8, cx - 2.8, cy + 2.8);
    stroke(cr, cross, 1.6);
}

// A check box with its caption.
FrameFn checkButton(const std::string& caption, bool ticked)
{
    return [=](cairo_t* cr, Look look, double, double h) {
        double bx = 1.5, by = std::round((h - 13) / 2) + 0.5, s = 12;
        roundedRect(cr, bx, by, s, s, 2.5);
        if (ticked && look != Disabled) {
            uint32_t top = look == Hover ? 0xFFC36E : look == Pressed ? 0xE98A1E : 0xFFB24E;
            uint32_t bottom = look == Hover ? 0xF9A23A : look == Pressed ? 0xF09A34 : 0xF1911F;
            verticalFill(cr, by, by + s, top, bottom);
            roundedRect(cr, bx, by, s, s, 2.5);
            stroke(cr, kAccentDark, 1);
        } else {
            uint32_t face = look == Pressed ? 0xFFEBD2 : look == Disabled ? 0xF2F2F2 : 0xFFFFFF;
            uint32_t border = look == Hover || look == Pressed ? 0xF0A04A : look == Disabled ? 0xD6D6D6 : 0xB5B5B5;
            rgba(cr, face);
            cairo_fill_preserve(cr);
            stroke(cr, border, 1);
        }
        if (ticked) {
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
            cairo_move_to(cr, bx + 2.8, by + 6.2);
            cairo_line_to(cr, bx + 5.2, by + 8.6);
            cairo_line_to(cr, bx + 9.4, by + 3.6);
            stroke(cr, look == Disabled ? 0xB8B8B8 : 0xFFFFFF, 1.8);
        }
        uint32_t ink = look == Disabled ? 0xB8B8B8 : look == Normal ? 0x5A5A5A : 0x333333;
        text(cr, caption, 12, false, 19, h / 2, 0, ink);
    };
}

FrameFn linkButton(const std::string& caption)
{
    return [=](cairo_t* cr, Look look, double w, double h) {
        uint32_t ink = look == Normal ? 0x8A8A8A : look == Hover ? kAccentDark : look == Pressed ? 0xB5650A : 0xC8C8C8;
        text(cr, caption, 12, false, w / 2, h / 2 - 1 + (look == Pressed ? 0.5 : 0), 0.5, ink, 1, 0,
             look == Hover || look == Pressed);
    };
}

// ------------------------------------------------------------ status

void orbOnline(cairo_t* cr, double cx, double cy, double r)
{
    cairo_pattern_t* p = cairo_pattern_create_radial(cx - r / 3, cy - r / 3, 0.5, cx, cy, r);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.72, 0.96, 0.60);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.16, 0.60, 0.12);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    stroke(cr, 0x1F7A14, 1, 0.8);
}

void orbOffline(cairo_t* cr, double cx, double cy, double r)
{
    cairo_pattern_t* p = cairo_pattern_create_radial(cx - r / 3, cy - r / 3, 0.5, cx, cy, r);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.92, 0.92, 0.92);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.55, 0.55, 0.55);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    stroke(cr, 0x6A6A6A, 1, 0.8);
}

void orbAway(cairo_t* cr, double cx, double cy, double r)
{
    // A crescent moon: a disc less a disc to its upper right.
    cairo_push_group(cr);
    cairo_arc(cr, cx, cy, r + 0.5, 0, 2 * kPi);
    cairo_pattern_t* p = cairo_pattern_create_linear(cx - r, cy - r, cx + r, cy + r);
    cairo_pattern_add_color_stop_rgb(p, 0, 1.0, 0.86, 0.32);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.93, 0.55, 0.06);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_arc(cr, cx + r * 0.6, cy - r * 0.55, r * 0.85, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pop_group_to_source(cr);
    cairo_paint(cr);
}

// The own-status button: the status mark and a drop-down arrow in a soft
// white pill that reads on the orange skin and on white alike.
FrameFn statusButton(void (*orb)(cairo_t*, double, double, double))
{
    return [=](cairo_t* cr, Look look, double w, double h) {
        roundedRect(cr, 0.5, 0.5, w - 1, h - 1, (h - 1) / 2);
        double face = look == Normal ? 0.55 : look == Hover ? 0.92 : look == Pressed ? 1.0 : 0.45;
        rgba(cr, look == Pressed ? 0xFFE4C2 : 0xFFFFFF, face);
        cairo_fill_preserve(cr);
        if (look == Hover || look == Pressed)
            stroke(cr, 0xE89A3C, 1, 0.9);
        else
            stroke(cr, 0x000000, 1, 0.16);
        double dy = look == Pressed ? 0.5 : 0;
        if (look == Disabled)
            orbOffline(cr, 11, h / 2 + dy, 5);
        else
            orb(cr, 11, h / 2 + dy, 5);
        cairo_move_to(cr, 21.5, h / 2 - 1.5 + dy);
        cairo_line_to(cr, 28.5, h / 2 - 1.5 + dy);
        cairo_line_to(cr, 25, h / 2 + 2.5 + dy);
        cairo_close_path(cr);
        fill(cr, look == Disabled ? 0xAAAAAA : 0x5A5A5A);
    };
}

// ------------------------------------------------------------ main window

void searchButton(cairo_t* cr, Look look, double w, double h)
{
    // The right end of the white search field (which spans 20 pixels of the
    // button's 26), with a magnifier.
    double y = 3, fh = h - 6;
    cairo_move_to(cr, 0, y);
    cairo_line_to(cr, w - 4, y);
    cairo_arc(cr, w - 4, y + 4, 4, -kPi / 2, 0);
    cairo_arc(cr, w - 4, y + fh - 4, 4, 0, kPi / 2);
    cairo_line_to(cr, 0, y + fh);
    cairo_close_path(cr);
    uint32_t face = look == Hover ? 0xFFF4E6 : look == Pressed ? 0xFFE2BD : look == Disabled ? 0xF2F2F2 : 0xFFFFFF;
    fill(cr, face);
    uint32_t ink = look == Normal ? 0x8C8C8C : look == Disabled ? 0xC8C8C8 : kAccentDark;
    double cx = w / 2 - 1.5, cy = h / 2 - 1.5 + (look == Pressed ? 0.5 : 0);
    cairo_arc(cr, cx, cy, 4.6, 0, 2 * kPi);
    stroke(cr, ink, 1.8);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    line(cr, cx + 3.4, cy + 3.4, cx + 6.6, cy + 6.6);
    stroke(cr, ink, 2.2);
}

void tabFriends(cairo_t* cr)
{
    personShape(cr, 10, 2, 1.05);
    cairo_fill(cr);
}

void tabGroups(cairo_t* cr)
{
    personShape(cr, 4.6, 5.2, 0.72);
    cairo_fill(cr);
    personShape(cr, 15.4, 5.2, 0.72);
    cairo_fill(cr);
    personShape(cr, 10, 3, 0.95);
    cairo_set_line_width(cr, 1.6);
    clearStroke(cr, 1.6);
    personShape(cr, 10, 3, 0.95);
    cairo_fill(cr);
}

void tabStrangers(cairo_t* cr)
{
    personShape(cr, 8, 2.5, 1.0);
    cairo_fill(cr);
    // A question mark beside the person.
    cairo_arc(cr, 16.2, 8.6, 4.8, 0, 2 * kPi);
    clearShape(cr);
    cairo_set_line_width(cr, 1.7);
    cairo_arc(cr, 16.2, 6.4, 2.2, -kPi, kPi * 0.35);
    cairo_line_to(cr, 16.2, 10.2);
    cairo_stroke(cr);
    cairo_arc(cr, 16.2, 12.8, 1.0, 0, 2 * kPi);
    cairo_fill(cr);
}

// Shows a glyph drawn in white on the 20x20 grid in a single colour.
void tintedGlyph(cairo_t* cr, double x, double y, double size, GlyphFn glyph, uint32_t colour, double alpha = 1)
{
    cairo_push_group(cr);
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, size / 20, size / 20);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    glyph(cr);
    cairo_restore(cr);
    cairo_pattern_t* mask = cairo_pop_group(cr);
    rgba(cr, colour, alpha);
    cairo_mask(cr, mask);
    cairo_pattern_destroy(mask);
}

// A list tab: glyph and caption; the pressed look is the selected tab, white
// with an orange bar along its lower edge.
FrameFn tabButton(const std::string& caption, GlyphFn glyph)
{
    return [=](cairo_t* cr, Look look, double w, double h) {
        if (look == Hover) {
            cairo_rectangle(cr, 0, 0, w, h);
            vertical(cr, 0, h, 0xFFF7EE, 0xFFEBD4);
            cairo_fill(cr);
        } else if (look == Pressed) {
            cairo_rectangle(cr, 0, 0, w, h);
            fill(cr, 0xFFFFFF);
            cairo_rectangle(cr, 4, h - 3, w - 8, 3);
            fill(cr, kAccent);
        }
        uint32_t ink = look == Normal ? 0x8E8E8E : look == Disabled ? 0xCFCFCF : kAccentDark;
        // Glyph and caption centred together.
        double captionWidth = 12.0 * static_cast<double>(g_utf8_strlen(caption.c_str(), -1));
        double glyphSize = 18, gap = 3;
        double left = std::round((w - glyphSize - gap - captionWidth) / 2);
        double cy = (h - 3) / 2 + 1;
        tintedGlyph(cr, left, std::round(cy - glyphSize / 2), glyphSize, glyph, ink);
        text(cr, caption, 12, look == Pressed, left + glyphSize + gap, cy, 0, look == Normal ? 0x6E6E6E : ink);
    };
}

// A caption-only tab of the message manager's tree pane: selected, white
// with an orange bar along its lower edge; not selected, the pane's blue.
std::function<void(cairo_t*)> captionTab(const std::string& caption, bool selected, double w, double h)
{
    return [=](cairo_t* cr) {
        cairo_rectangle(cr, 0, 0, w, h);
        if (selected) {
            fill(cr, 0xFFFFFF);
            cairo_rectangle(cr, 6, h - 3, w - 12, 3);
            fill(cr, kAccent);
        } else {
            vertical(cr, 0, h, 0xEEF6FD, 0xD6ECFB);
            cairo_fill(cr);
            cairo_rectangle(cr, 0, h - 1, w, 1);
            fill(cr, 0x9CC2DE);
        }
        text(cr, caption, 12, selected, w / 2, (h - 2) / 2 + 1, 0.5, selected ? kAccentDark : 0x4A6F8C);
    };
}

// ------------------------------------------------------------ heads and icons

// A 40x40 rounded picture at (x, y): background gradient and a motif.
void headTile(cairo_t* cr, double x, double y, uint32_t top, uint32_t bottom, const std::function<void(cairo_t*)>& motif)
{
    cairo_save(cr);
    cairo_translate(cr, x, y);
    roundedRect(cr, 0, 0, 40, 40, 5);
    cairo_save(cr);
    cairo_clip_preserve(cr);
    verticalFill(cr, 0, 40, top, bottom);
    motif(cr);
    cairo_restore(cr);
    roundedRect(cr, 0.5, 0.5, 39, 39, 4.5);
    stroke(cr, 0x000000, 1, 0.12);
    // A soft light along the upper edge.
    roundedRect(cr, 1.5, 1.5, 37, 37, 3.5);
    stroke(cr, 0xFFFFFF, 1, 0.35);
    cairo_restore(cr);
}

// The same picture with a soft shadow to its lower right, 46x46 in all.
void headWithShadow(cairo_t* cr, uint32_t top, uint32_t bottom, const std::function<void(cairo_t*)>& motif)
{
    for (int i = 3; i >= 1; --i) {
        roundedRect(cr, 1 + i * 0.5, 2 + i * 0.7, 40 + i, 40 + i, 6 + i);
        fill(cr, 0x000000, 0.045);
    }
    headTile(cr, 0, 0, top, bottom, motif);
}

void motifPerson(cairo_t* cr)
{
    cairo_save(cr);
    cairo_translate(cr, 20, 0);
    cairo_arc(cr, 0, 15.5, 7.6, 0, 2 * kPi);
    fill(cr, 0xFFFFFF, 0.96);
    cairo_move_to(cr, -15, 42);
    cairo_curve_to(cr, -15, 29, -8, 25.5, 0, 25.5);
    cairo_curve_to(cr, 8, 25.5, 15, 29, 15, 42);
    cairo_close_path(cr);
    fill(cr, 0xFFFFFF, 0.96);
    cairo_restore(cr);
}

void motifGroup(cairo_t* cr)
{
    auto person = [cr](double cx, double top, double s, double alpha) {
        cairo_arc(cr, cx, top + 6 * s, 5.2 * s, 0, 2 * kPi);
        fill(cr, 0xFFFFFF, alpha);
        cairo_move_to(cr, cx - 10.5 * s, top + 40);
        cairo_curve_to(cr, cx - 10.5 * s, top + 18 * s, cx - 5 * s, top + 14 * s, cx, top + 14 * s);
        cairo_curve_to(cr, cx + 5 * s, top + 14 * s, cx + 10.5 * s, top + 18 * s, cx + 10.5 * s, top + 40);
        cairo_close_path(cr);
        fill(cr, 0xFFFFFF, alpha);
    };
    person(9.5, 12, 0.8, 0.72);
    person(30.5, 12, 0.8, 0.72);
    person(20, 8, 1.0, 0.97);
}

void motifDiscussion(cairo_t* cr)
{
    // Two overlapping speech bubbles.
    roundedRect(cr, 5, 8, 20, 14, 5);
    cairo_move_to(cr, 9, 21);
    cairo_line_to(cr, 7.5, 26.5);
    cairo_line_to(cr, 14, 21);
    cairo_close_path(cr);
    fill(cr, 0xFFFFFF, 0.75);
    roundedRect(cr, 14, 16, 21, 14, 5);
    cairo_move_to(cr, 30, 29);
    cairo_line_to(cr, 31.5, 34.5);
    cairo_line_to(cr, 25, 29);
    cairo_close_path(cr);
    fill(cr, 0xFFFFFF, 0.97);
    for (int i = 0; i < 3; ++i) {
        cairo_arc(cr, 19.5 + 5 * i, 23, 1.5, 0, 2 * kPi);
        fill(cr, 0x7C6FD6);
    }
}

void crown(cairo_t* cr)
{
    cairo_move_to(cr, 2.5, 6);
    cairo_line_to(cr, 6, 9.5);
    cairo_line_to(cr, 9, 3.8);
    cairo_line_to(cr, 12, 9.5);
    cairo_line_to(cr, 15.5, 6);
    cairo_line_to(cr, 14.2, 13.2);
    cairo_line_to(cr, 3.8, 13.2);
    cairo_close_path(cr);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 4, 0, 14);
    cairo_pattern_add_color_stop_rgb(p, 0, 1.0, 0.88, 0.36);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.93, 0.62, 0.05);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    stroke(cr, 0xA8650A, 1);
    roundedRect(cr, 3.8, 13.6, 10.4, 2.6, 0.8);
    rgba(cr, 0xE9A321);
    cairo_fill_preserve(cr);
    stroke(cr, 0xA8650A, 1);
    for (double x : {2.5, 9.0, 15.5}) {
        cairo_arc(cr, x, x == 9.0 ? 3.2 : 5.4, 1.4, 0, 2 * kPi);
        rgba(cr, 0xFFE27A);
        cairo_fill_preserve(cr);
        stroke(cr, 0xA8650A, 0.8);
    }
    cairo_arc(cr, 9, 10.4, 1.2, 0, 2 * kPi);
    fill(cr, 0xE5473C);
}

void stateWeb(cairo_t* cr)
{
    double cx = 9, cy = 9, r = 7;
    cairo_pattern_t* p = cairo_pattern_create_radial(cx - 2.5, cy - 2.5, 0.5, cx, cy, r);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.55, 0.80, 1.0);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.13, 0.45, 0.84);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    cairo_save(cr);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    cairo_clip(cr);
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, 0.45, 1);
    cairo_arc(cr, 0, 0, r, 0, 2 * kPi);
    cairo_restore(cr);
    line(cr, cx, cy - r, cx, cy + r);
    line(cr, cx - r, cy, cx + r, cy);
    line(cr, cx - r, cy - 3.6, cx + r, cy - 3.6);
    line(cr, cx - r, cy + 3.6, cx + r, cy + 3.6);
    stroke(cr, 0xFFFFFF, 0.9, 0.85);
    cairo_restore(cr);
    cairo_arc(cr, cx, cy, r - 0.5, 0, 2 * kPi);
    stroke(cr, 0x1A5BA8, 1);
}

void screenGreen(cairo_t* cr, double x, double y, double w, double h)
{
    cairo_rectangle(cr, x, y, w, h);
    cairo_pattern_t* p = cairo_pattern_create_linear(x, y, x + w, y + h);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.66, 0.93, 0.50);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.20, 0.66, 0.15);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    // A glint across the screen.
    cairo_move_to(cr, x, y + h * 0.55);
    cairo_line_to(cr, x + w * 0.6, y);
    cairo_line_to(cr, x, y);
    cairo_close_path(cr);
    fill(cr, 0xFFFFFF, 0.22);
}

void statePc(cairo_t* cr)
{
    roundedRect(cr, 1.5, 2.5, 15, 10.5, 1.5);
    rgba(cr, 0x4C5866);
    cairo_fill_preserve(cr);
    stroke(cr, 0x36404B, 1);
    screenGreen(cr, 3, 4, 12, 7.5);
    cairo_move_to(cr, 7.2, 13);
    cairo_line_to(cr, 10.8, 13);
    cairo_line_to(cr, 11.5, 15.2);
    cairo_line_to(cr, 6.5, 15.2);
    cairo_close_path(cr);
    fill(cr, 0x6B7785);
    roundedRect(cr, 4.5, 15, 9, 1.8, 0.9);
    fill(cr, 0x4C5866);
}

void phoneBody(cairo_t* cr, double x, double y, double w, double h)
{
    roundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, 1.8);
    rgba(cr, 0x4C5866);
    cairo_fill_preserve(cr);
    stroke(cr, 0x36404B, 1);
    screenGreen(cr, x + 1.6, y + 2.4, w - 3.2, h - 5.6);
    cairo_arc(cr, x + w / 2, y + h - 1.7, 0.8, 0, 2 * kPi);
    fill(cr, 0xC9D1DA);
}

void stateMobile(cairo_t* cr) { phoneBody(cr, 4.5, 1, 9, 16); }

void stateWap(cairo_t* cr)
{
    phoneBody(cr, 2, 3, 8, 14);
    // Waves: the phone is on the mobile web.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_arc(cr, 10.5, 7.5, 3, -kPi / 3, kPi / 3);
    stroke(cr, 0x19A09A, 1.5);
    cairo_arc(cr, 10.5, 7.5, 6, -kPi / 3, kPi / 3);
    stroke(cr, 0x19A09A, 1.5);
}

void stateSms(cairo_t* cr)
{
    roundedRect(cr, 1.5, 4.5, 15, 10, 1.5);
    vertical(cr, 4.5, 14.5, 0xFAFBFC, 0xDCE1E6);
    cairo_fill_preserve(cr);
    stroke(cr, 0x8593A0, 1);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, 2.2, 5.2);
    cairo_line_to(cr, 9, 10.2);
    cairo_line_to(cr, 15.8, 5.2);
    stroke(cr, 0x8593A0, 1);
}

// The program's icon: an orange tile with a white speech bubble carrying a
// graduation cap.
void appIcon(cairo_t* cr, bool offline)
{
    roundedRect(cr, 1, 1, 30, 30, 7);
    if (offline)
        vertical(cr, 1, 31, 0xCFCFCF, 0x9A9A9A);
    else
        vertical(cr, 1, 31, 0xFFC46C, 0xF08A18);
    cairo_fill(cr);
    roundedRect(cr, 1.5, 1.5, 29, 29, 6.5);
    stroke(cr, offline ? 0x7E7E7E : 0xC96B08, 1, 0.7);
    roundedRect(cr, 2.5, 2.5, 27, 27, 5.5);
    stroke(cr, 0xFFFFFF, 1, 0.3);
    // Bubble.
    roundedRect(cr, 5.5, 6.5, 21, 15.5, 7);
    cairo_move_to(cr, 9, 20);
    cairo_line_to(cr, 7, 26);
    cairo_line_to(cr, 14.5, 21.5);
    cairo_close_path(cr);
    fill(cr, 0x000000, 0.12);
    cairo_save(cr);
    cairo_translate(cr, 0, -1);
    roundedRect(cr, 5.5, 6.5, 21, 15.5, 7);
    cairo_move_to(cr, 9, 20);
    cairo_line_to(cr, 7, 26);
    cairo_line_to(cr, 14.5, 21.5);
    cairo_close_path(cr);
    fill(cr, offline ? 0xF4F4F4 : 0xFFFFFF);
    // Graduation cap: board, crown and tassel.
    uint32_t ink = offline ? 0x8A8A8A : 0xE07E10;
    cairo_move_to(cr, 16, 9.3);
    cairo_line_to(cr, 22.6, 12.4);
    cairo_line_to(cr, 16, 15.5);
    cairo_line_to(cr, 9.4, 12.4);
    cairo_close_path(cr);
    fill(cr, ink);
    cairo_move_to(cr, 12, 14.2);
    cairo_line_to(cr, 12, 17);
    cairo_curve_to(cr, 14, 18.8, 18, 18.8, 20, 17);
    cairo_line_to(cr, 20, 14.2);
    cairo_line_to(cr, 16, 16.2);
    cairo_close_path(cr);
    fill(cr, ink);
    line(cr, 21.6, 12.9, 21.6, 17.2);
    stroke(cr, ink, 1);
    cairo_arc(cr, 21.6, 17.6, 0.9, 0, 2 * kPi);
    fill(cr, ink);
    cairo_restore(cr);
}

// ------------------------------------------------------------ window backgrounds

// The logo mark large: a white speech bubble with the cap, for the windows'
// header.
void logoMark(cairo_t* cr, double cx, double cy, double scale)
{
    cairo_save(cr);
    cairo_translate(cr, cx - 16 * scale, cy - 16 * scale);
    cairo_scale(cr, scale, scale);
    auto bubble = [cr]() {
        roundedRect(cr, 5.5, 6.5, 21, 15.5, 7);
        cairo_move_to(cr, 9, 20);
        cairo_line_to(cr, 7, 26);
        cairo_line_to(cr, 14.5, 21.5);
        cairo_close_path(cr);
    };
    cairo_save(cr);
    cairo_translate(cr, 0, 0.6);
    bubble();
    fill(cr, 0xA85A00, 0.18);
    cairo_restore(cr);
    bubble();
    fill(cr, 0xFFFFFF);
    uint32_t ink = 0xF19226;
    cairo_move_to(cr, 16, 9.3);
    cairo_line_to(cr, 22.6, 12.4);
    cairo_line_to(cr, 16, 15.5);
    cairo_line_to(cr, 9.4, 12.4);
    cairo_close_path(cr);
    fill(cr, ink);
    cairo_move_to(cr, 12, 14.2);
    cairo_line_to(cr, 12, 17);
    cairo_curve_to(cr, 14, 18.8, 18, 18.8, 20, 17);
    cairo_line_to(cr, 20, 14.2);
    cairo_line_to(cr, 16, 16.2);
    cairo_close_path(cr);
    fill(cr, ink);
    line(cr, 21.6, 12.9, 21.6, 17.2);
    stroke(cr, ink, 0.8);
    cairo_arc(cr, 21.6, 17.6, 0.8, 0, 2 * kPi);
    fill(cr, ink);
    cairo_restore(cr);
}

// A light line drawing of a campus along the bottom of the windows.
void campus(cairo_t* cr, double w, double base)
{
    const uint32_t far = 0xFDF0DF, near = 0xFBE3C4, window = 0xFFFFFF;
    // Distant buildings.
    cairo_rectangle(cr, 8, base - 46, 34, 46);
    cairo_rectangle(cr, 150, base - 52, 28, 52);
    cairo_rectangle(cr, 190, base - 38, 40, 38);
    fill(cr, far);
    // The main hall with its clock tower.
    double hx = w / 2;
    cairo_rectangle(cr, hx - 48, base - 40, 96, 40);
    cairo_move_to(cr, hx - 54, base - 40);
    cairo_line_to(cr, hx, base - 58);
    cairo_line_to(cr, hx + 54, base - 40);
    cairo_close_path(cr);
    cairo_rectangle(cr, hx - 9, base - 84, 18, 30);
    cairo_move_to(cr, hx - 11, base - 84);
    cairo_line_to(cr, hx, base - 96);
    cairo_line_to(cr, hx + 11, base - 84);
    cairo_close_path(cr);
    fill(cr, near);
    cairo_arc(cr, hx, base - 73, 5, 0, 2 * kPi);
    fill(cr, window);
    line(cr, hx, base - 73, hx, base - 76.5);
    line(cr, hx, base - 73, hx + 2.5, base - 72);
    stroke(cr, near, 1);
    for (int i = 0; i < 5; ++i) {
        cairo_rectangle(cr, hx - 40 + i * 17, base - 31, 10, 14);
    }
    fill(cr, window);
    roundedRect(cr, hx - 7, base - 18, 14, 18, 6);
    fill(cr, window);
    // Windows of the distant buildings.
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) cairo_rectangle(cr, 13 + c * 9, base - 40 + r * 10, 5, 5);
        for (int c = 0; c < 2; ++c) cairo_rectangle(cr, 155 + c * 11, base - 46 + r * 11, 6, 6);
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) cairo_rectangle(cr, 195 + c * 9, base - 32 + r * 10, 5, 5);
    fill(cr, window);
    // Trees.
    for (double x : {52.0, 66.0, 184.0}) {
        cairo_arc(cr, x, base - 14, 9, 0, 2 * kPi);
        fill(cr, near);
        cairo_rectangle(cr, x - 1, base - 8, 2, 8);
        fill(cr, near);
    }
    // Ground.
    cairo_rectangle(cr, 0, base, w, 1.5);
    fill(cr, near);
}

// Background of the login windows: orange header with the logo, white body.
// `fields` draws the account and password boxes.
bool windowBackground(const std::string& file, int w, int h, bool fields)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);

    // Header with a soft curve into the body.
    const double headerBottom = 176;
    cairo_move_to(cr, 0, 0);
    cairo_line_to(cr, w, 0);
    cairo_line_to(cr, w, headerBottom - 10);
    cairo_curve_to(cr, w * 0.7, headerBottom + 6, w * 0.3, headerBottom + 6, 0, headerBottom - 10);
    cairo_close_path(cr);
    cairo_path_t* header = cairo_copy_path(cr);
    verticalFill(cr, 0, headerBottom, kSkinLight, 0xF7A23D);
    // Large faint circles for depth.
    cairo_save(cr);
    cairo_append_path(cr, header);
    cairo_clip(cr);
    cairo_arc(cr, w - 20, 30, 70, 0, 2 * kPi);
    fill(cr, 0xFFFFFF, 0.08);
    cairo_arc(cr, 10, headerBottom - 10, 56, 0, 2 * kPi);
    fill(cr, 0xFFFFFF, 0.07);
    cairo_arc(cr, w * 0.62, headerBottom + 30, 60, 0, 2 * kPi);
    fill(cr, 0xFFFFFF, 0.06);
    cairo_restore(cr);
    // A thin light edge along the curve.
    cairo_move_to(cr, w, headerBottom - 10);
    cairo_curve_to(cr, w * 0.7, headerBottom + 6, w * 0.3, headerBottom + 6, 0, headerBottom - 10);
    stroke(cr, 0xE08C2A, 1, 0.5);
    cairo_path_destroy(header);

    text(cr, "Orvane", 12, false, 9, 14, 0, 0xFFFFFF, 0.95);
    logoMark(cr, w / 2.0, 78, 2.4);
    text(cr, "Orvane", 22, true, w / 2.0, 139, 0.5, 0xB55E00, 0.25, 1);
    text(cr, "Orvane", 22, true, w / 2.0, 138, 0.5, 0xFFFFFF, 1, 1);

    if (fields) {
        // Account box: head picture at the left, drop-down at the right.
        for (double y : {206.0, 246.0}) {
            roundedRect(cr, 18.5, y + 0.5, 200, 31, 4);
            fill(cr, 0xFFFFFF);
            roundedRect(cr, 18.5, y + 0.5, 200, 31, 4);
            stroke(cr, 0xD5D5D5, 1);
            line(cr, 22, y + 1.5, 215, y + 1.5);
            stroke(cr, 0x000000, 1, 0.04);
        }
        cairo_rectangle(cr, 22.5, 210.5, 23, 23);
        stroke(cr, 0xE2E2E2, 1);
        line(cr, 49.5, 212, 49.5, 232);
        stroke(cr, 0xEAEAEA, 1);
        // Padlock at the left of the password box.
        cairo_save(cr);
        cairo_translate(cr, 26, 253);
        cairo_arc(cr, 8, 6.5, 3.6, kPi, 2 * kPi);
        stroke(cr, 0xA8A8A8, 1.6);
        roundedRect(cr, 3, 7, 10, 8.5, 1.5);
        fill(cr, 0xA8A8A8);
        cairo_arc(cr, 8, 10.6, 1.3, 0, 2 * kPi);
        fill(cr, 0xFFFFFF);
        cairo_restore(cr);
        line(cr, 49.5, 252, 49.5, 272);
        stroke(cr, 0xEAEAEA, 1);
    }

    campus(cr, w, 540);
    line(cr, 18, 548.5, w - 18, 548.5);
    stroke(cr, 0xEFE3D4, 1);

    // Window edge: the header's darker orange, then light grey round the body.
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, 5.5);
    stroke(cr, 0xDDDDDD, 1);
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, w, headerBottom - 2);
    cairo_clip(cr);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, 5.5);
    stroke(cr, 0xE0891F, 1);
    cairo_restore(cr);

    cairo_destroy(cr);
    return save(s, file);
}

// ------------------------------------------------------------ animation

// GIF LZW: variable code width from minimum+1 up to 12 bits, a clear code
// first, a fresh table whenever it is full.
std::vector<uint8_t> lzw(const std::vector<uint8_t>& pixels, int minCodeSize)
{
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int bits = 0;
    int codeSize = minCodeSize + 1;
    auto emit = [&](int code, int width) {
        acc |= static_cast<uint32_t>(code) << bits;
        bits += width;
        while (bits >= 8) {
            out.push_back(static_cast<uint8_t>(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    const int clear = 1 << minCodeSize;
    int maxCode = clear + 1;
    std::map<std::pair<int, int>, int> table;
    emit(clear, codeSize);
    int current = pixels[0];
    for (size_t i = 1; i < pixels.size(); ++i) {
        auto found = table.find({current, pixels[i]});
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        emit(current, codeSize);
        table[{current, pixels[i]}] = ++maxCode;
        if (maxCode >= (1 << codeSize)) ++codeSize;
        if (maxCode == 4095) {
            emit(clear, codeSize);
            table.clear();
            codeSize = minCodeSize + 1;
            maxCode = clear + 1;
        }
        current = pixels[i];
    }
    emit(current, codeSize);
    emit(clear, codeSize);
    emit(clear + 1, minCodeSize + 1);
    if (bits) out.push_back(static_cast<uint8_t>(acc & 0xFF));
    return out;
}

void word(std::vector<uint8_t>& g, int v)
{
    g.push_back(static_cast<uint8_t>(v & 0xFF));
    g.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

// The login animation: twelve dots round a circle, the brightest one moving
// on by one place a frame, its trail fading behind it. Drawn on white, the
// body colour of the login-progress window, with 32 shades from white to
// the accent orange.
bool loginAnimation(const std::string& file)
{
    const int size = 64, frames = 12, shades = 32;
    const double accent[3] = {0xF0 / 255.0, 0x8C / 255.0, 0x1E / 255.0};
    std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a'};
    word(g, size);
    word(g, size);
    g.push_back(0xF0 | 4);  // global table of 2^(4+1) = 32 colours
    g.push_back(0);         // background: white
    g.push_back(0);
    for (int i = 0; i < shades; ++i) {
        double t = i / double(shades - 1);
        for (double c : accent) g.push_back(static_cast<uint8_t>(std::lround(255 * (1 - t) + 255 * c * t)));
    }
    // Loop for ever.
    const uint8_t loop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 0x03, 0x01, 0x00, 0x00, 0x00};
    g.insert(g.end(), loop, loop + sizeof loop);

    for (int f = 0; f < frames; ++f) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, size, size);
        cairo_t* cr = cairo_create(s);
        for (int d = 0; d < 12; ++d) {
            int age = (f - d + 12) % 12;  // 0: the leading dot
            double a = -kPi / 2 + d * 2 * kPi / 12;
            double alpha = age < 8 ? 1.0 - age * 0.105 : 0.16;
            double r = age < 8 ? 4.6 - age * 0.22 : 2.9;
            cairo_arc(cr, size / 2.0 + 21 * std::cos(a), size / 2.0 + 21 * std::sin(a), r, 0, 2 * kPi);
            cairo_set_source_rgba(cr, 0, 0, 0, alpha);
            cairo_fill(cr);
        }
        cairo_destroy(cr);
        cairo_surface_flush(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        int stride = cairo_image_surface_get_stride(s);
        std::vector<uint8_t> pixels;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                pixels.push_back(static_cast<uint8_t>(std::lround(data[y * stride + x] / 255.0 * (shades - 1))));
        cairo_surface_destroy(s);

        // Graphic control: no disposal, 80 ms.
        const uint8_t control[] = {0x21, 0xF9, 0x04, 0x04, 8, 0, 0, 0};
        g.insert(g.end(), control, control + sizeof control);
        g.push_back(0x2C);
        word(g, 0);
        word(g, 0);
        word(g, size);
        word(g, size);
        g.push_back(0);
        const int minCodeSize = 5;
        g.push_back(minCodeSize);
        std::vector<uint8_t> data5 = lzw(pixels, minCodeSize);
        for (size_t at = 0; at < data5.size(); at += 255) {
            size_t n = std::min<size_t>(255, data5.size() - at);
            g.push_back(static_cast<uint8_t>(n));
            g.insert(g.end(), data5.begin() + at, data5.begin() + at + n);
        }
        g.push_back(0);
    }
    g.push_back(0x3B);
    FILE* out = std::fopen(file.c_str(), "wb");
    bool ok = out && std::fwrite(g.data(), 1, g.size(), out) == g.size();
    if (out) ok = std::fclose(out) == 0 && ok;
    if (!ok) std::fprintf(stderr, "could not write %s\n", file.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s <output folder> [<history module's res folder>]\n", argv[0]);
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    auto frameGlyph = [](bool danger, void (*path)(cairo_t*, double, double)) {
        return [=](cairo_t* cr, Look look, double, double) {
            buttonBackdrop(cr, 0, look, danger);
            glyph(cr, 0, look, path);
        };
    };
    bool ok = true;
    auto run = [&ok](bool done) { ok = ok && done; };

    // Login windows.
    run(windowBackground(dir + "login_bg.png", 237, 589, true));
    run(windowBackground(dir + "logining_bg.png", 238, 589, false));
    run(loginAnimation(dir + "logining.gif"));
    run(strip(dir + "frame_close.png", 24, 18, frameGlyph(true, crossPath)));
    run(strip(dir + "frame_minimize.png", 24, 18, frameGlyph(false, barPath)));
    run(strip(dir + "btn_login.png", 201, 36, wideButton("登录", true)));
    run(strip(dir + "btn_relogin.png", 201, 36, wideButton("重新登录", true)));
    run(strip(dir + "btn_cancel.png", 201, 36, wideButton("取消", false)));
    run(strip(dir + "btn_expand.png", 22, 22, expandButton));
    run(strip(dir + "btn_delete_account.png", 14, 14, deleteButton));
    run(strip(dir + "check_remember_on.png", 72, 18, checkButton("记住密码", true)));
    run(strip(dir + "check_remember_off.png", 72, 18, checkButton("记住密码", false)));
    run(strip(dir + "check_autologin_on.png", 72, 18, checkButton("自动登录", true)));
    run(strip(dir + "check_autologin_off.png", 72, 18, checkButton("自动登录", false)));
    run(strip(dir + "link_findpwd.png", 56, 18, linkButton("找回密码")));
    run(strip(dir + "link_help.png", 56, 18, linkButton("使用帮助")));
    run(strip(dir + "status_online.png", 34, 20, statusButton(orbOnline)));
    run(strip(dir + "status_away.png", 34, 20, statusButton(orbAway)));
    run(strip(dir + "status_offline.png", 34, 20, statusButton(orbOffline)));

    // Icons and heads.
    run(single(dir + "app.png", 32, 32, [](cairo_t* cr) { appIcon(cr, false); }));
    run(single(dir + "app_offline.png", 32, 32, [](cairo_t* cr) { appIcon(cr, true); }));
    run(single(dir + "head_default_40.png", 40, 40,
               [](cairo_t* cr) { headTile(cr, 0, 0, 0xD9E5F1, 0xA9C0D8, motifPerson); }));
    run(single(dir + "head_default.png", 46, 46,
               [](cairo_t* cr) { headWithShadow(cr, 0xD9E5F1, 0xA9C0D8, motifPerson); }));
    run(single(dir + "head_group.png", 46, 46,
               [](cairo_t* cr) { headWithShadow(cr, 0x9FE0CF, 0x3FAE95, motifGroup); }));
    run(single(dir + "head_discussion.png", 46, 46,
               [](cairo_t* cr) { headWithShadow(cr, 0xC6BEF5, 0x8A7BDE, motifDiscussion); }));
    run(single(dir + "badge_owner.png", 18, 18, crown));
    run(single(dir + "state_sms.png", 18, 18, stateSms));
    run(single(dir + "state_web.png", 18, 18, stateWeb));
    run(single(dir + "state_pc.png", 18, 18, statePc));
    run(single(dir + "state_mobile.png", 18, 18, stateMobile));
    run(single(dir + "state_wap.png", 18, 18, stateWap));

    // Main window.
    run(strip(dir + "tool_messages.png", 26, 26, lightButton(glyphEnvelope, 17, 3)));
    run(strip(dir + "tool_sms.png", 26, 26, lightButton(glyphSmsWrite, 17, 3)));
    run(strip(dir + "tool_history.png", 26, 26, lightButton(glyphHistory, 17, 3)));
    run(strip(dir + "tool_skin.png", 26, 26, lightButton(glyphShirt, 17, 3)));
    run(strip(dir + "menu_main.png", 36, 24, lightButton(glyphMenu, 20, 3)));
    run(strip(dir + "btn_search.png", 28, 26, searchButton));
    run(strip(dir + "tab_friends.png", 65, 28, tabButton("好友", tabFriends)));
    run(strip(dir + "tab_groups.png", 65, 28, tabButton("群", tabGroups)));
    run(strip(dir + "tab_strangers.png", 65, 28, tabButton("陌生人", tabStrangers)));

    // Chat windows.
    run(strip(dir + "chat_add_friend.png", 32, 32, lightButton(glyphAddFriend, 21, 4)));
    run(strip(dir + "chat_invite_group.png", 32, 32, lightButton(glyphInviteGroup, 21, 4)));
    run(strip(dir + "chat_block.png", 32, 32, lightButton(glyphBlock, 21, 4)));
    run(strip(dir + "chat_send_file.png", 32, 32, lightButton(glyphSendFile, 21, 4)));
    run(strip(dir + "chat_sms.png", 32, 32, lightButton(glyphSmsNotice, 21, 4)));
    run(strip(dir + "chat_group_type.png", 32, 32, lightButton(glyphSwitchType, 21, 4)));

    // The message manager's tree tabs, into the history module's folder.
    if (argc == 3) {
        const std::string quillon = std::string(argv[2]) + "/";
        run(single(quillon + "tab_type_on.png", 88, 24, captionTab("所有分组", true, 88, 24)));
        run(single(quillon + "tab_type_off.png", 88, 24, captionTab("所有分组", false, 88, 24)));
        run(single(quillon + "tab_time_on.png", 88, 24, captionTab("时间分组", true, 88, 24)));
        run(single(quillon + "tab_time_off.png", 88, 24, captionTab("时间分组", false, 88, 24)));
    }
    return ok ? 0 : 1;
}
