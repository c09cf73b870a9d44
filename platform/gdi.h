// Device contexts and drawing objects: bitmaps, brushes, pens, fonts,
// regions and icons, with the CDC / CGdiObject classes over them.
//
// Handles are opaque values that the layer maps to its own objects. A bitmap
// is a 32-bit surface; a device context draws onto the bitmap selected into
// it (memory DC) or onto a window's back buffer during painting. Text is in
// the ANSI code page and drawn with the fonts of the system: a face that is
// not installed falls back to one that is (Chinese faces included).
#pragma once

#include "platform/CString.h"
#include "platform/windef.h"

struct HDC__;
typedef HDC__* HDC;
typedef void* HGDIOBJ;
struct HBRUSH__;
typedef HBRUSH__* HBRUSH;
struct HPEN__;
typedef HPEN__* HPEN;
struct HFONT__;
typedef HFONT__* HFONT;
struct HRGN__;
typedef HRGN__* HRGN;
struct HPALETTE__;
typedef HPALETTE__* HPALETTE;

// ---------------------------------------------------------------- constants

// Background modes.
#define TRANSPARENT 1
#define OPAQUE 2

// Pen styles.
#define PS_SOLID 0
#define PS_NULL 5

// Font weights.
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
#define LF_FACESIZE 32
#define DEFAULT_CHARSET 1

// DrawText formats.
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_END_ELLIPSIS 0x00008000

// DrawState kinds and states.
#define DST_TEXT 0x0001
#define DST_PREFIXTEXT 0x0002
#define DST_ICON 0x0003
#define DSS_NORMAL 0x0000
#define DSS_DISABLED 0x0020

// Raster operation of BitBlt / StretchBlt.
#define SRCCOPY 0x00CC0020u

// GetDeviceCaps indexes.
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define LOGPIXELSX 88
#define LOGPIXELSY 90

// Region kinds (results of the region and clipping functions).
#define RGN_ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3

// GetPixel of a point outside the surface.
#define CLR_INVALID 0xFFFFFFFFu

// ---------------------------------------------------------------- structures

struct BITMAP {
    LONG bmType = 0;
    LONG bmWidth = 0;
    LONG bmHeight = 0;
    LONG bmWidthBytes = 0;
    WORD bmPlanes = 0;
    WORD bmBitsPixel = 0;
    LPVOID bmBits = nullptr;
};

struct LOGFONT {
    LONG lfHeight = 0;  // < 0: character height in pixels; > 0: cell height; 0: default
    LONG lfWidth = 0;
    LONG lfEscapement = 0;
    LONG lfOrientation = 0;
    LONG lfWeight = 0;
    BYTE lfItalic = 0;
    BYTE lfUnderline = 0;
    BYTE lfStrikeOut = 0;
    BYTE lfCharSet = 0;
    BYTE lfOutPrecision = 0;
    BYTE lfClipPrecision = 0;
    BYTE lfQuality = 0;
    BYTE lfPitchAndFamily = 0;
    CHAR lfFaceName[LF_FACESIZE] = {};  // ANSI code page
};
typedef LOGFONT* LPLOGFONT;

struct ICONINFO {
    BOOL fIcon = TRUE;  // TRUE: icon (hot spot at the centre); FALSE: cursor
    DWORD xHotspot = 0;
    DWORD yHotspot = 0;
    HBITMAP hbmMask = nullptr;   // white = transparent
    HBITMAP hbmColor = nullptr;
};
typedef ICONINFO* PICONINFO;

// ---------------------------------------------------------------- handle functions

BOOL DeleteObject(HGDIOBJ object);
// Fills a BITMAP (bitmaps) or LOGFONT (fonts); the bytes written, 0 on failure.
int GetObject(HGDIOBJ object, int size, LPVOID buffer);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);

// A memory DC with a 1x1 bitmap selected. `dc` may be null (the screen).
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);

// A colour bitmap (opaque black) of the given size; `dc` may be null.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// A bitmap from packed rows of `bitsPerPixel` 1 (word-aligned rows, 1 =
// white) or 32 (B, G, R, A bytes); null bits give black.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
HBRUSH CreateSolidBrush(COLORREF color);
HPEN CreatePen(int style, int width, COLORREF color);
HFONT CreateFontIndirect(const LOGFONT* font);

HRGN CreateRectRgn(int left, int top, int right, int bottom);
// A rectangle with elliptic corners. As on the original system the region
// covers pixels left..right-2 and top..bottom-2 (the right and bottom edges
// are not part of it); each corner keeps the pixels whose centres lie inside
// a `width` x `height` ellipse.
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height);
BOOL PtInRegion(HRGN region, int x, int y);
int GetRgnBox(HRGN region, LPRECT rect);

BOOL GetIconInfo(HICON icon, PICONINFO info);
HICON CreateIconIndirect(PICONINFO info);
BOOL DestroyIcon(HICON icon);
HICON CopyIcon(HICON icon);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);

int GetDeviceCaps(HDC dc, int index);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);

// ---------------------------------------------------------------- object classes

class CDC;

// Owns its handle: the destructor deletes the object.
class CGdiObject {
public:
    CGdiObject() = default;
    virtual ~CGdiObject();
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    operator HGDIOBJ() const { return m_hObject; }
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    BOOL Attach(HGDIOBJ object);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    int GetObject(int size, LPVOID buffer) const;

    HGDIOBJ m_hObject = nullptr;
};

class CBitmap : public CGdiObject {
public:
    // A wrapper that lives as long as the bitmap; not owning it.
    static CBitmap* FromHandle(HBITMAP bitmap);
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
    BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
    BOOL CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
    // BITMAP resource `id` of the current resource handle (an image file).
    BOOL LoadBitmap(UINT id);
    int GetBitmap(BITMAP* info) const;
};

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    static CBrush* FromHandle(HBRUSH brush);
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
    BOOL CreateSolidBrush(COLORREF color);
};

