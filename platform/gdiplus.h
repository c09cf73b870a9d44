// The GDI+ stand-in: 32-bit ARGB bitmaps, image encode/decode, and drawing
// on bitmaps and device contexts (images, shapes, paths, gradients, text).
//
// Bitmaps are kept as cairo image surfaces (premultiplied ARGB); colours are
// straight (non-premultiplied) ARGB as callers expect. Decoding accepts every
// format gdk-pixbuf reads; encoding writes PNG.
//
// Coordinates follow the original conventions: pixel centres lie on integer
// coordinates, so a 1-pixel pen along x = 0 covers the first column and
// FillRectangle(0, 0, w, h) covers w x h pixels. Without smoothing (the
// default) shapes are not antialiased; text always is.
//
// Pictures over 16 megapixels or with a side over 16384 pixels are not
// decoded (PictureSizeAllowed): a few header bytes can claim any size.
#pragma once

#include "platform/gdi.h"
#include "platform/stream.h"

#include <string>
#include <vector>

// Whether a picture of that size is decoded: at most 16384 pixels a side and
// 16 megapixels (64 MB as 32-bit pixels) in all.
inline bool PictureSizeAllowed(long long width, long long height)
{
    return width > 0 && height > 0 && width <= 16384 && height <= 16384 && width * height <= 16LL * 1024 * 1024;
}

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

struct Point {
    INT X = 0, Y = 0;
    Point() = default;
    Point(INT x, INT y) : X(x), Y(y) {}
};

struct PointF {
    REAL X = 0, Y = 0;
    PointF() = default;
    PointF(REAL x, REAL y) : X(x), Y(y) {}
};

enum SmoothingMode {
    SmoothingModeInvalid = -1,
    SmoothingModeDefault = 0,
    SmoothingModeHighSpeed = 1,
    SmoothingModeHighQuality = 2,
    SmoothingModeNone = 3,
    SmoothingModeAntiAlias = 4,
};

enum WrapMode { WrapModeTile, WrapModeTileFlipX, WrapModeTileFlipY, WrapModeTileFlipXY, WrapModeClamp };

enum LinearGradientMode {
    LinearGradientModeHorizontal,
    LinearGradientModeVertical,
    LinearGradientModeForwardDiagonal,
    LinearGradientModeBackwardDiagonal,
};

enum BrushType {
    BrushTypeSolidColor = 0,
    BrushTypeHatchFill = 1,
    BrushTypeTextureFill = 2,
    BrushTypePathGradient = 3,
    BrushTypeLinearGradient = 4,
};

enum FontStyle {
    FontStyleRegular = 0,
    FontStyleBold = 1,
    FontStyleItalic = 2,
    FontStyleBoldItalic = 3,
    FontStyleUnderline = 4,
    FontStyleStrikeout = 8,
};

enum StringAlignment { StringAlignmentNear = 0, StringAlignmentCenter = 1, StringAlignmentFar = 2 };

enum FillMode { FillModeAlternate, FillModeWinding };

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
    // A copy of a GDI bitmap, opaque (the bitmap's alpha is not used).
    Bitmap(HBITMAP bitmap, HPALETTE palette);
    static Bitmap* FromStream(IStream* stream);
    static Bitmap* FromFile(const WCHAR* path);
    static Bitmap* FromHBITMAP(HBITMAP bitmap, HPALETTE palette) { return new Bitmap(bitmap, palette); }

    Status GetPixel(INT x, INT y, Color* color) const;
    Status SetPixel(INT x, INT y, const Color& color);
    // A new GDI bitmap of the image composited onto `background` (an opaque
    // background gives an opaque bitmap). The caller deletes it.
    Status GetHBITMAP(const Color& background, HBITMAP* bitmap) const;
};

// ---------------------------------------------------------------- brushes and pens

class Brush {
public:
    virtual ~Brush() = default;
    Brush(const Brush&) = delete;
    Brush& operator=(const Brush&) = delete;
    BrushType GetType() const { return type_; }
    Status GetLastStatus() const { return status_; }

