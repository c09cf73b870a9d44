#include "platform/gdi.h"

#include "platform/codepage.h"
#include "platform/gdi_internal.h"
#include "platform/gdiplus.h"
#include "platform/resources.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// ---------------------------------------------------------------- objects

enum class Kind { Bitmap, Brush, Pen, Font, Region };

struct GdiObject {
    explicit GdiObject(Kind k) : kind(k) {}
    virtual ~GdiObject() = default;
    Kind kind;
    int refs = 1;         // the caller's handle plus one per DC that selects it
    bool stock = false;   // never freed
    bool deleted = false; // the handle was deleted; a DC may still hold it
};

struct BitmapObject : GdiObject {
    BitmapObject(cairo_surface_t* s, int b) : GdiObject(Kind::Bitmap), surface(s), bpp(b) {}
    ~BitmapObject() override { cairo_surface_destroy(surface); }
    cairo_surface_t* surface;
    int bpp;
};

struct BrushObject : GdiObject {
    explicit BrushObject(COLORREF c) : GdiObject(Kind::Brush), color(c) {}
    COLORREF color;
};

struct PenObject : GdiObject {
    PenObject(int s, int w, COLORREF c) : GdiObject(Kind::Pen), style(s), width(w), color(c) {}
    int style, width;
    COLORREF color;
};

struct FontObject : GdiObject {
    FontObject(const LOGFONT& l, PangoFontDescription* d) : GdiObject(Kind::Font), lf(l), desc(d) {}
    ~FontObject() override { pango_font_description_free(desc); }
    LOGFONT lf;
    PangoFontDescription* desc;
};

struct RegionObject : GdiObject {
    explicit RegionObject(cairo_region_t* r) : GdiObject(Kind::Region), region(r) {}
    ~RegionObject() override { cairo_region_destroy(region); }
    cairo_region_t* region;
};

struct IconObject {
    cairo_surface_t* surface = nullptr;
    int hotX = 0, hotY = 0;
    BOOL isIcon = TRUE;
    ~IconObject() { cairo_surface_destroy(surface); }
};

// The attributes SaveDC keeps (each selected object with a reference).
struct DCState {
    BitmapObject* bitmap = nullptr;
    FontObject* font = nullptr;
    PenObject* pen = nullptr;
    BrushObject* brush = nullptr;
    COLORREF text = 0, bk = 0xFFFFFF;
    int bkMode = OPAQUE;
    POINT pos;
    unsigned generation = 0;  // of the cairo context the state was saved on
};

struct DeviceContext : DCState {
    cairo_t* cr = nullptr;
    int width = 0, height = 0;
    bool memory = false;
    std::vector<DCState> saved;
};

// Every live object, DC and icon, so that a stale or foreign handle finds
// nothing instead of reaching freed memory.
struct Registry {
    std::recursive_mutex mutex;
    std::unordered_set<const void*> objects, dcs, icons;
    std::unordered_map<const void*, std::unique_ptr<CGdiObject>> tempObjects;
    std::unordered_map<const void*, std::unique_ptr<CDC>> tempDCs;
};

Registry& reg()
{
    static Registry* r = new Registry;  // outlives every static that may free handles
    return *r;
}

template <class T>
HGDIOBJ registerObject(T* object)
{
    std::lock_guard<std::recursive_mutex> lock(reg().mutex);
    GdiObject* base = object;
    reg().objects.insert(base);
    return base;
}

// The object behind a handle the caller still owns (null when deleted or unknown).
GdiObject* findObject(HGDIOBJ h, bool includeDeleted = false)
{
    if (!h) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(reg().mutex);
    if (!reg().objects.count(h)) return nullptr;
    GdiObject* o = static_cast<GdiObject*>(h);
    return o->deleted && !includeDeleted ? nullptr : o;
}

template <class T>
T* findAs(HGDIOBJ h, Kind kind)
{
    GdiObject* o = findObject(h);
    return o && o->kind == kind ? static_cast<T*>(o) : nullptr;
}

void acquire(GdiObject* o)
{
    if (!o || o->stock) return;
    std::lock_guard<std::recursive_mutex> lock(reg().mutex);
    ++o->refs;
}

void release(GdiObject* o)
{
    if (!o || o->stock) return;
    std::lock_guard<std::recursive_mutex> lock(reg().mutex);
    if (--o->refs > 0) return;
    reg().objects.erase(o);
    auto it = reg().tempObjects.find(o);
    if (it != reg().tempObjects.end()) {
        it->second->m_hObject = nullptr;
        reg().tempObjects.erase(it);
    }
    delete o;
}

DeviceContext* findDC(HDC h)
{
    if (!h) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(reg().mutex);
    return reg().dcs.count(h) ? reinterpret_cast<DeviceContext*>(h) : nullptr;
}

IconObject* findIcon(HICON h)
{
    if (!h) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(reg().mutex);
    return reg().icons.count(h) ? reinterpret_cast<IconObject*>(h) : nullptr;
}

HICON registerIcon(IconObject* icon)
{
    std::lock_guard<std::recursive_mutex> lock(reg().mutex);
    reg().icons.insert(icon);
    return reinterpret_cast<HICON>(icon);
}

// ---------------------------------------------------------------- pixels and colours

cairo_surface_t* newOpaqueSurface(int w, int h)
{
    cairo_surface_t* s = gdi_internal::NewArgbSurface(w, h);
    if (!s) return nullptr;
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    return s;
}

uint32_t* pixelRow(cairo_surface_t* s, int y)
{
    return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s));
}

// A premultiplied pixel as COLORREF (straight colour, alpha dropped).
COLORREF colorOfPixel(uint32_t p)
{
    uint32_t a = p >> 24;
    if (a == 0) return RGB(0, 0, 0);
    auto un = [a](uint32_t c) { return static_cast<BYTE>(std::min<uint32_t>(255, (c * 255 + a / 2) / a)); };
    return RGB(un((p >> 16) & 0xFF), un((p >> 8) & 0xFF), un(p & 0xFF));
}