class CPen : public CGdiObject {
public:
    CPen() = default;
    CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
    static CPen* FromHandle(HPEN pen);
    operator HPEN() const { return static_cast<HPEN>(m_hObject); }
    BOOL CreatePen(int style, int width, COLORREF color);
};

class CFont : public CGdiObject {
public:
    static CFont* FromHandle(HFONT font);
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
    // `pointSize` in tenths of a point, at the screen's 96 pixels per inch.
    BOOL CreatePointFont(int pointSize, LPCTSTR faceName, CDC* dc = nullptr);
    BOOL CreateFontIndirect(const LOGFONT* font);
    int GetLogFont(LOGFONT* font) const;
};

class CRgn : public CGdiObject {
public:
    static CRgn* FromHandle(HRGN region);
    operator HRGN() const { return static_cast<HRGN>(m_hObject); }
    BOOL CreateRectRgn(int left, int top, int right, int bottom);
    BOOL CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height);
    BOOL PtInRegion(int x, int y) const;
    BOOL PtInRegion(POINT point) const { return PtInRegion(point.x, point.y); }
    int GetRgnBox(LPRECT rect) const;
};

// ---------------------------------------------------------------- CDC

// Owns its DC: the destructor deletes it (unless detached).
class CDC {
public:
    CDC() = default;
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // A wrapper that lives until the DC is deleted; not owning it.
    static CDC* FromHandle(HDC dc);
    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL Attach(HDC dc);
    HDC Detach();

    BOOL CreateCompatibleDC(CDC* dc);
    BOOL DeleteDC();

    // Each returns the object it replaced.
    CBitmap* SelectObject(CBitmap* bitmap);
    CFont* SelectObject(CFont* font);
    CPen* SelectObject(CPen* pen);
    CBrush* SelectObject(CBrush* brush);
    CGdiObject* SelectObject(CGdiObject* object);
    HGDIOBJ SelectObject(HGDIOBJ object);
    CFont* GetCurrentFont() const;

    int SaveDC();
    BOOL RestoreDC(int savedDC);
    int IntersectClipRect(int left, int top, int right, int bottom);
    int IntersectClipRect(LPCRECT rect) { return IntersectClipRect(rect->left, rect->top, rect->right, rect->bottom); }

    // Fills with `color`, which also becomes the background colour.
    void FillSolidRect(LPCRECT rect, COLORREF color);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
    void FillRect(LPCRECT rect, CBrush* brush);
    // Top and left edges in `topLeft`, right and bottom edges in `bottomRight`.
    void Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight);
    void Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight);
    // Outlined with the pen and filled with the brush.
    BOOL Rectangle(int left, int top, int right, int bottom);
    BOOL Rectangle(LPCRECT rect) { return Rectangle(rect->left, rect->top, rect->right, rect->bottom); }
    BOOL RoundRect(int left, int top, int right, int bottom, int width, int height);
    BOOL RoundRect(LPCRECT rect, POINT ellipse)
    {
        return RoundRect(rect->left, rect->top, rect->right, rect->bottom, ellipse.x, ellipse.y);
    }
    CPoint MoveTo(int x, int y);
    CPoint MoveTo(POINT point) { return MoveTo(point.x, point.y); }
    // A line with the pen from the current position up to, not including, (x, y).
    BOOL LineTo(int x, int y);
    BOOL LineTo(POINT point) { return LineTo(point.x, point.y); }

    COLORREF SetTextColor(COLORREF color);
    COLORREF GetTextColor() const;
    COLORREF SetBkColor(COLORREF color);
    COLORREF GetBkColor() const;
    int SetBkMode(int mode);
    int GetBkMode() const;

    // Text in the ANSI code page. Returns the text height (with DT_VCENTER or
    // DT_BOTTOM the offset from the top of `rect` to the bottom of the text).
    int DrawText(LPCTSTR text, int count, LPRECT rect, UINT format);
    int DrawText(const CString& text, LPRECT rect, UINT format);
    BOOL TextOut(int x, int y, LPCTSTR text, int count);
    BOOL TextOut(int x, int y, const CString& text);
    CSize GetTextExtent(LPCTSTR text, int count) const;
    CSize GetTextExtent(const CString& text) const;
    // Text (DST_TEXT / DST_PREFIXTEXT) or an icon (DST_ICON); DSS_DISABLED
    // draws it etched (text: white one pixel down-right, then grey).
    BOOL DrawState(CPoint point, CSize size, LPCTSTR text, UINT flags, BOOL prefixText = TRUE, int textLength = 0,
                   CBrush* brush = nullptr);
    BOOL DrawState(CPoint point, CSize size, const CString& text, UINT flags, BOOL prefixText = TRUE,
                   int textLength = 0, CBrush* brush = nullptr);
    BOOL DrawState(CPoint point, CSize size, HICON icon, UINT flags, CBrush* brush = nullptr);

    BOOL BitBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, DWORD rop);
    BOOL StretchBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, int srcWidth,
                    int srcHeight, DWORD rop);
    COLORREF GetPixel(int x, int y) const;
    COLORREF GetPixel(POINT point) const { return GetPixel(point.x, point.y); }
    COLORREF SetPixel(int x, int y, COLORREF color);
    COLORREF SetPixel(POINT point, COLORREF color) { return SetPixel(point.x, point.y, color); }
    int GetDeviceCaps(int index) const;
    BOOL DrawIcon(int x, int y, HICON icon);
    BOOL DrawIcon(POINT point, HICON icon) { return DrawIcon(point.x, point.y, icon); }

    HDC m_hDC = nullptr;
};
