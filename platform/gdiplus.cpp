#include "platform/gdiplus.h"

#include <cairo.h>
#include <cstring>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <string>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/gdi_internal.h"

#include <algorithm>
#include <cmath>

namespace Gdiplus {

namespace {

// {557CF406-1A04-11D3-9A73-0000F81EF32E}: the PNG encoder's class id.
const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const GUID kPngFormat = {0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

cairo_surface_t* surf(void* p) { return static_cast<cairo_surface_t*>(p); }
cairo_t* ctx(void* p) { return static_cast<cairo_t*>(p); }

void setColor(cairo_t* cr, const Color& c)
{
    cairo_set_source_rgba(cr, c.GetR() / 255.0, c.GetG() / 255.0, c.GetB() / 255.0, c.GetA() / 255.0);
}

cairo_extend_t extendOf(WrapMode mode, cairo_extend_t clamp)
{
    switch (mode) {
    case WrapModeTile: return CAIRO_EXTEND_REPEAT;
    case WrapModeClamp: return clamp;
    default: return CAIRO_EXTEND_REFLECT;
    }
}

cairo_antialias_t antialiasOf(SmoothingMode mode)
{
    return mode == SmoothingModeAntiAlias || mode == SmoothingModeHighQuality || mode > SmoothingModeAntiAlias
               ? CAIRO_ANTIALIAS_DEFAULT
               : CAIRO_ANTIALIAS_NONE;
}

void setBrush(cairo_t* cr, const Brush* brush)
{
    cairo_pattern_t* p = static_cast<cairo_pattern_t*>(brush->NewPattern());
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}

void strokeWith(cairo_t* cr, const Pen* pen)
{
    Color c;
    pen->GetColor(&c);
    setColor(cr, c);
    cairo_set_line_width(cr, pen->GetWidth() > 0 ? pen->GetWidth() : 1.0);
    cairo_set_miter_limit(cr, 10);
    cairo_stroke(cr);
}

// Builds the path, shifted by `offset` (pens are centred on pixel centres).
void buildPath(cairo_t* cr, const GraphicsPath& path, double offset)
{
    cairo_new_path(cr);
    bool open = false;
    auto to = [&](double x, double y) {
        if (open) {
            cairo_line_to(cr, x + offset, y + offset);
        } else {
            cairo_new_sub_path(cr);
            cairo_move_to(cr, x + offset, y + offset);
            open = true;
        }
    };
    for (const GraphicsPath::Step& s : path.Steps()) {
        switch (s.kind) {
        case GraphicsPath::Step::Start: open = false; break;
        case GraphicsPath::Step::Close:
            if (open) cairo_close_path(cr);
            open = false;
            break;
        case GraphicsPath::Step::Line:
            to(s.v[0], s.v[1]);
            to(s.v[2], s.v[3]);
            break;
        case GraphicsPath::Step::Arc: {
            const double w = s.v[2], h = s.v[3];
            if (w <= 0 || h <= 0) {  // a degenerate arc is its corner point
                to(s.v[0], s.v[1]);
                break;
            }
            if (!open) cairo_new_sub_path(cr);
            const double a0 = s.v[4] * M_PI / 180, a1 = (s.v[4] + s.v[5]) * M_PI / 180;
            cairo_save(cr);
            cairo_translate(cr, s.v[0] + w / 2 + offset, s.v[1] + h / 2 + offset);
            cairo_scale(cr, w / 2, h / 2);
            if (s.v[5] >= 0) cairo_arc(cr, 0, 0, 1, a0, a1);
            else cairo_arc_negative(cr, 0, 0, 1, a0, a1);
            cairo_restore(cr);
            open = true;
            break;
        }
        }
    }
}

// Lays out `text` in `layout` and draws it with `brush`, or only measures it
// into `measure` when `brush` is null.
Status layoutText(cairo_t* cr, const WCHAR* text, INT length, const Font* font, const RectF& layout,
                  const StringFormat* format, const Brush* brush, RectF* measure)
{
    if (!text || !font || !font->NativeDescription()) return InvalidParameter;
    std::wstring wide = length < 0 ? std::wstring(text) : std::wstring(text, static_cast<size_t>(length));
    std::string utf8 = gdi_internal::ValidUtf8(WideToMultiByte(CP_UTF8, wide));
    PangoLayout* pl = gdi_internal::NewTextLayout(
        cr, static_cast<const PangoFontDescription*>(font->NativeDescription()),
        (font->GetStyle() & FontStyleUnderline) != 0, (font->GetStyle() & FontStyleStrikeout) != 0, utf8);
    const StringAlignment align = format ? format->GetAlignment() : StringAlignmentNear;
    const StringAlignment lineAlign = format ? format->GetLineAlignment() : StringAlignmentNear;
    if (layout.Width > 0) {
        pango_layout_set_width(pl, static_cast<int>(layout.Width * PANGO_SCALE));
        pango_layout_set_wrap(pl, PANGO_WRAP_WORD_CHAR);
        if (align == StringAlignmentCenter) pango_layout_set_alignment(pl, PANGO_ALIGN_CENTER);
        else if (align == StringAlignmentFar) pango_layout_set_alignment(pl, PANGO_ALIGN_RIGHT);
    }
    PangoRectangle logical;
    pango_layout_get_pixel_extents(pl, nullptr, &logical);
    double dy = 0;
    if (layout.Height > 0 && lineAlign == StringAlignmentCenter) dy = (layout.Height - logical.height) / 2;
    else if (layout.Height > 0 && lineAlign == StringAlignmentFar) dy = layout.Height - logical.height;
    if (measure) {
        *measure = RectF(layout.X + (layout.Width > 0 ? logical.x : 0), static_cast<REAL>(layout.Y + dy),
                         static_cast<REAL>(logical.width), static_cast<REAL>(logical.height));
    }
    if (brush) {
        cairo_save(cr);
        if (layout.Width > 0 || layout.Height > 0) {
            const double big = 1e6;
            cairo_rectangle(cr, layout.Width > 0 ? layout.X : -big, layout.Height > 0 ? layout.Y : -big,
                            layout.Width > 0 ? layout.Width : 2 * big, layout.Height > 0 ? layout.Height : 2 * big);
            cairo_clip(cr);
        }
        setBrush(cr, brush);
        cairo_move_to(cr, layout.X, layout.Y + dy);
        pango_cairo_show_layout(cr, pl);
        cairo_restore(cr);
    }
    g_object_unref(pl);
    return Ok;
}

cairo_surface_t* newSurface(int w, int h)
{
    if (w <= 0 || h <= 0) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return s;
}

// Copies a decoded pixbuf into a premultiplied ARGB surface.
cairo_surface_t* surfaceFromPixbuf(GdkPixbuf* pb)
{
    const int w = gdk_pixbuf_get_width(pb), h = gdk_pixbuf_get_height(pb);
    const int channels = gdk_pixbuf_get_n_channels(pb), stride = gdk_pixbuf_get_rowstride(pb);
    const bool alpha = gdk_pixbuf_get_has_alpha(pb);
    if (gdk_pixbuf_get_bits_per_sample(pb) != 8 || channels < 3) return nullptr;
    const guchar* src = gdk_pixbuf_read_pixels(pb);
    cairo_surface_t* s = newSurface(w, h);
    if (!s) return nullptr;
    cairo_surface_flush(s);
    unsigned char* dst = cairo_image_surface_get_data(s);
    const int dstride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y) {
        const guchar* p = src + y * stride;
        auto* q = reinterpret_cast<uint32_t*>(dst + y * dstride);
        for (int x = 0; x < w; ++x, p += channels) {
            uint32_t a = alpha ? p[3] : 255;
            // Rounded as SetPixel rounds, so that an encode/decode round trip
            // gives back the same premultiplied values.
            uint32_t r = (p[0] * a + 127) / 255, g = (p[1] * a + 127) / 255, b = (p[2] * a + 127) / 255;
            q[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(s);
    return s;
}

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

bool readRest(IStream* stream, std::string& out)
{
    out.clear();
    if (!stream) return false;
    char buf[8192];
    for (;;) {
        ULONG n = 0;
        HRESULT hr = stream->Read(buf, sizeof buf, &n);
        if (FAILED(hr)) return false;
        out.append(buf, n);
        if (n < sizeof buf) return true;
    }
}

}  // namespace

const GUID EncoderQuality = {0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

bool GUID::operator==(const GUID& o) const
{
    return Data1 == o.Data1 && Data2 == o.Data2 && Data3 == o.Data3 && std::memcmp(Data4, o.Data4, 8) == 0;
}

Status GetImageEncodersSize(UINT* count, UINT* size)
{
    if (!count || !size) return InvalidParameter;
    *count = 1;
    *size = sizeof(ImageCodecInfo);
    return Ok;
}

Status GetImageEncoders(UINT count, UINT size, ImageCodecInfo* encoders)
{
    if (!encoders || count < 1 || size < sizeof(ImageCodecInfo)) return InvalidParameter;
    encoders[0] = ImageCodecInfo{kPngEncoder, kPngFormat, L"Built-in PNG Codec", L"PNG", L"*.PNG", L"image/png"};
    return Ok;
}

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput*, void*)
{
    if (token) *token = 1;
    return Ok;
}

void GdiplusShutdown(ULONG_PTR) {}

// ---------------------------------------------------------------- Image

Image::~Image()
{
    if (surface_) cairo_surface_destroy(surf(surface_));
}

void Image::adopt(void* surface, Status status)
{
    if (surface_) cairo_surface_destroy(surf(surface_));
    surface_ = surface;
    status_ = surface ? Ok : status;
}

namespace {

// Lowest row the loader has filled so far, to tell a complete image from one
// cut off in transit (the loader reports success once it has the header).
void onAreaUpdated(GdkPixbufLoader*, gint, gint y, gint, gint height, gpointer user)
{
    int* bottom = static_cast<int*>(user);
    if (y + height > *bottom) *bottom = y + height;
}

// Pictures come from peers and the web server, and a few bytes of header can
// claim any size up to 65535 x 65535, which the decoder would allocate before
// it reads a pixel. The loader announces the size before it allocates: a size
// over the limit is set to nothing, which makes every loader stop with an
// error.
void onSizePrepared(GdkPixbufLoader* loader, gint width, gint height, gpointer user)
{
    if (PictureSizeAllowed(width, height)) return;
    *static_cast<bool*>(user) = true;
    gdk_pixbuf_loader_set_size(loader, 0, 0);
}

}  // namespace

void Image::decode(const void* data, size_t size)
{
    if (!data || size == 0) {
        adopt(nullptr, UnknownImageFormat);
        return;
    }
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    int bottom = 0;
    bool tooLarge = false;
    g_signal_connect(loader, "area-updated", G_CALLBACK(onAreaUpdated), &bottom);
    g_signal_connect(loader, "size-prepared", G_CALLBACK(onSizePrepared), &tooLarge);
    GError* err = nullptr;
    bool ok = gdk_pixbuf_loader_write(loader, static_cast<const guchar*>(data), size, &err);
    if (err) { g_error_free(err); err = nullptr; }
    ok = gdk_pixbuf_loader_close(loader, &err) && ok && !tooLarge;
    if (err) g_error_free(err);
    GdkPixbuf* pb = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    // Row-by-row formats report what they filled; a GIF frame may cover only
    // part of its screen by design, so it is taken as the loader gives it.
    GdkPixbufFormat* format = gdk_pixbuf_loader_get_format(loader);
    gchar* formatName = format ? gdk_pixbuf_format_get_name(format) : nullptr;
    const bool gif = formatName && g_ascii_strcasecmp(formatName, "gif") == 0;
    g_free(formatName);
    if (pb && !gif && bottom < gdk_pixbuf_get_height(pb)) pb = nullptr;
    cairo_surface_t* s = pb ? surfaceFromPixbuf(pb) : nullptr;
    g_object_unref(loader);
    adopt(s, UnknownImageFormat);
}

Image* Image::FromStream(IStream* stream)
{
    return Bitmap::FromStream(stream);
}

Image* Image::FromFile(const WCHAR* path)
{
    return Bitmap::FromFile(path);
}

UINT Image::GetWidth() const
{
    return surface_ ? static_cast<UINT>(cairo_image_surface_get_width(surf(surface_))) : 0;
}

UINT Image::GetHeight() const
{
    return surface_ ? static_cast<UINT>(cairo_image_surface_get_height(surf(surface_))) : 0;
}

Status Image::Save(IStream* stream, const CLSID* clsid, const EncoderParameters*)
{
    if (!stream || !clsid) return InvalidParameter;
    if (!(*clsid == kPngEncoder)) return NotImplemented;
    if (!surface_) return WrongState;
    std::string png;
    if (cairo_surface_write_to_png_stream(surf(surface_), appendToString, &png) != CAIRO_STATUS_SUCCESS)
        return GenericError;
    ULONG written = 0;
    if (FAILED(stream->Write(png.data(), static_cast<ULONG>(png.size()), &written)) || written != png.size())
        return Win32Error;
    return Ok;
}

Status Image::Save(const WCHAR* path, const CLSID* clsid, const EncoderParameters*)
{
    if (!path || !clsid) return InvalidParameter;
    if (!(*clsid == kPngEncoder)) return NotImplemented;
    if (!surface_) return WrongState;
    std::string file = WideToMultiByte(CP_UTF8, path);
    return cairo_surface_write_to_png(surf(surface_), file.c_str()) == CAIRO_STATUS_SUCCESS ? Ok : Win32Error;
}

// ---------------------------------------------------------------- Bitmap

Bitmap::Bitmap(INT width, INT height, PixelFormat)
{
    cairo_surface_t* s = newSurface(width, height);
    adopt(s, width <= 0 || height <= 0 ? InvalidParameter : OutOfMemory);
}

Bitmap::Bitmap(IStream* stream)
{
    std::string bytes;
    if (!readRest(stream, bytes)) {
        adopt(nullptr, InvalidParameter);
        return;
    }
    decode(bytes.data(), bytes.size());
}

Bitmap::Bitmap(const WCHAR* path)
{
    std::string bytes;
    if (!path || !ReadWholeFile(WideToMultiByte(CP_UTF8, path).c_str(), bytes)) {
        adopt(nullptr, FileNotFound);
        return;
    }
    decode(bytes.data(), bytes.size());
}

Bitmap::Bitmap(const void* data, size_t size)
{
    decode(data, size);
}

Bitmap* Bitmap::FromStream(IStream* stream)
{
    return new Bitmap(stream);
}

Bitmap* Bitmap::FromFile(const WCHAR* path)
{
    return new Bitmap(path);
}

Status Bitmap::GetPixel(INT x, INT y, Color* color) const
{
    if (!surface_) return WrongState;
    if (!color || x < 0 || y < 0 || x >= static_cast<INT>(GetWidth()) || y >= static_cast<INT>(GetHeight()))
        return InvalidParameter;
    cairo_surface_t* s = surf(surface_);
    cairo_surface_flush(s);
    const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
    uint32_t a = p >> 24;
    if (a == 0) {
        color->SetValue(0);
        return Ok;
    }
    auto un = [a](uint32_t c) { return static_cast<BYTE>((c * 255 + a / 2) / a); };
    color->SetValue(Color::MakeARGB(static_cast<BYTE>(a), un((p >> 16) & 0xFF), un((p >> 8) & 0xFF), un(p & 0xFF)));
    return Ok;
}

Status Bitmap::SetPixel(INT x, INT y, const Color& color)
{
    if (!surface_) return WrongState;
    if (x < 0 || y < 0 || x >= static_cast<INT>(GetWidth()) || y >= static_cast<INT>(GetHeight()))
        return InvalidParameter;
    cairo_surface_t* s = surf(surface_);
    cairo_surface_flush(s);
    unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    uint32_t a = color.GetA();
    auto pre = [a](uint32_t c) { return (c * a + 127) / 255; };
    reinterpret_cast<uint32_t*>(row)[x] = (a << 24) | (pre(color.GetR()) << 16) | (pre(color.GetG()) << 8) |
                                          pre(color.GetB());
    cairo_surface_mark_dirty(s);
    return Ok;
}

Bitmap::Bitmap(HBITMAP bitmap, HPALETTE)
{
    cairo_surface_t* src = SurfaceOfBitmap(bitmap);
    cairo_surface_t* s = src ? gdi_internal::CopySurface(src) : nullptr;
    if (s) {
        // A GDI bitmap carries no transparency: every pixel becomes opaque.
        const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s));
            for (int x = 0; x < w; ++x) {
                uint32_t p = row[x], a = p >> 24;
                auto un = [a](uint32_t c) { return a ? std::min<uint32_t>(255, (c * 255 + a / 2) / a) : 0; };
                row[x] = 0xFF000000u | (un((p >> 16) & 0xFF) << 16) | (un((p >> 8) & 0xFF) << 8) | un(p & 0xFF);
            }
        }
        cairo_surface_mark_dirty(s);
    }
    adopt(s, InvalidParameter);
}

Status Bitmap::GetHBITMAP(const Color& background, HBITMAP* bitmap) const
{
    if (!bitmap) return InvalidParameter;
    if (!surface_) return WrongState;
    cairo_surface_t* s = gdi_internal::NewArgbSurface(static_cast<int>(GetWidth()), static_cast<int>(GetHeight()));
    if (!s) return OutOfMemory;
    cairo_t* cr = cairo_create(s);
    setColor(cr, background);
    cairo_paint(cr);
    cairo_set_source_surface(cr, surf(surface_), 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    *bitmap = BitmapFromSurface(s);
    cairo_surface_destroy(s);
    return *bitmap ? Ok : OutOfMemory;
}

// ---------------------------------------------------------------- brushes and pens

Status SolidBrush::GetColor(Color* color) const
{
    if (!color) return InvalidParameter;
    *color = color_;
    return Ok;
}

Status SolidBrush::SetColor(const Color& color)
{
    color_ = color;
    return Ok;
}

void* SolidBrush::NewPattern() const
{
    return cairo_pattern_create_rgba(color_.GetR() / 255.0, color_.GetG() / 255.0, color_.GetB() / 255.0,
                                     color_.GetA() / 255.0);
}

TextureBrush::TextureBrush(Image* image, WrapMode wrapMode) : Brush(BrushTypeTextureFill), wrap_(wrapMode)
{
    surface_ = image ? gdi_internal::CopySurface(surf(image->NativeSurface())) : nullptr;
    if (!surface_) status_ = InvalidParameter;
}

TextureBrush::~TextureBrush()
{
    if (surface_) cairo_surface_destroy(surf(surface_));
}

Status TextureBrush::SetWrapMode(WrapMode wrapMode)
{
    wrap_ = wrapMode;
    return Ok;
}

void* TextureBrush::NewPattern() const
{
    if (!surface_) return cairo_pattern_create_rgba(0, 0, 0, 0);
    cairo_pattern_t* p = cairo_pattern_create_for_surface(surf(surface_));
    cairo_pattern_set_extend(p, extendOf(wrap_, CAIRO_EXTEND_NONE));
    return p;
}

LinearGradientBrush::LinearGradientBrush(const Rect& rect, const Color& color1, const Color& color2,
                                         LinearGradientMode mode)
    : LinearGradientBrush(RectF(static_cast<REAL>(rect.X), static_cast<REAL>(rect.Y), static_cast<REAL>(rect.Width),
                                static_cast<REAL>(rect.Height)),
                          color1, color2, mode)
{
}

LinearGradientBrush::LinearGradientBrush(const RectF& rect, const Color& color1, const Color& color2,
                                         LinearGradientMode mode)
    : Brush(BrushTypeLinearGradient), rect_(rect), color1_(color1), color2_(color2), mode_(mode)
{
    if (rect.Width == 0 || rect.Height == 0) status_ = InvalidParameter;
}

Status LinearGradientBrush::SetWrapMode(WrapMode wrapMode)
{
    wrap_ = wrapMode;
    return Ok;
}

void* LinearGradientBrush::NewPattern() const
{
    // Colours are sampled at pixel centres, which lie on integer coordinates:
    // the first row (or column) of the rectangle gets exactly the first colour.
    const double x0 = rect_.X + 0.5, y0 = rect_.Y + 0.5, x1 = x0 + rect_.Width, y1 = y0 + rect_.Height;
    cairo_pattern_t* p;
    switch (mode_) {
    case LinearGradientModeHorizontal: p = cairo_pattern_create_linear(x0, y0, x1, y0); break;
    case LinearGradientModeVertical: p = cairo_pattern_create_linear(x0, y0, x0, y1); break;
    case LinearGradientModeForwardDiagonal: p = cairo_pattern_create_linear(x0, y0, x1, y1); break;
    default: p = cairo_pattern_create_linear(x1, y0, x0, y1); break;
    }
    auto stop = [p](double at, const Color& c) {
        cairo_pattern_add_color_stop_rgba(p, at, c.GetR() / 255.0, c.GetG() / 255.0, c.GetB() / 255.0,
                                          c.GetA() / 255.0);
    };
    stop(0, color1_);
    stop(1, color2_);
    cairo_pattern_set_extend(p, extendOf(wrap_, CAIRO_EXTEND_PAD));
    return p;
}

Status Pen::GetColor(Color* color) const
{
    if (!color) return InvalidParameter;
    *color = color_;
    return Ok;
}

Status Pen::SetColor(const Color& color)
{
    color_ = color;
    return Ok;
}

Status Pen::SetWidth(REAL width)
{
    width_ = width;
    return Ok;
}

// ---------------------------------------------------------------- text

FontFamily::FontFamily(const WCHAR* name)
{
    if (name) name_ = WideToMultiByte(CP_UTF8, name);
    if (name_.empty()) status_ = InvalidParameter;
}

Font::Font(const WCHAR* familyName, REAL emSize, INT style, Unit unit) : size_(emSize), style_(style), unit_(unit)
{
    init(familyName ? WideToMultiByte(CP_UTF8, familyName) : std::string());
}

Font::Font(const FontFamily* family, REAL emSize, INT style, Unit unit) : size_(emSize), style_(style), unit_(unit)
{
    init(family ? family->Name() : std::string());
}

Font::~Font()
{
    if (desc_) pango_font_description_free(static_cast<PangoFontDescription*>(desc_));
}

void Font::init(const std::string& family)
{
    if (family.empty() || size_ <= 0) {
        status_ = InvalidParameter;
        return;
    }
    double px = size_;
    switch (unit_) {
    case UnitPoint: px = size_ * 96.0 / 72.0; break;
    case UnitInch: px = size_ * 96.0; break;
    default: break;
    }
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, gdi_internal::ValidUtf8(family).c_str());
    pango_font_description_set_weight(d, (style_ & FontStyleBold) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(d, (style_ & FontStyleItalic) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(d, px * PANGO_SCALE);
    desc_ = d;
}

Status StringFormat::SetAlignment(StringAlignment align)
{
    align_ = align;
    return Ok;
}

Status StringFormat::SetLineAlignment(StringAlignment align)
{
    lineAlign_ = align;
    return Ok;
}

// ---------------------------------------------------------------- paths

Status GraphicsPath::AddArc(INT x, INT y, INT width, INT height, REAL startAngle, REAL sweepAngle)
{
    return AddArc(static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(width), static_cast<REAL>(height),
                  startAngle, sweepAngle);
}

Status GraphicsPath::AddArc(REAL x, REAL y, REAL width, REAL height, REAL startAngle, REAL sweepAngle)
{
    steps_.push_back(Step{Step::Arc, {x, y, width, height, startAngle, sweepAngle}});
    return Ok;
}

Status GraphicsPath::AddArc(const Rect& rect, REAL startAngle, REAL sweepAngle)
{
    return AddArc(rect.X, rect.Y, rect.Width, rect.Height, startAngle, sweepAngle);
}

Status GraphicsPath::AddLine(INT x1, INT y1, INT x2, INT y2)
{
    return AddLine(static_cast<REAL>(x1), static_cast<REAL>(y1), static_cast<REAL>(x2), static_cast<REAL>(y2));
}

Status GraphicsPath::AddLine(REAL x1, REAL y1, REAL x2, REAL y2)
{
    steps_.push_back(Step{Step::Line, {x1, y1, x2, y2, 0, 0}});
    return Ok;
}

Status GraphicsPath::AddRectangle(const Rect& rect)
{
    return AddRectangle(RectF(static_cast<REAL>(rect.X), static_cast<REAL>(rect.Y), static_cast<REAL>(rect.Width),
                              static_cast<REAL>(rect.Height)));
}

Status GraphicsPath::AddRectangle(const RectF& r)
{
    StartFigure();
    AddLine(r.X, r.Y, r.X + r.Width, r.Y);
    AddLine(r.X + r.Width, r.Y + r.Height, r.X, r.Y + r.Height);
    return CloseFigure();
}

Status GraphicsPath::StartFigure()
{
    steps_.push_back(Step{Step::Start, {0, 0, 0, 0, 0, 0}});
    return Ok;
}

Status GraphicsPath::CloseFigure()
{
    steps_.push_back(Step{Step::Close, {0, 0, 0, 0, 0, 0}});
    return Ok;
}

Status GraphicsPath::Reset()
{
    steps_.clear();
    return Ok;
}

// ---------------------------------------------------------------- Graphics

Graphics::Graphics(Image* target)
{
    if (!target || !target->NativeSurface()) {
        status_ = InvalidParameter;
        return;
    }
    cr_ = cairo_create(surf(target->NativeSurface()));
    cairo_save(ctx(cr_));
}

Graphics::Graphics(HDC dc)
{
    cairo_t* cr = CairoOf(dc);
    if (!cr) {
        status_ = InvalidParameter;
        return;
    }
    // The DC's own context: what is drawn here respects its clip and origin,
    // and its state is given back unchanged.
    cr_ = cairo_reference(cr);
    cairo_save(cr);
}

Graphics::~Graphics()
{
    if (!cr_) return;
    cairo_restore(ctx(cr_));
    cairo_destroy(ctx(cr_));
}

Status Graphics::SetSmoothingMode(SmoothingMode mode)
{
    if (mode == SmoothingModeInvalid) return InvalidParameter;
    smoothing_ = mode;
    return Ok;
}

Status Graphics::FillRectangle(const Brush* brush, INT x, INT y, INT width, INT height)
{
    return FillRectangle(brush, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(width),
                         static_cast<REAL>(height));
}

Status Graphics::FillRectangle(const Brush* brush, REAL x, REAL y, REAL width, REAL height)
{
    if (!cr_) return WrongState;
    if (!brush) return InvalidParameter;
    cairo_t* cr = ctx(cr_);
    cairo_save(cr);
    cairo_set_antialias(cr, antialiasOf(smoothing_));
    cairo_rectangle(cr, x, y, width, height);
    setBrush(cr, brush);
    cairo_fill(cr);
    cairo_restore(cr);
    return Ok;
}

Status Graphics::FillRectangle(const Brush* brush, const Rect& rect)
{
    return FillRectangle(brush, rect.X, rect.Y, rect.Width, rect.Height);
}

Status Graphics::FillRectangle(const Brush* brush, const RectF& rect)
{
    return FillRectangle(brush, rect.X, rect.Y, rect.Width, rect.Height);
}

Status Graphics::DrawRectangle(const Pen* pen, INT x, INT y, INT width, INT height)
{
    return DrawRectangle(pen, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(width),
                         static_cast<REAL>(height));
}

Status Graphics::DrawRectangle(const Pen* pen, REAL x, REAL y, REAL width, REAL height)
{
    GraphicsPath path;
    path.AddRectangle(RectF(x, y, width, height));
    return DrawPath(pen, &path);
}

Status Graphics::DrawRectangle(const Pen* pen, const Rect& rect)
{
    return DrawRectangle(pen, rect.X, rect.Y, rect.Width, rect.Height);
}

Status Graphics::DrawRectangle(const Pen* pen, const RectF& rect)
{
    return DrawRectangle(pen, rect.X, rect.Y, rect.Width, rect.Height);
}

Status Graphics::DrawLine(const Pen* pen, INT x1, INT y1, INT x2, INT y2)
{
    return DrawLine(pen, static_cast<REAL>(x1), static_cast<REAL>(y1), static_cast<REAL>(x2), static_cast<REAL>(y2));
}

Status Graphics::DrawLine(const Pen* pen, REAL x1, REAL y1, REAL x2, REAL y2)
{
    if (!cr_) return WrongState;
    if (!pen) return InvalidParameter;
    cairo_t* cr = ctx(cr_);
    cairo_save(cr);
    cairo_set_antialias(cr, antialiasOf(smoothing_));
    // Without smoothing both end pixels are drawn.
    cairo_set_line_cap(cr, antialiasOf(smoothing_) == CAIRO_ANTIALIAS_NONE ? CAIRO_LINE_CAP_SQUARE
                                                                           : CAIRO_LINE_CAP_BUTT);
    cairo_move_to(cr, x1 + 0.5, y1 + 0.5);
    cairo_line_to(cr, x2 + 0.5, y2 + 0.5);
    strokeWith(cr, pen);
    cairo_restore(cr);
    return Ok;
}

Status Graphics::DrawPath(const Pen* pen, const GraphicsPath* path)
{
    if (!cr_) return WrongState;
    if (!pen || !path) return InvalidParameter;
    cairo_t* cr = ctx(cr_);
    cairo_save(cr);
    cairo_set_antialias(cr, antialiasOf(smoothing_));
    buildPath(cr, *path, 0.5);
    strokeWith(cr, pen);
    cairo_restore(cr);
    return Ok;
}

Status Graphics::FillPath(const Brush* brush, const GraphicsPath* path)
{
    if (!cr_) return WrongState;
    if (!brush || !path) return InvalidParameter;
    cairo_t* cr = ctx(cr_);
    cairo_save(cr);
    cairo_set_antialias(cr, antialiasOf(smoothing_));
    cairo_set_fill_rule(cr, path->GetFillMode() == FillModeWinding ? CAIRO_FILL_RULE_WINDING
                                                                   : CAIRO_FILL_RULE_EVEN_ODD);
    buildPath(cr, *path, 0);
    setBrush(cr, brush);
    cairo_fill(cr);
    cairo_restore(cr);
    return Ok;
}

Status Graphics::DrawString(const WCHAR* text, INT length, const Font* font, const RectF& layout,
                            const StringFormat* format, const Brush* brush)
{
    if (!cr_) return WrongState;
    if (!brush) return InvalidParameter;
    return layoutText(ctx(cr_), text, length, font, layout, format, brush, nullptr);
}

Status Graphics::DrawString(const WCHAR* text, INT length, const Font* font, const PointF& origin, const Brush* brush)
{
    return DrawString(text, length, font, RectF(origin.X, origin.Y, 0, 0), nullptr, brush);
}

Status Graphics::MeasureString(const WCHAR* text, INT length, const Font* font, const RectF& layout,
                               const StringFormat* format, RectF* box) const
{
    if (!cr_) return WrongState;
    if (!box) return InvalidParameter;
    return layoutText(ctx(cr_), text, length, font, layout, format, nullptr, box);
}

Status Graphics::MeasureString(const WCHAR* text, INT length, const Font* font, const RectF& layout, RectF* box) const
{
    return MeasureString(text, length, font, layout, nullptr, box);
}

Status Graphics::MeasureString(const WCHAR* text, INT length, const Font* font, const PointF& origin, RectF* box) const
{
    return MeasureString(text, length, font, RectF(origin.X, origin.Y, 0, 0), nullptr, box);
}

Status Graphics::Clear(const Color& color)
{
    if (!cr_) return WrongState;
    cairo_t* cr = static_cast<cairo_t*>(cr_);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, color.GetR() / 255.0, color.GetG() / 255.0, color.GetB() / 255.0, color.GetA() / 255.0);
    cairo_paint(cr);
    cairo_restore(cr);
    return Ok;
}

Status Graphics::DrawImage(Image* image, INT x, INT y)
{
    if (!image) return InvalidParameter;
    return DrawImage(image, Rect(x, y, static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight())),
                     0, 0, static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()), UnitPixel);
}