uint32_t opaquePixel(COLORREF c)
{
    return 0xFF000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

void setSource(cairo_t* cr, COLORREF c)
{
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

// ---------------------------------------------------------------- stock objects

struct Stock {
    BitmapObject* bitmap;
    FontObject* font;
    PenObject* pen;
    BrushObject* brush;
};

PangoFontDescription* describeFont(const LOGFONT& lf);

Stock& stock()
{
    static Stock s = [] {
        LOGFONT lf;
        lf.lfHeight = -12;
        lf.lfWeight = FW_NORMAL;
        std::strcpy(lf.lfFaceName, "Sans");
        Stock st{new BitmapObject(newOpaqueSurface(1, 1), 1), new FontObject(lf, describeFont(lf)),
                 new PenObject(PS_SOLID, 1, RGB(0, 0, 0)), new BrushObject(RGB(255, 255, 255))};
        GdiObject* all[] = {st.bitmap, st.font, st.pen, st.brush};
        for (GdiObject* o : all) {
            o->stock = true;
            registerObject(o);
        }
        return st;
    }();
    return s;
}

// ---------------------------------------------------------------- fonts

std::string faceOf(const LOGFONT& lf)
{
    size_t n = strnlen(lf.lfFaceName, LF_FACESIZE);
    std::string face = gdi_internal::ValidUtf8(AnsiToUtf8(CString(lf.lfFaceName, static_cast<int>(n))).str());
    return face.empty() ? std::string("Sans") : face;
}

// The em size in pixels of a font whose cell (ascent + descent) is `cell` pixels.
double emForCell(PangoFontDescription* desc, int cell)
{
    pango_font_description_set_absolute_size(desc, cell * PANGO_SCALE);
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* ctx = pango_font_map_create_context(map);
    PangoFont* font = pango_font_map_load_font(map, ctx, desc);
    double em = cell;
    if (font) {
        PangoFontMetrics* m = pango_font_get_metrics(font, nullptr);
        int h = pango_font_metrics_get_ascent(m) + pango_font_metrics_get_descent(m);
        if (h > 0) em = cell * double(cell) * PANGO_SCALE / h;
        pango_font_metrics_unref(m);
        g_object_unref(font);
    }
    g_object_unref(ctx);
    return em;
}

PangoFontDescription* describeFont(const LOGFONT& lf)
{
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, faceOf(lf).c_str());
    int weight = lf.lfWeight <= 0 ? FW_NORMAL : std::min<LONG>(lf.lfWeight, 1000);
    pango_font_description_set_weight(desc, static_cast<PangoWeight>(std::max(100, weight)));
    pango_font_description_set_style(desc, lf.lfItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    double px = lf.lfHeight < 0 ? -double(lf.lfHeight) : lf.lfHeight > 0 ? emForCell(desc, lf.lfHeight) : 12.0;
    pango_font_description_set_absolute_size(desc, px * PANGO_SCALE);
    return desc;
}

// ---------------------------------------------------------------- DC helpers

cairo_surface_t* targetOf(DeviceContext* dc)
{
    return dc->memory ? dc->bitmap->surface : cairo_get_target(dc->cr);
}

unsigned nextGeneration()
{
    static std::atomic<unsigned> g{0};
    return ++g;
}

void attachBitmap(DeviceContext* dc, BitmapObject* bitmap)
{
    if (dc->cr) cairo_destroy(dc->cr);
    dc->bitmap = bitmap;
    dc->cr = cairo_create(bitmap->surface);
    dc->width = cairo_image_surface_get_width(bitmap->surface);
    dc->height = cairo_image_surface_get_height(bitmap->surface);
    dc->generation = nextGeneration();
}

void releaseState(DCState& s)
{
    release(s.bitmap);
    release(s.font);
    release(s.pen);
    release(s.brush);
}

void acquireState(DCState& s)
{
    acquire(s.bitmap);
    acquire(s.font);
    acquire(s.pen);
    acquire(s.brush);
}

HDC newDC(DeviceContext* dc)
{
    Stock& st = stock();
    dc->font = st.font;
    dc->pen = st.pen;
    dc->brush = st.brush;
    std::lock_guard<std::recursive_mutex> lock(reg().mutex);
    reg().dcs.insert(dc);
    return reinterpret_cast<HDC>(dc);
}

// A pixel of the DC's surface at (x, y) in its coordinates, or null.
uint32_t* pixelAt(DeviceContext* dc, int x, int y, cairo_surface_t** surface)
{
    cairo_surface_t* s = targetOf(dc);
    if (cairo_surface_get_type(s) != CAIRO_SURFACE_TYPE_IMAGE) return nullptr;
    double dx = x, dy = y;
    if (!dc->memory) cairo_user_to_device(dc->cr, &dx, &dy);
    int px = static_cast<int>(std::floor(dx)), py = static_cast<int>(std::floor(dy));
    if (px < 0 || py < 0 || px >= cairo_image_surface_get_width(s) || py >= cairo_image_surface_get_height(s))
        return nullptr;
    cairo_surface_flush(s);
    *surface = s;
    return pixelRow(s, py) + px;
}

void fillRect(DeviceContext* dc, double x, double y, double w, double h, COLORREF color)
{
    if (w < 0) { x += w; w = -w; }
    if (h < 0) { y += h; h = -h; }
    if (w == 0 || h == 0) return;
    cairo_t* cr = dc->cr;
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    setSource(cr, color);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    cairo_restore(cr);
}

// Strokes the current path with the DC's pen (nothing for a null pen).
void strokeWithPen(DeviceContext* dc)
{
    cairo_t* cr = dc->cr;
    if (dc->pen->style == PS_NULL) {
        cairo_new_path(cr);
        return;
    }
    setSource(cr, dc->pen->color);
    cairo_set_line_width(cr, std::max(1, dc->pen->width));
    cairo_stroke(cr);
}

// ---------------------------------------------------------------- text

// Removes '&' prefixes ("&&" is a literal '&'); the byte range of the
// character that followed the last single '&' goes to `underlineStart/End`.
std::string stripPrefixes(const std::string& text, int* underlineStart, int* underlineEnd)
{
    std::string out;
    *underlineStart = *underlineEnd = -1;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        if (i + 1 >= text.size()) break;
        if (text[i + 1] == '&') {
            out += '&';
            ++i;
            continue;
        }
        const char* next = g_utf8_next_char(text.c_str() + i + 1);
        *underlineStart = static_cast<int>(out.size());
        *underlineEnd = *underlineStart + static_cast<int>(next - (text.c_str() + i + 1));
    }
    return out;
}

PangoLayout* dcLayout(DeviceContext* dc, const std::string& utf8)
{
    return gdi_internal::NewTextLayout(dc->cr, dc->font->desc, dc->font->lf.lfUnderline != 0,
                                       dc->font->lf.lfStrikeOut != 0, utf8);
}

int drawText(DeviceContext* dc, const std::string& ansi, RECT* rc, UINT format)
{
    if (!dc || !rc) return 0;
    std::string text = gdi_internal::ValidUtf8(AnsiToUtf8(CString(ansi)).str());
    int ulStart = -1, ulEnd = -1;
    if (!(format & DT_NOPREFIX)) text = stripPrefixes(text, &ulStart, &ulEnd);
    const bool single = (format & DT_SINGLELINE) != 0;
    if (single) {
        std::string flat;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' || text[i] == '\n') {
                if (static_cast<int>(i) < ulStart) { --ulStart; --ulEnd; }
                continue;
            }
            flat += text[i];
        }
        text.swap(flat);
    }
    PangoLayout* layout = dcLayout(dc, text);
    if (ulStart >= 0) {
        PangoAttrList* attrs = pango_layout_get_attributes(layout);
        PangoAttribute* a = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
        a->start_index = ulStart;
        a->end_index = ulEnd;
        pango_attr_list_insert(attrs, a);
        pango_layout_context_changed(layout);
    }
    const int rcW = rc->right - rc->left, rcH = rc->bottom - rc->top;
    bool widthSet = false;
    if ((format & DT_WORDBREAK) && !single) {
        pango_layout_set_width(layout, std::max(0, rcW) * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        widthSet = true;
    }
    if (format & DT_END_ELLIPSIS) {
        pango_layout_set_width(layout, std::max(0, rcW) * PANGO_SCALE);
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        widthSet = true;
    }
    if (format & DT_CENTER) pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    else if (format & DT_RIGHT) pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT);

    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    const int w = logical.width, h = logical.height;

    if (format & DT_CALCRECT) {
        if (widthSet && !single && pango_layout_get_line_count(layout) > 1)
            rc->right = std::max<LONG>(rc->right, rc->left + w);
        else
            rc->right = rc->left + w;
        rc->bottom = rc->top + h;
        g_object_unref(layout);
        return h;
    }

    int x = rc->left;
    if (!widthSet) {
        if (format & DT_CENTER) x = rc->left + (rcW - w) / 2;
        else if (format & DT_RIGHT) x = rc->right - w;
        x -= logical.x;
    }
    int y = rc->top;
    if (single && (format & DT_VCENTER)) y = rc->top + (rcH - h) / 2;
    else if (single && (format & DT_BOTTOM)) y = rc->bottom - h;

    cairo_t* cr = dc->cr;
    cairo_save(cr);
    if (!(format & DT_NOCLIP)) {
        cairo_rectangle(cr, rc->left, rc->top, rcW, rcH);
        cairo_clip(cr);
    }
    if (dc->bkMode == OPAQUE && w > 0) {
        setSource(cr, dc->bk);
        cairo_rectangle(cr, x + logical.x, y + logical.y, w, h);
        cairo_fill(cr);
    }
    setSource(cr, dc->text);
    cairo_move_to(cr, x, y - logical.y);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
    return single && (format & (DT_VCENTER | DT_BOTTOM)) ? (y - rc->top) + h : h;
}

