// The bitmap core of the GDI+ stand-in: 32-bit ARGB bitmaps, drawing one
// bitmap onto another (scaled), and image encode/decode.
//
// Bitmaps are kept as cairo image surfaces (premultiplied ARGB); GetPixel and
// SetPixel speak straight (non-premultiplied) ARGB as callers expect.
// Decoding accepts every format gdk-pixbuf reads; encoding writes PNG.
#pragma once

#include "platform/stream.h"

namespace Gdiplus {

typedef DWORD ARGB;
typedef float REAL;
typedef int INT;

enum Status {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
};

typedef INT PixelFormat;
const PixelFormat PixelFormat24bppRGB = 0x00021808;
const PixelFormat PixelFormat32bppRGB = 0x00022009;
const PixelFormat PixelFormat32bppARGB = 0x0026200A;
const PixelFormat PixelFormat32bppPARGB = 0x000E200B;

enum Unit { UnitWorld = 0, UnitDisplay = 1, UnitPixel = 2, UnitPoint = 3, UnitInch = 4 };

class Color {
public:
    Color() = default;
    Color(BYTE r, BYTE g, BYTE b) : v_(MakeARGB(255, r, g, b)) {}
    Color(BYTE a, BYTE r, BYTE g, BYTE b) : v_(MakeARGB(a, r, g, b)) {}
    Color(ARGB argb) : v_(argb) {}
    BYTE GetA() const { return static_cast<BYTE>(v_ >> 24); }
    BYTE GetR() const { return static_cast<BYTE>(v_ >> 16); }
    BYTE GetG() const { return static_cast<BYTE>(v_ >> 8); }
    BYTE GetB() const { return static_cast<BYTE>(v_); }
    BYTE GetAlpha() const { return GetA(); }
    BYTE GetRed() const { return GetR(); }
    BYTE GetGreen() const { return GetG(); }
    BYTE GetBlue() const { return GetB(); }
    ARGB GetValue() const { return v_; }
    void SetValue(ARGB argb) { v_ = argb; }
    static ARGB MakeARGB(BYTE a, BYTE r, BYTE g, BYTE b)
    {
        return (ARGB(a) << 24) | (ARGB(r) << 16) | (ARGB(g) << 8) | ARGB(b);
    }

private:
    ARGB v_ = 0xFF000000;
};

struct Rect {
    INT X = 0, Y = 0, Width = 0, Height = 0;
    Rect() = default;
    Rect(INT x, INT y, INT w, INT h) : X(x), Y(y), Width(w), Height(h) {}
};

struct RectF {
    REAL X = 0, Y = 0, Width = 0, Height = 0;
    RectF() = default;
    RectF(REAL x, REAL y, REAL w, REAL h) : X(x), Y(y), Width(w), Height(h) {}
};

struct GUID {
    DWORD Data1 = 0;
    WORD Data2 = 0, Data3 = 0;
    BYTE Data4[8] = {};
    bool operator==(const GUID& o) const;
};
typedef GUID CLSID;

// Encoder parameters are accepted as callers pass them; the PNG encoder has
// no setting they could change (quality does not apply to PNG).
const ULONG EncoderParameterValueTypeLong = 4;
extern const GUID EncoderQuality;
struct EncoderParameter {
    GUID Guid;
    ULONG NumberOfValues = 0;
    ULONG Type = 0;
    void* Value = nullptr;
};
struct EncoderParameters {
    UINT Count = 0;
    EncoderParameter Parameter[1];
};

struct ImageCodecInfo {
    CLSID Clsid;
    GUID FormatID;
    const WCHAR* CodecName;
    const WCHAR* FormatDescription;
    const WCHAR* FilenameExtension;
    const WCHAR* MimeType;
};
// The available encoders (PNG only), listed as the system lists them.
Status GetImageEncodersSize(UINT* count, UINT* size);
Status GetImageEncoders(UINT count, UINT size, ImageCodecInfo* encoders);

struct GdiplusStartupInput {
    UINT32 GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};
Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, void* output);
void GdiplusShutdown(ULONG_PTR token);

class Image {
public:
    virtual ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Decodes an image from the stream's current position to its end.
    static Image* FromStream(IStream* stream);
    static Image* FromFile(const WCHAR* path);

    UINT GetWidth() const;
    UINT GetHeight() const;
    PixelFormat GetPixelFormat() const { return PixelFormat32bppARGB; }
    Status GetLastStatus() const { return status_; }
    // Writes the image with the encoder `clsid` (PNG).
    Status Save(IStream* stream, const CLSID* clsid, const EncoderParameters* params = nullptr);
    Status Save(const WCHAR* path, const CLSID* clsid, const EncoderParameters* params = nullptr);

    // The layer's own access to the pixels (a cairo surface); null when the
    // image is not valid.
    void* NativeSurface() const { return surface_; }

protected:
    Image() = default;
    void adopt(void* surface, Status status);
    void decode(const void* data, size_t size);
    void* surface_ = nullptr;
    Status status_ = Ok;
};

class Bitmap : public Image {
public:
    Bitmap(INT width, INT height, PixelFormat format = PixelFormat32bppARGB);
    explicit Bitmap(IStream* stream);
    explicit Bitmap(const WCHAR* path);
    // Decodes image bytes of any format gdk-pixbuf reads.
    Bitmap(const void* data, size_t size);
    static Bitmap* FromStream(IStream* stream);
    static Bitmap* FromFile(const WCHAR* path);

    Status GetPixel(INT x, INT y, Color* color) const;
    Status SetPixel(INT x, INT y, const Color& color);
};

class Graphics {
public:
    explicit Graphics(Image* target);
    ~Graphics();
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;
    static Graphics* FromImage(Image* target) { return new Graphics(target); }

    Status GetLastStatus() const { return status_; }
    Status Clear(const Color& color);
    Status DrawImage(Image* image, INT x, INT y);
    Status DrawImage(Image* image, INT x, INT y, INT width, INT height);
    Status DrawImage(Image* image, const Rect& dest);
    // Draws the source rectangle of `image` scaled into `dest`.
    Status DrawImage(Image* image, const Rect& dest, INT srcX, INT srcY, INT srcWidth, INT srcHeight, Unit unit,
                     const void* imageAttributes = nullptr, void* callback = nullptr, void* callbackData = nullptr);

private:
    void* cr_ = nullptr;
    Status status_ = Ok;
};

}  // namespace Gdiplus