Status Graphics::DrawImage(Image* image, INT x, INT y, INT width, INT height)
{
    return DrawImage(image, Rect(x, y, width, height));
}

Status Graphics::DrawImage(Image* image, const Rect& dest)
{
    if (!image) return InvalidParameter;
    return DrawImage(image, dest, 0, 0, static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()),
                     UnitPixel);
}

Status Graphics::DrawImage(Image* image, const Rect& dest, INT srcX, INT srcY, INT srcWidth, INT srcHeight, Unit,
                           const void*, void*, void*)
{
    if (!cr_) return WrongState;
    if (!image || !image->NativeSurface()) return InvalidParameter;
    if (srcWidth <= 0 || srcHeight <= 0 || dest.Width == 0 || dest.Height == 0) return Ok;
    cairo_t* cr = static_cast<cairo_t*>(cr_);
    cairo_save(cr);
    cairo_rectangle(cr, dest.X, dest.Y, dest.Width, dest.Height);
    cairo_clip(cr);
    cairo_translate(cr, dest.X, dest.Y);
    cairo_scale(cr, static_cast<double>(dest.Width) / srcWidth, static_cast<double>(dest.Height) / srcHeight);
    cairo_set_source_surface(cr, surf(image->NativeSurface()), -srcX, -srcY);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    cairo_restore(cr);
    return cairo_status(cr) == CAIRO_STATUS_SUCCESS ? Ok : GenericError;
}

}  // namespace Gdiplus