CSize textExtent(DeviceContext* dc, const std::string& ansi)
{
    if (!dc) return CSize(0, 0);
    PangoLayout* layout = dcLayout(dc, gdi_internal::ValidUtf8(AnsiToUtf8(CString(ansi)).str()));
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return CSize(logical.width, logical.height);
}

std::string ansiOf(LPCTSTR text, int count)
{
    if (!text) return std::string();
    return count < 0 ? std::string(text) : std::string(text, strnlen(text, static_cast<size_t>(count)));
}

// ---------------------------------------------------------------- blits

BOOL stretchBlt(DeviceContext* d, int x, int y, int w, int h, DeviceContext* s, int sx, int sy, int sw, int sh,
                DWORD rop)
{
    if (!d || !s || rop != SRCCOPY) return FALSE;
    if (w == 0 || h == 0 || sw == 0 || sh == 0) return TRUE;
    cairo_surface_t* src = targetOf(s);
    double ox = 0, oy = 0;
    if (!s->memory) cairo_user_to_device(s->cr, &ox, &oy);
    cairo_surface_t* copy = nullptr;
    if (src == targetOf(d)) {  // overlapping copy within one surface: go through a snapshot
        copy = gdi_internal::CopySurface(src);
        if (!copy) return FALSE;
        src = copy;
    }
    int srcW = cairo_image_surface_get_width(src), srcH = cairo_image_surface_get_height(src);
    cairo_t* cr = d->cr;
    cairo_save(cr);
    cairo_rectangle(cr, std::min(x, x + w), std::min(y, y + h), std::abs(w), std::abs(h));
    cairo_clip(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, double(w) / sw, double(h) / sh);
    cairo_translate(cr, -(sx + ox), -(sy + oy));
    // Pixels the source does not have stay as they were.
    cairo_rectangle(cr, 0, 0, srcW, srcH);
    cairo_clip(cr);
    cairo_set_source_surface(cr, src, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_restore(cr);
    if (copy) cairo_surface_destroy(copy);
    return TRUE;
}

void paintIcon(cairo_t* cr, cairo_surface_t* surface, int x, int y, bool disabled)
{
    cairo_save(cr);
    if (!disabled) {
        cairo_set_source_surface(cr, surface, x, y);
        cairo_paint(cr);
    } else {
        // Grey shades of the icon at half strength.
        cairo_surface_t* grey = gdi_internal::CopySurface(surface);
        if (grey) {
            int w = cairo_image_surface_get_width(grey), h = cairo_image_surface_get_height(grey);
            for (int r = 0; r < h; ++r) {
                uint32_t* p = pixelRow(grey, r);
                for (int c = 0; c < w; ++c) {
                    uint32_t v = p[c], l = (((v >> 16) & 0xFF) * 3 + ((v >> 8) & 0xFF) * 6 + (v & 0xFF)) / 10;
                    p[c] = (v & 0xFF000000u) | (l << 16) | (l << 8) | l;
                }
            }
            cairo_surface_mark_dirty(grey);
            cairo_set_source_surface(cr, grey, x, y);
            cairo_paint_with_alpha(cr, 0.5);
            cairo_surface_destroy(grey);
        }
    }
    cairo_restore(cr);
}

template <class T>
T* tempWrapper(HGDIOBJ h)
{
    if (!h) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(reg().mutex);
    auto it = reg().tempObjects.find(h);
    if (it != reg().tempObjects.end()) return static_cast<T*>(it->second.get());
    if (!reg().objects.count(h)) return nullptr;
    auto wrapper = std::make_unique<T>();
    wrapper->m_hObject = h;
    T* p = wrapper.get();
    reg().tempObjects.emplace(h, std::move(wrapper));
    return p;
}

CGdiObject* wrapperOf(HGDIOBJ h)
{
    GdiObject* o = findObject(h, true);
    if (!o) return nullptr;
    switch (o->kind) {
    case Kind::Bitmap: return tempWrapper<CBitmap>(h);
    case Kind::Brush: return tempWrapper<CBrush>(h);
    case Kind::Pen: return tempWrapper<CPen>(h);
    case Kind::Font: return tempWrapper<CFont>(h);
    case Kind::Region: return tempWrapper<CRgn>(h);
    }
    return nullptr;
}

}  // namespace

// ---------------------------------------------------------------- layer-internal seam

namespace gdi_internal {

std::string ValidUtf8(const std::string& text)
{
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
    gchar* fixed = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string out(fixed);
    g_free(fixed);
    return out;
}

PangoLayout* NewTextLayout(cairo_t* cr, const PangoFontDescription* font, bool underline, bool strikeOut,
                           const std::string& text)
{
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoContext* ctx = pango_layout_get_context(layout);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    pango_cairo_context_set_font_options(ctx, options);
    cairo_font_options_destroy(options);
    pango_cairo_context_set_resolution(ctx, 96);
    pango_layout_context_changed(layout);
    pango_layout_set_font_description(layout, font);
    PangoAttrList* attrs = pango_attr_list_new();
    if (underline) pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (strikeOut) pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    return layout;
}

cairo_surface_t* NewArgbSurface(int width, int height)
{
    if (width <= 0 || height <= 0) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return s;
}

cairo_surface_t* CopySurface(cairo_surface_t* surface)
{
    if (!surface || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return nullptr;
    cairo_surface_t* s =
        NewArgbSurface(cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface));
    if (!s) return nullptr;
    cairo_t* cr = cairo_create(s);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    return s;
}

}  // namespace gdi_internal