    // The layer's own: a new cairo pattern painting with this brush.
    virtual void* NewPattern() const = 0;

protected:
    explicit Brush(BrushType type) : type_(type) {}
    BrushType type_;
    Status status_ = Ok;
};

class SolidBrush : public Brush {
public:
    explicit SolidBrush(const Color& color) : Brush(BrushTypeSolidColor), color_(color) {}
    Status GetColor(Color* color) const;
    Status SetColor(const Color& color);
    void* NewPattern() const override;

private:
    Color color_;
};

// Repeats a copy of the image from the top-left corner of the drawing surface.
class TextureBrush : public Brush {
public:
    explicit TextureBrush(Image* image, WrapMode wrapMode = WrapModeTile);
    ~TextureBrush() override;
    Status SetWrapMode(WrapMode wrapMode);
    WrapMode GetWrapMode() const { return wrap_; }
    void* NewPattern() const override;

private:
    void* surface_ = nullptr;
    WrapMode wrap_;
};

class LinearGradientBrush : public Brush {
public:
    LinearGradientBrush(const Rect& rect, const Color& color1, const Color& color2, LinearGradientMode mode);
    LinearGradientBrush(const RectF& rect, const Color& color1, const Color& color2, LinearGradientMode mode);
    Status SetWrapMode(WrapMode wrapMode);
    WrapMode GetWrapMode() const { return wrap_; }
    void* NewPattern() const override;

private:
    RectF rect_;
    Color color1_, color2_;
    LinearGradientMode mode_;
    WrapMode wrap_ = WrapModeTile;
};

class Pen {
public:
    explicit Pen(const Color& color, REAL width = 1.0f) : color_(color), width_(width) {}
    Status GetColor(Color* color) const;
    Status SetColor(const Color& color);
    REAL GetWidth() const { return width_; }
    Status SetWidth(REAL width);
    Status GetLastStatus() const { return Ok; }

private:
    Color color_;
    REAL width_;
};

// ---------------------------------------------------------------- text

class FontFamily {
public:
    explicit FontFamily(const WCHAR* name);
    Status GetLastStatus() const { return status_; }
    // The family name as UTF-8 (the layer's own).
    const std::string& Name() const { return name_; }

private:
    std::string name_;
    Status status_ = Ok;
};

class Font {
public:
    Font(const WCHAR* familyName, REAL emSize, INT style = FontStyleRegular, Unit unit = UnitPoint);
    Font(const FontFamily* family, REAL emSize, INT style = FontStyleRegular, Unit unit = UnitPoint);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    REAL GetSize() const { return size_; }
    INT GetStyle() const { return style_; }
    Unit GetUnit() const { return unit_; }
    Status GetLastStatus() const { return status_; }
    // The layer's own: the pango font description (em size in pixels).
    void* NativeDescription() const { return desc_; }

private:
    void init(const std::string& family);
    REAL size_;
    INT style_;
    Unit unit_;
    void* desc_ = nullptr;
    Status status_ = Ok;
};

class StringFormat {
public:
    StringFormat() = default;
    Status SetAlignment(StringAlignment align);
    Status SetLineAlignment(StringAlignment align);
    StringAlignment GetAlignment() const { return align_; }
    StringAlignment GetLineAlignment() const { return lineAlign_; }

private:
    StringAlignment align_ = StringAlignmentNear;
    StringAlignment lineAlign_ = StringAlignmentNear;
};

// ---------------------------------------------------------------- paths

