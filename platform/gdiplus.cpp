#include "platform/gdiplus.h"

#include <cairo.h>
#include <cstring>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <string>

#include "platform/codepage.h"
#include "platform/files.h"

namespace Gdiplus {

namespace {

// {557CF406-1A04-11D3-9A73-0000F81EF32E}: the PNG encoder's class id.
const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const GUID kPngFormat = {0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

cairo_surface_t* surf(void* p) { return static_cast<cairo_surface_t*>(p); }

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

}  // namespace

void Image::decode(const void* data, size_t size)
{
    if (!data || size == 0) {
        adopt(nullptr, UnknownImageFormat);
        return;
    }
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    int bottom = 0;
    g_signal_connect(loader, "area-updated", G_CALLBACK(onAreaUpdated), &bottom);
    GError* err = nullptr;
    bool ok = gdk_pixbuf_loader_write(loader, static_cast<const guchar*>(data), size, &err);
    if (err) { g_error_free(err); err = nullptr; }
    ok = gdk_pixbuf_loader_close(loader, &err) && ok;
    if (err) g_error_free(err);
    GdkPixbuf* pb = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    if (pb && bottom < gdk_pixbuf_get_height(pb)) pb = nullptr;
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

// ---------------------------------------------------------------- Graphics

Graphics::Graphics(Image* target)
{
    if (!target || !target->NativeSurface()) {
        status_ = InvalidParameter;
        return;
    }
    cr_ = cairo_create(surf(target->NativeSurface()));
}

Graphics::~Graphics()
{
    if (cr_) cairo_destroy(static_cast<cairo_t*>(cr_));
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