HDC CreateCairoDC(cairo_t* cr, int width, int height)
{
    if (!cr) return nullptr;
    auto* dc = new DeviceContext;
    dc->cr = cairo_reference(cr);
    dc->width = width;
    dc->height = height;
    dc->bitmap = nullptr;
    dc->generation = nextGeneration();
    return newDC(dc);
}

void DeleteCairoDC(HDC dc)
{
    DeleteDC(dc);
}

cairo_t* CairoOf(HDC dc)
{
    DeviceContext* d = findDC(dc);
    return d ? d->cr : nullptr;
}

cairo_surface_t* SurfaceOfBitmap(HBITMAP bitmap)
{
    BitmapObject* b = findAs<BitmapObject>(bitmap, Kind::Bitmap);
    return b ? b->surface : nullptr;
}

HBITMAP BitmapFromSurface(cairo_surface_t* surface)
{
    if (!surface || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return nullptr;
    return static_cast<HBITMAP>(registerObject(new BitmapObject(cairo_surface_reference(surface), 32)));
}

const cairo_region_t* RegionOf(HRGN region)
{
    RegionObject* r = findAs<RegionObject>(region, Kind::Region);
    return r ? r->region : nullptr;
}

cairo_surface_t* IconSurface(HICON icon, int* hotX, int* hotY)
{
    IconObject* i = findIcon(icon);
    if (!i) return nullptr;
    if (hotX) *hotX = i->hotX;
    if (hotY) *hotY = i->hotY;
    return i->surface;
}

bool SolidBrushColor(HBRUSH brush, COLORREF* color)
{
    BrushObject* b = findAs<BrushObject>(brush, Kind::Brush);
    if (!b) return false;
    if (color) *color = b->color;
    return true;
}

// ---------------------------------------------------------------- handle functions

BOOL DeleteObject(HGDIOBJ object)
{
    std::lock_guard<std::recursive_mutex> lock(reg().mutex);
    GdiObject* o = findObject(object);
    if (!o) return FALSE;
    if (o->stock) return TRUE;
    o->deleted = true;
    release(o);
    return TRUE;
}

int GetObject(HGDIOBJ object, int size, LPVOID buffer)
{
    GdiObject* o = findObject(object);
    if (!o) return 0;
    if (o->kind == Kind::Bitmap) {
        if (!buffer) return sizeof(BITMAP);
        if (size < static_cast<int>(sizeof(BITMAP))) return 0;
        auto* b = static_cast<BitmapObject*>(o);
        BITMAP info;
        info.bmWidth = cairo_image_surface_get_width(b->surface);
        info.bmHeight = cairo_image_surface_get_height(b->surface);
        info.bmWidthBytes = b->bpp == 1 ? (info.bmWidth + 15) / 16 * 2 : info.bmWidth * 4;
        info.bmPlanes = 1;
        info.bmBitsPixel = static_cast<WORD>(b->bpp);
        std::memcpy(buffer, &info, sizeof info);
        return sizeof(BITMAP);
    }
    if (o->kind == Kind::Font) {
        if (!buffer) return sizeof(LOGFONT);
        if (size < static_cast<int>(sizeof(LOGFONT))) return 0;
        std::memcpy(buffer, &static_cast<FontObject*>(o)->lf, sizeof(LOGFONT));
        return sizeof(LOGFONT);
    }
    return 0;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object)
{
    DeviceContext* dc = findDC(hdc);
    GdiObject* o = findObject(object);
    if (!dc || !o) return nullptr;
    GdiObject* previous = nullptr;
    switch (o->kind) {
    case Kind::Bitmap:
        if (!dc->memory) return nullptr;
        previous = dc->bitmap;
        acquire(o);
        attachBitmap(dc, static_cast<BitmapObject*>(o));
        break;
    case Kind::Font:
        previous = dc->font;
        acquire(o);
        dc->font = static_cast<FontObject*>(o);
        break;
    case Kind::Pen:
        previous = dc->pen;
        acquire(o);
        dc->pen = static_cast<PenObject*>(o);
        break;
    case Kind::Brush:
        previous = dc->brush;
        acquire(o);
        dc->brush = static_cast<BrushObject*>(o);
        break;
    case Kind::Region:
        return nullptr;
    }
    HGDIOBJ result = previous;
    release(previous);
    return result;
}

HDC CreateCompatibleDC(HDC)
{
    auto* dc = new DeviceContext;
    dc->memory = true;
    attachBitmap(dc, stock().bitmap);
    return newDC(dc);
}

BOOL DeleteDC(HDC hdc)
{
    std::unique_ptr<CDC> wrapper;
    DeviceContext* dc = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(reg().mutex);
        if (!reg().dcs.erase(hdc)) return FALSE;
        dc = reinterpret_cast<DeviceContext*>(hdc);
        auto it = reg().tempDCs.find(hdc);
        if (it != reg().tempDCs.end()) {
            it->second->m_hDC = nullptr;
            wrapper = std::move(it->second);
            reg().tempDCs.erase(it);
        }
    }
    for (DCState& s : dc->saved) releaseState(s);
    if (dc->memory) release(dc->bitmap);
    dc->bitmap = nullptr;
    releaseState(*dc);
    cairo_destroy(dc->cr);
    delete dc;
    return TRUE;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height)
{
    if (width < 0 || height < 0) return nullptr;
    cairo_surface_t* s = newOpaqueSurface(std::max(width, 1), std::max(height, 1));
    return s ? static_cast<HBITMAP>(registerObject(new BitmapObject(s, 32))) : nullptr;
}