// Figures of lines and elliptic arcs. Angles are in degrees, measured
// clockwise from the positive x axis; a figure's parts are joined by lines.
class GraphicsPath {
public:
    explicit GraphicsPath(FillMode fillMode = FillModeAlternate) : fill_(fillMode) {}
    Status AddArc(INT x, INT y, INT width, INT height, REAL startAngle, REAL sweepAngle);
    Status AddArc(REAL x, REAL y, REAL width, REAL height, REAL startAngle, REAL sweepAngle);
    Status AddArc(const Rect& rect, REAL startAngle, REAL sweepAngle);
    Status AddLine(INT x1, INT y1, INT x2, INT y2);
    Status AddLine(REAL x1, REAL y1, REAL x2, REAL y2);
    Status AddRectangle(const Rect& rect);
    Status AddRectangle(const RectF& rect);
    Status StartFigure();
    Status CloseFigure();
    Status Reset();
    FillMode GetFillMode() const { return fill_; }

    // The layer's own: one recorded step of the path.
    struct Step {
        enum Kind { Line, Arc, Close, Start } kind;
        REAL v[6];
    };
    const std::vector<Step>& Steps() const { return steps_; }

private:
    std::vector<Step> steps_;
    FillMode fill_;
};

// ---------------------------------------------------------------- Graphics

class Graphics {
public:
    explicit Graphics(Image* target);
    // Draws on a device context (its bitmap or window), within its clip.
    explicit Graphics(HDC dc);
    ~Graphics();
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;
    static Graphics* FromImage(Image* target) { return new Graphics(target); }
    static Graphics* FromHDC(HDC dc) { return new Graphics(dc); }

    Status GetLastStatus() const { return status_; }
    Status SetSmoothingMode(SmoothingMode mode);
    SmoothingMode GetSmoothingMode() const { return smoothing_; }
    Status Clear(const Color& color);
    Status DrawImage(Image* image, INT x, INT y);
    Status DrawImage(Image* image, INT x, INT y, INT width, INT height);
    Status DrawImage(Image* image, const Rect& dest);
    // Draws the source rectangle of `image` scaled into `dest`.
    Status DrawImage(Image* image, const Rect& dest, INT srcX, INT srcY, INT srcWidth, INT srcHeight, Unit unit,
                     const void* imageAttributes = nullptr, void* callback = nullptr, void* callbackData = nullptr);

    Status FillRectangle(const Brush* brush, INT x, INT y, INT width, INT height);
    Status FillRectangle(const Brush* brush, REAL x, REAL y, REAL width, REAL height);
    Status FillRectangle(const Brush* brush, const Rect& rect);
    Status FillRectangle(const Brush* brush, const RectF& rect);
    Status DrawRectangle(const Pen* pen, INT x, INT y, INT width, INT height);
    Status DrawRectangle(const Pen* pen, REAL x, REAL y, REAL width, REAL height);
    Status DrawRectangle(const Pen* pen, const Rect& rect);
    Status DrawRectangle(const Pen* pen, const RectF& rect);
    Status DrawLine(const Pen* pen, INT x1, INT y1, INT x2, INT y2);
    Status DrawLine(const Pen* pen, REAL x1, REAL y1, REAL x2, REAL y2);
    Status DrawPath(const Pen* pen, const GraphicsPath* path);
    Status FillPath(const Brush* brush, const GraphicsPath* path);

    // `length` -1: the text runs to its terminating zero. With a layout
    // rectangle the text wraps at its width and is clipped to it (a zero
    // width or height leaves that direction unbounded); a null format is the
    // default (top-left).
    Status DrawString(const WCHAR* text, INT length, const Font* font, const RectF& layout,
                      const StringFormat* format, const Brush* brush);
    // Unbounded text with its top-left corner at `origin`.
    Status DrawString(const WCHAR* text, INT length, const Font* font, const PointF& origin, const Brush* brush);
    Status MeasureString(const WCHAR* text, INT length, const Font* font, const RectF& layout,
                         const StringFormat* format, RectF* box) const;
    Status MeasureString(const WCHAR* text, INT length, const Font* font, const RectF& layout, RectF* box) const;
    Status MeasureString(const WCHAR* text, INT length, const Font* font, const PointF& origin, RectF* box) const;

private:
    void* cr_ = nullptr;
    Status status_ = Ok;
    SmoothingMode smoothing_ = SmoothingModeDefault;
};

}  // namespace Gdiplus