HBITMAP CreateBitmap(int width, int height, UINT, UINT bitsPerPixel, const void* bits)
{
    if (width <= 0 || height <= 0) return nullptr;
    if (bitsPerPixel != 1 && bitsPerPixel != 24 && bitsPerPixel != 32) return nullptr;
    cairo_surface_t* s = newOpaqueSurface(width, height);
    if (!s) return nullptr;
    if (bits) {
        const auto* src = static_cast<const BYTE*>(bits);
        cairo_surface_flush(s);
        const int stride = bitsPerPixel == 1 ? (width + 15) / 16 * 2 : bitsPerPixel == 24 ? (width * 3 + 1) / 2 * 2
                                                                                          : width * 4;
        bool anyAlpha = false;
        if (bitsPerPixel == 32)
            for (int i = 0; i < width * height && !anyAlpha; ++i) anyAlpha = src[i * 4 + 3] != 0;
        for (int y = 0; y < height; ++y) {
            const BYTE* row = src + y * stride;
            uint32_t* out = pixelRow(s, y);
            for (int x = 0; x < width; ++x) {
                if (bitsPerPixel == 1) {
                    out[x] = (row[x / 8] & (0x80 >> (x % 8))) ? 0xFFFFFFFFu : 0xFF000000u;
                } else if (bitsPerPixel == 24) {
                    out[x] = opaquePixel(RGB(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]));
                } else {
                    const BYTE* p = row + x * 4;
                    uint32_t a = anyAlpha ? p[3] : 255;
                    auto pre = [a](uint32_t c) { return (c * a + 127) / 255; };
                    out[x] = (a << 24) | (pre(p[2]) << 16) | (pre(p[1]) << 8) | pre(p[0]);
                }
            }
        }
        cairo_surface_mark_dirty(s);
    }
    return static_cast<HBITMAP>(registerObject(new BitmapObject(s, static_cast<int>(bitsPerPixel == 1 ? 1 : 32))));
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    return static_cast<HBRUSH>(registerObject(new BrushObject(color & 0xFFFFFF)));
}

HPEN CreatePen(int style, int width, COLORREF color)
{
    if (style != PS_SOLID && style != PS_NULL) style = PS_SOLID;
    return static_cast<HPEN>(registerObject(new PenObject(style, std::max(1, width), color & 0xFFFFFF)));
}

HFONT CreateFontIndirect(const LOGFONT* font)
{
    if (!font) return nullptr;
    LOGFONT lf = *font;
    lf.lfFaceName[LF_FACESIZE - 1] = '\0';
    return static_cast<HFONT>(registerObject(new FontObject(lf, describeFont(lf))));
}

HRGN CreateRectRgn(int left, int top, int right, int bottom)
{
    cairo_rectangle_int_t r{std::min(left, right), std::min(top, bottom), std::abs(right - left),
                            std::abs(bottom - top)};
    cairo_region_t* region = r.width > 0 && r.height > 0 ? cairo_region_create_rectangle(&r) : cairo_region_create();
    return static_cast<HRGN>(registerObject(new RegionObject(region)));
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height)
{
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    // The right and bottom edges are outside the region.
    const int r = right - 1, b = bottom - 1;
    cairo_region_t* region = cairo_region_create();
    if (r > left && b > top) {
        double ew = std::min(std::abs(width), r - left), eh = std::min(std::abs(height), b - top);
        if (ew < 2 || eh < 2) {
            cairo_rectangle_int_t rect{left, top, r - left, b - top};
            cairo_region_union_rectangle(region, &rect);
        } else {
            const double a = ew / 2, bb = eh / 2;
            const double cxL = left + a, cxR = r - a, cyT = top + bb, cyB = b - bb;
            for (int y = top; y < b; ++y) {
                const double yc = y + 0.5;
                const double dy = yc < cyT ? cyT - yc : yc > cyB ? yc - cyB : 0.0;
                int x0 = left, x1 = r;
                if (dy > 0) {
                    const double dx = a * std::sqrt(std::max(0.0, 1.0 - (dy / bb) * (dy / bb)));
                    x0 = std::max(left, static_cast<int>(std::ceil(cxL - dx - 0.5)));
                    x1 = std::min(r, static_cast<int>(std::floor(cxR + dx - 0.5)) + 1);
                }
                if (x1 > x0) {
                    cairo_rectangle_int_t rect{x0, y, x1 - x0, 1};
                    cairo_region_union_rectangle(region, &rect);
                }
            }
        }
    }
    return static_cast<HRGN>(registerObject(new RegionObject(region)));
}

BOOL PtInRegion(HRGN region, int x, int y)
{
    RegionObject* r = findAs<RegionObject>(region, Kind::Region);
    return r && cairo_region_contains_point(r->region, x, y) ? TRUE : FALSE;
}

int GetRgnBox(HRGN region, LPRECT rect)
{
    RegionObject* r = findAs<RegionObject>(region, Kind::Region);
    if (!r || !rect) return RGN_ERROR;
    cairo_rectangle_int_t e;
    cairo_region_get_extents(r->region, &e);
    *rect = CRect(e.x, e.y, e.x + e.width, e.y + e.height);
    int n = cairo_region_num_rectangles(r->region);
    return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

// ---------------------------------------------------------------- icons

BOOL GetIconInfo(HICON icon, PICONINFO info)
{
    IconObject* i = findIcon(icon);
    if (!i || !info) return FALSE;
    cairo_surface_t* color = gdi_internal::CopySurface(i->surface);
    if (!color) return FALSE;
    const int w = cairo_image_surface_get_width(color), h = cairo_image_surface_get_height(color);
    cairo_surface_t* mask = newOpaqueSurface(w, h);
    if (!mask) {
        cairo_surface_destroy(color);
        return FALSE;
    }
    cairo_surface_flush(mask);
    for (int y = 0; y < h; ++y) {
        const uint32_t* c = pixelRow(color, y);
        uint32_t* m = pixelRow(mask, y);
        for (int x = 0; x < w; ++x) m[x] = (c[x] >> 24) == 0 ? 0xFFFFFFFFu : 0xFF000000u;
    }
    cairo_surface_mark_dirty(mask);
    info->fIcon = i->isIcon;
    info->xHotspot = static_cast<DWORD>(i->hotX);
    info->yHotspot = static_cast<DWORD>(i->hotY);
    info->hbmColor = static_cast<HBITMAP>(registerObject(new BitmapObject(color, 32)));
    info->hbmMask = static_cast<HBITMAP>(registerObject(new BitmapObject(mask, 1)));
    return TRUE;
}

HICON CreateIconIndirect(PICONINFO info)
{
    if (!info) return nullptr;
    BitmapObject* color = findAs<BitmapObject>(info->hbmColor, Kind::Bitmap);
    BitmapObject* mask = findAs<BitmapObject>(info->hbmMask, Kind::Bitmap);
    if (!color) return nullptr;
    cairo_surface_t* s = gdi_internal::CopySurface(color->surface);
    if (!s) return nullptr;
    const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    if (mask) {
        cairo_surface_flush(mask->surface);
        const int mw = cairo_image_surface_get_width(mask->surface);
        const int mh = cairo_image_surface_get_height(mask->surface);
        for (int y = 0; y < h && y < mh; ++y) {
            uint32_t* c = pixelRow(s, y);
            const uint32_t* m = pixelRow(mask->surface, y);
            for (int x = 0; x < w && x < mw; ++x)
                if (GetRValue(colorOfPixel(m[x])) >= 128) c[x] = 0;  // white mask: transparent
        }
        cairo_surface_mark_dirty(s);
    }
    auto* icon = new IconObject;
    icon->surface = s;
    icon->isIcon = info->fIcon;
    icon->hotX = info->fIcon ? w / 2 : static_cast<int>(info->xHotspot);
    icon->hotY = info->fIcon ? h / 2 : static_cast<int>(info->yHotspot);
    return registerIcon(icon);
}

BOOL DestroyIcon(HICON icon)
{
    {
        std::lock_guard<std::recursive_mutex> lock(reg().mutex);
        if (!reg().icons.erase(icon)) return FALSE;
    }
    delete reinterpret_cast<IconObject*>(icon);
    return TRUE;
}

HICON CopyIcon(HICON icon)
{
    IconObject* i = findIcon(icon);
    if (!i) return nullptr;
    cairo_surface_t* s = gdi_internal::CopySurface(i->surface);
    if (!s) return nullptr;
    auto* copy = new IconObject;
    copy->surface = s;
    copy->hotX = i->hotX;
    copy->hotY = i->hotY;
    copy->isIcon = i->isIcon;
    return registerIcon(copy);
}

BOOL DrawIcon(HDC hdc, int x, int y, HICON icon)
{
    DeviceContext* dc = findDC(hdc);
    IconObject* i = findIcon(icon);
    if (!dc || !i) return FALSE;
    paintIcon(dc->cr, i->surface, x, y, false);
    return TRUE;
}

// ---------------------------------------------------------------- DC functions

int GetDeviceCaps(HDC hdc, int index)
{
    DeviceContext* dc = findDC(hdc);
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case HORZRES: return dc ? dc->width : 0;
    case VERTRES: return dc ? dc->height : 0;
    }
    return 0;
}

COLORREF GetPixel(HDC hdc, int x, int y)
{
    DeviceContext* dc = findDC(hdc);
    cairo_surface_t* s = nullptr;
    uint32_t* p = dc ? pixelAt(dc, x, y, &s) : nullptr;
    return p ? colorOfPixel(*p) : CLR_INVALID;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color)
{
    DeviceContext* dc = findDC(hdc);
    cairo_surface_t* s = nullptr;
    uint32_t* p = dc ? pixelAt(dc, x, y, &s) : nullptr;
    if (!p) return CLR_INVALID;
    *p = opaquePixel(color);
    cairo_surface_mark_dirty(s);
    return color & 0xFFFFFF;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop)
{
    return stretchBlt(findDC(dest), x, y, width, height, findDC(src), srcX, srcY, width, height, rop);
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush)
{
    DeviceContext* dc = findDC(hdc);
    BrushObject* b = findAs<BrushObject>(brush, Kind::Brush);
    if (!dc || !b || !rect) return 0;
    fillRect(dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, b->color);
    return 1;
}

COLORREF SetTextColor(HDC hdc, COLORREF color)
{
    DeviceContext* dc = findDC(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->text;
    dc->text = color & 0xFFFFFF;
    return old;
}

COLORREF GetTextColor(HDC hdc)
{
    DeviceContext* dc = findDC(hdc);
    return dc ? dc->text : CLR_INVALID;
}

COLORREF SetBkColor(HDC hdc, COLORREF color)
{
    DeviceContext* dc = findDC(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->bk;
    dc->bk = color & 0xFFFFFF;
    return old;
}

COLORREF GetBkColor(HDC hdc)
{
    DeviceContext* dc = findDC(hdc);
    return dc ? dc->bk : CLR_INVALID;
}

int SetBkMode(HDC hdc, int mode)
{
    DeviceContext* dc = findDC(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

int GetBkMode(HDC hdc)
{
    DeviceContext* dc = findDC(hdc);
    return dc ? dc->bkMode : 0;
}

// ---------------------------------------------------------------- CGdiObject and kin

CGdiObject::~CGdiObject()
{
    DeleteObject();
}

BOOL CGdiObject::Attach(HGDIOBJ object)
{
    if (!object || m_hObject) return FALSE;
    m_hObject = object;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach()
{
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject) return FALSE;
    return ::DeleteObject(Detach());
}

int CGdiObject::GetObject(int size, LPVOID buffer) const
{
    return ::GetObject(m_hObject, size, buffer);
}

CBitmap* CBitmap::FromHandle(HBITMAP bitmap)
{
    return tempWrapper<CBitmap>(bitmap);
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height)
{
    return Attach(::CreateCompatibleBitmap(dc ? dc->m_hDC : nullptr, width, height));
}

BOOL CBitmap::CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits)
{
    return Attach(::CreateBitmap(width, height, planes, bitsPerPixel, bits));
}

BOOL CBitmap::LoadBitmap(UINT id)
{
    if (m_hObject || id > 0xFFFF) return FALSE;
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC found = FindResource(module, MAKEINTRESOURCE(id), RT_BITMAP);
    DWORD size = found ? SizeofResource(module, found) : 0;
    const void* data = size ? LockResource(LoadResource(module, found)) : nullptr;
    if (!data) return FALSE;
    Gdiplus::Bitmap image(data, size);
    if (image.GetLastStatus() != Gdiplus::Ok) return FALSE;
    cairo_surface_t* s = gdi_internal::CopySurface(static_cast<cairo_surface_t*>(image.NativeSurface()));
    if (!s) return FALSE;
    return Attach(static_cast<HBITMAP>(registerObject(new BitmapObject(s, 32))));
}

int CBitmap::GetBitmap(BITMAP* info) const
{
    return ::GetObject(m_hObject, sizeof(BITMAP), info);
}

CBrush* CBrush::FromHandle(HBRUSH brush)
{
    return tempWrapper<CBrush>(brush);
}

BOOL CBrush::CreateSolidBrush(COLORREF color)
{
    return Attach(::CreateSolidBrush(color));
}

CPen* CPen::FromHandle(HPEN pen)
{
    return tempWrapper<CPen>(pen);
}

BOOL CPen::CreatePen(int style, int width, COLORREF color)
{
    return Attach(::CreatePen(style, width, color));
}

CFont* CFont::FromHandle(HFONT font)
{
    return tempWrapper<CFont>(font);
}

BOOL CFont::CreatePointFont(int pointSize, LPCTSTR faceName, CDC*)
{
    LOGFONT lf;
    lf.lfHeight = -(pointSize * 96 / 720);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    if (faceName) std::strncpy(lf.lfFaceName, faceName, LF_FACESIZE - 1);
    return CreateFontIndirect(&lf);
}

BOOL CFont::CreateFontIndirect(const LOGFONT* font)
{
    return Attach(::CreateFontIndirect(font));
}

int CFont::GetLogFont(LOGFONT* font) const
{
    return ::GetObject(m_hObject, sizeof(LOGFONT), font);
}

CRgn* CRgn::FromHandle(HRGN region)
{
    return tempWrapper<CRgn>(region);
}

BOOL CRgn::CreateRectRgn(int left, int top, int right, int bottom)
{
    return Attach(::CreateRectRgn(left, top, right, bottom));
}

BOOL CRgn::CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height)
{
    return Attach(::CreateRoundRectRgn(left, top, right, bottom, width, height));
}

BOOL CRgn::PtInRegion(int x, int y) const
{
    return ::PtInRegion(static_cast<HRGN>(m_hObject), x, y);
}

int CRgn::GetRgnBox(LPRECT rect) const
{
    return ::GetRgnBox(static_cast<HRGN>(m_hObject), rect);
}

// ---------------------------------------------------------------- CDC

CDC::~CDC()
{
    if (m_hDC) ::DeleteDC(Detach());
}

CDC* CDC::FromHandle(HDC dc)
{
    if (!dc) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(reg().mutex);
    if (!reg().dcs.count(dc)) return nullptr;
    auto& temp = reg().tempDCs;
    auto it = temp.find(dc);
    if (it != temp.end()) return it->second.get();
    auto wrapper = std::make_unique<CDC>();
    wrapper->m_hDC = dc;
    CDC* p = wrapper.get();
    temp.emplace(dc, std::move(wrapper));
    return p;
}

BOOL CDC::Attach(HDC dc)
{
    if (!dc || m_hDC) return FALSE;
    m_hDC = dc;
    return TRUE;
}

HDC CDC::Detach()
{
    HDC h = m_hDC;
    m_hDC = nullptr;
    return h;
}

BOOL CDC::CreateCompatibleDC(CDC* dc)
{
    return Attach(::CreateCompatibleDC(dc ? dc->m_hDC : nullptr));
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC) return FALSE;
    return ::DeleteDC(Detach());
}

CBitmap* CDC::SelectObject(CBitmap* bitmap)
{
    return bitmap ? CBitmap::FromHandle(static_cast<HBITMAP>(::SelectObject(m_hDC, bitmap->m_hObject))) : nullptr;
}

CFont* CDC::SelectObject(CFont* font)
{
    return font ? CFont::FromHandle(static_cast<HFONT>(::SelectObject(m_hDC, font->m_hObject))) : nullptr;
}

CPen* CDC::SelectObject(CPen* pen)
{
    return pen ? CPen::FromHandle(static_cast<HPEN>(::SelectObject(m_hDC, pen->m_hObject))) : nullptr;
}

CBrush* CDC::SelectObject(CBrush* brush)
{
    return brush ? CBrush::FromHandle(static_cast<HBRUSH>(::SelectObject(m_hDC, brush->m_hObject))) : nullptr;
}

CGdiObject* CDC::SelectObject(CGdiObject* object)
{
    return object ? wrapperOf(::SelectObject(m_hDC, object->m_hObject)) : nullptr;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object)
{
    return ::SelectObject(m_hDC, object);
}

CFont* CDC::GetCurrentFont() const
{
    DeviceContext* dc = findDC(m_hDC);
    return dc ? CFont::FromHandle(static_cast<HFONT>(static_cast<HGDIOBJ>(dc->font))) : nullptr;
}

int CDC::SaveDC()
{
    DeviceContext* dc = findDC(m_hDC);
    if (!dc) return 0;
    DCState s = *dc;
    acquireState(s);
    dc->saved.push_back(s);
    cairo_save(dc->cr);
    return static_cast<int>(dc->saved.size());
}

BOOL CDC::RestoreDC(int savedDC)
{
    DeviceContext* dc = findDC(m_hDC);
    if (!dc || dc->saved.empty()) return FALSE;
    const int n = static_cast<int>(dc->saved.size());
    const int level = savedDC < 0 ? n + 1 + savedDC : savedDC;
    if (level < 1 || level > n) return FALSE;
    while (static_cast<int>(dc->saved.size()) > level) {
        if (dc->saved.back().generation == dc->generation) cairo_restore(dc->cr);
        releaseState(dc->saved.back());
        dc->saved.pop_back();
    }
    DCState s = dc->saved.back();
    dc->saved.pop_back();
    if (s.generation == dc->generation) cairo_restore(dc->cr);
    // The saved state's references move to the DC; the current ones go.
    DCState current = *dc;
    if (dc->memory && s.bitmap != current.bitmap) attachBitmap(dc, s.bitmap);
    unsigned generation = dc->generation;
    static_cast<DCState&>(*dc) = s;
    dc->generation = generation;
    releaseState(current);
    return TRUE;
}

int CDC::IntersectClipRect(int left, int top, int right, int bottom)
{
    DeviceContext* dc = findDC(m_hDC);
    if (!dc) return RGN_ERROR;
    cairo_rectangle(dc->cr, left, top, right - left, bottom - top);
    cairo_clip(dc->cr);
    double x1, y1, x2, y2;
    cairo_clip_extents(dc->cr, &x1, &y1, &x2, &y2);
    return x2 > x1 && y2 > y1 ? SIMPLEREGION : NULLREGION;
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color)
{
    if (rect) FillSolidRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, color);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color)
{
    DeviceContext* dc = findDC(m_hDC);
    if (!dc) return;
    dc->bk = color & 0xFFFFFF;
    fillRect(dc, x, y, cx, cy, color);
}

void CDC::FillRect(LPCRECT rect, CBrush* brush)
{
    if (brush) ::FillRect(m_hDC, rect, static_cast<HBRUSH>(brush->m_hObject));
}

void CDC::Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight)
{
    if (rect)
        Draw3dRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, topLeft, bottomRight);
}

void CDC::Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight)
{
    DeviceContext* dc = findDC(m_hDC);
    if (!dc) return;
    // Top and left edges stop short of the far corners, which belong to the
    // right and bottom edges.
    fillRect(dc, x, y, cx - 1, 1, topLeft);
    fillRect(dc, x, y, 1, cy - 1, topLeft);
    fillRect(dc, x + cx - 1, y, 1, cy, bottomRight);
    fillRect(dc, x, y + cy - 1, cx, 1, bottomRight);
    dc->bk = bottomRight & 0xFFFFFF;
}

BOOL CDC::Rectangle(int left, int top, int right, int bottom)
{
    DeviceContext* dc = findDC(m_hDC);
    if (!dc) return FALSE;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    const bool nullPen = dc->pen->style == PS_NULL;
    // Without a pen the filled area is one pixel smaller, as on the original system.
    fillRect(dc, left, top, right - left - (nullPen ? 1 : 0), bottom - top - (nullPen ? 1 : 0), dc->brush->color);
    if (nullPen || right - left < 1 || bottom - top < 1) return TRUE;
    cairo_t* cr = dc->cr;
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    const double inset = std::max(1, dc->pen->width) / 2.0;
    cairo_rectangle(cr, left + inset, top + inset, right - left - 2 * inset, bottom - top - 2 * inset);
    strokeWithPen(dc);
    cairo_restore(cr);
    return TRUE;
}

BOOL CDC::RoundRect(int left, int top, int right, int bottom, int width, int height)
{
    DeviceContext* dc = findDC(m_hDC);
    if (!dc) return FALSE;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    const double x = left + 0.5, y = top + 0.5, w = right - left - 1, h = bottom - top - 1;
    if (w <= 0 || h <= 0) return TRUE;
    const double rx = std::min(std::abs(width) / 2.0, w / 2), ry = std::min(std::abs(height) / 2.0, h / 2);
    cairo_t* cr = dc->cr;
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    auto corner = [cr](double cx, double cy, double rx, double ry, double a0) {
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, std::max(rx, 1e-3), std::max(ry, 1e-3));
        cairo_arc(cr, 0, 0, 1, a0, a0 + M_PI / 2);
        cairo_restore(cr);
    };
    cairo_new_path(cr);
    corner(x + w - rx, y + ry, rx, ry, -M_PI / 2);
    corner(x + w - rx, y + h - ry, rx, ry, 0);
    corner(x + rx, y + h - ry, rx, ry, M_PI / 2);
    corner(x + rx, y + ry, rx, ry, M_PI);
    cairo_close_path(cr);
    setSource(cr, dc->brush->color);
    cairo_fill_preserve(cr);
    strokeWithPen(dc);
    cairo_restore(cr);
    return TRUE;
}

CPoint CDC::MoveTo(int x, int y)
{
    DeviceContext* dc = findDC(m_hDC);
    if (!dc) return CPoint();
    CPoint old(dc->pos);
    dc->pos = CPoint(x, y);
    return old;
}

BOOL CDC::LineTo(int x, int y)
{
    DeviceContext* dc = findDC(m_hDC);
    if (!dc) return FALSE;
    const int x0 = dc->pos.x, y0 = dc->pos.y;
    dc->pos = CPoint(x, y);
    if (dc->pen->style == PS_NULL || (x0 == x && y0 == y)) return TRUE;
    cairo_t* cr = dc->cr;
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    // Pixel centres are at +0.5; the end point itself is not drawn.
    if (y0 == y) {
        cairo_move_to(cr, x0 + (x > x0 ? 0.0 : 1.0), y + 0.5);
        cairo_line_to(cr, x + (x > x0 ? 0.0 : 1.0), y + 0.5);
    } else if (x0 == x) {
        cairo_move_to(cr, x + 0.5, y0 + (y > y0 ? 0.0 : 1.0));
        cairo_line_to(cr, x + 0.5, y + (y > y0 ? 0.0 : 1.0));
    } else {
        cairo_move_to(cr, x0 + 0.5, y0 + 0.5);
        cairo_line_to(cr, x + 0.5, y + 0.5);
    }
    strokeWithPen(dc);
    cairo_restore(cr);
    return TRUE;
}

COLORREF CDC::SetTextColor(COLORREF color)
{
    return ::SetTextColor(m_hDC, color);
}

COLORREF CDC::GetTextColor() const
{
    return ::GetTextColor(m_hDC);
}

COLORREF CDC::SetBkColor(COLORREF color)
{
    return ::SetBkColor(m_hDC, color);
}

COLORREF CDC::GetBkColor() const
{
    return ::GetBkColor(m_hDC);
}

int CDC::SetBkMode(int mode)
{
    return ::SetBkMode(m_hDC, mode);
}

int CDC::GetBkMode() const
{
    return ::GetBkMode(m_hDC);
}

int CDC::DrawText(LPCTSTR text, int count, LPRECT rect, UINT format)
{
    return drawText(findDC(m_hDC), ansiOf(text, count), rect, format);
}

int CDC::DrawText(const CString& text, LPRECT rect, UINT format)
{
    return drawText(findDC(m_hDC), text.str(), rect, format);
}

BOOL CDC::TextOut(int x, int y, LPCTSTR text, int count)
{
    DeviceContext* dc = findDC(m_hDC);
    if (!dc) return FALSE;
    RECT r{x, y, x, y};
    drawText(dc, ansiOf(text, count), &r, DT_NOPREFIX | DT_SINGLELINE | DT_NOCLIP);
    return TRUE;
}

BOOL CDC::TextOut(int x, int y, const CString& text)
{
    return TextOut(x, y, text.GetString(), text.GetLength());
}

CSize CDC::GetTextExtent(LPCTSTR text, int count) const
{
    return textExtent(findDC(m_hDC), ansiOf(text, count));
}

CSize CDC::GetTextExtent(const CString& text) const
{
    return textExtent(findDC(m_hDC), text.str());
}

BOOL CDC::DrawState(CPoint point, CSize size, LPCTSTR text, UINT flags, BOOL prefixText, int textLength, CBrush*)
{
    DeviceContext* dc = findDC(m_hDC);
    if (!dc || !text) return FALSE;
    std::string ansi = ansiOf(text, textLength > 0 ? textLength : -1);
    const UINT kind = flags & 0x000F;
    const bool prefix = kind == DST_PREFIXTEXT || (kind != DST_TEXT && prefixText);
    if (size.cx == 0 || size.cy == 0) size = textExtent(dc, ansi);
    RECT r{point.x, point.y, point.x + size.cx, point.y + size.cy};
    const UINT format = DT_LEFT | DT_TOP | DT_SINGLELINE | (prefix ? 0 : DT_NOPREFIX);
    const COLORREF text0 = dc->text;
    const int mode0 = dc->bkMode;
    dc->bkMode = TRANSPARENT;
    if (flags & DSS_DISABLED) {
        RECT shifted = r;
        OffsetRect(&shifted, 1, 1);
        dc->text = RGB(255, 255, 255);
        drawText(dc, ansi, &shifted, format);
        dc->text = RGB(160, 160, 160);
    }
    drawText(dc, ansi, &r, format);
    dc->text = text0;
    dc->bkMode = mode0;
    return TRUE;
}

BOOL CDC::DrawState(CPoint point, CSize size, const CString& text, UINT flags, BOOL prefixText, int textLength,
                    CBrush* brush)
{
    return DrawState(point, size, text.GetString(), flags, prefixText, textLength > 0 ? textLength : text.GetLength(),
                     brush);
}

BOOL CDC::DrawState(CPoint point, CSize, HICON icon, UINT flags, CBrush*)
{
    DeviceContext* dc = findDC(m_hDC);
    IconObject* i = findIcon(icon);
    if (!dc || !i) return FALSE;
    paintIcon(dc->cr, i->surface, point.x, point.y, (flags & DSS_DISABLED) != 0);
    return TRUE;
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, DWORD rop)
{
    return src ? ::BitBlt(m_hDC, x, y, width, height, src->m_hDC, srcX, srcY, rop) : FALSE;
}

BOOL CDC::StretchBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, int srcWidth, int srcHeight,
                     DWORD rop)
{
    return src ? stretchBlt(findDC(m_hDC), x, y, width, height, findDC(src->m_hDC), srcX, srcY, srcWidth, srcHeight,
                            rop)
               : FALSE;
}

COLORREF CDC::GetPixel(int x, int y) const
{
    return ::GetPixel(m_hDC, x, y);
}

COLORREF CDC::SetPixel(int x, int y, COLORREF color)
{
    return ::SetPixel(m_hDC, x, y, color);
}

int CDC::GetDeviceCaps(int index) const
{
    return ::GetDeviceCaps(m_hDC, index);
}

BOOL CDC::DrawIcon(int x, int y, HICON icon)
{
    return ::DrawIcon(m_hDC, x, y, icon);
}
