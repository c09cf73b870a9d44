#include "platform/gdi.h"
#include "platform/gdiplus.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using namespace Gdiplus;

namespace {

const COLORREF kWhite = RGB(255, 255, 255);

// A memory DC with a w x h bitmap selected, filled white.
struct MemDC {
    CDC dc;
    CBitmap bitmap;
    CBitmap* previous = nullptr;
    MemDC(int w, int h)
    {
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateCompatibleBitmap(&dc, w, h);
        previous = dc.SelectObject(&bitmap);
        dc.FillSolidRect(0, 0, w, h, kWhite);
    }
    ~MemDC() { dc.SelectObject(previous); }
};

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
    bool empty() const { return right < 0; }
};

// Bounding box of the pixels for which `inked` holds.
Box inkBox(int w, int h, const std::function<bool(int, int)>& inked)
{
    Box b;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (inked(x, y)) {
                b.left = std::min(b.left, x);
                b.top = std::min(b.top, y);
                b.right = std::max(b.right, x);
                b.bottom = std::max(b.bottom, y);
            }
    return b;
}

ARGB argbAt(const Bitmap& bmp, int x, int y)
{
    Color c;
    EXPECT_EQ(Ok, bmp.GetPixel(x, y, &c));
    return c.GetValue();
}

}  // namespace

// ---------------------------------------------------------------- GDI

TEST(Gdi, SolidFillsAndThreeDFrameHitExactPixels)
{
    MemDC m(10, 8);
    m.dc.FillSolidRect(CRect(2, 2, 5, 4), RGB(10, 20, 30));
    EXPECT_EQ(RGB(10, 20, 30), m.dc.GetPixel(2, 2));
    EXPECT_EQ(RGB(10, 20, 30), m.dc.GetPixel(4, 3));
    EXPECT_EQ(kWhite, m.dc.GetPixel(5, 3));
    EXPECT_EQ(kWhite, m.dc.GetPixel(4, 4));
    EXPECT_EQ(RGB(10, 20, 30), m.dc.GetBkColor());  // the fill colour becomes the background colour

    // Etched separator frame: the top and left edges stop short of the far
    // corners, which belong to the right and bottom edges.
    const COLORREF tl = RGB(0xC0, 0xC0, 0xC0), br = kWhite;
    m.dc.FillSolidRect(0, 0, 10, 8, RGB(0, 0, 0));
    m.dc.Draw3dRect(CRect(1, 1, 6, 5), tl, br);
    EXPECT_EQ(tl, m.dc.GetPixel(1, 1));
    EXPECT_EQ(tl, m.dc.GetPixel(4, 1));
    EXPECT_EQ(br, m.dc.GetPixel(5, 1));  // top-right corner
    EXPECT_EQ(tl, m.dc.GetPixel(1, 3));
    EXPECT_EQ(br, m.dc.GetPixel(1, 4));  // bottom-left corner
    EXPECT_EQ(br, m.dc.GetPixel(5, 4));
    EXPECT_EQ(RGB(0, 0, 0), m.dc.GetPixel(2, 2));  // inside untouched
    EXPECT_EQ(RGB(0, 0, 0), m.dc.GetPixel(6, 1));
}

TEST(Gdi, PenAndBrushShapesAndLines)
{
    MemDC m(12, 12);
    CPen pen(PS_SOLID, 1, RGB(255, 0, 0));
    CBrush brush(RGB(195, 235, 255));
    CPen* oldPen = m.dc.SelectObject(&pen);
    CBrush* oldBrush = m.dc.SelectObject(&brush);
    m.dc.Rectangle(1, 1, 6, 5);
    EXPECT_EQ(RGB(255, 0, 0), m.dc.GetPixel(1, 1));
    EXPECT_EQ(RGB(255, 0, 0), m.dc.GetPixel(5, 4));
    EXPECT_EQ(RGB(195, 235, 255), m.dc.GetPixel(3, 2));
    EXPECT_EQ(kWhite, m.dc.GetPixel(6, 5));

    // A line leaves out its end point.
    m.dc.MoveTo(0, 8);
    m.dc.LineTo(5, 8);
    EXPECT_EQ(RGB(255, 0, 0), m.dc.GetPixel(0, 8));
    EXPECT_EQ(RGB(255, 0, 0), m.dc.GetPixel(4, 8));
    EXPECT_EQ(kWhite, m.dc.GetPixel(5, 8));

    // Selecting back returns the objects selected in between.
    EXPECT_EQ(static_cast<HGDIOBJ>(pen), m.dc.SelectObject(oldPen)->GetSafeHandle());
    EXPECT_EQ(static_cast<HGDIOBJ>(brush), m.dc.SelectObject(oldBrush)->GetSafeHandle());
}

TEST(Gdi, BitmapsSelectCopyAndOutliveTheirHandles)
{
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    CBitmap bmp;
    ASSERT_TRUE(bmp.CreateCompatibleBitmap(&dc, 22, 68));
    BITMAP info;
    ASSERT_EQ(static_cast<int>(sizeof info), bmp.GetBitmap(&info));
    EXPECT_EQ(22, info.bmWidth);
    EXPECT_EQ(68, info.bmHeight);

    CBitmap* first = dc.SelectObject(&bmp);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(RGB(0, 0, 0), dc.GetPixel(0, 0));  // a new bitmap is black
    dc.SetPixel(3, 4, RGB(1, 2, 3));
    EXPECT_EQ(RGB(1, 2, 3), dc.GetPixel(3, 4));
    EXPECT_EQ(CLR_INVALID, dc.GetPixel(22, 0));

    MemDC other(30, 30);
    EXPECT_TRUE(other.dc.BitBlt(10, 10, 5, 5, &dc, 1, 2, SRCCOPY));
    EXPECT_EQ(RGB(1, 2, 3), other.dc.GetPixel(12, 12));
    EXPECT_EQ(RGB(0, 0, 0), other.dc.GetPixel(10, 10));
    EXPECT_EQ(kWhite, other.dc.GetPixel(15, 15));
    EXPECT_TRUE(other.dc.StretchBlt(0, 0, 4, 4, &dc, 3, 4, 1, 1, SRCCOPY));
    EXPECT_EQ(RGB(1, 2, 3), other.dc.GetPixel(3, 3));

    // Deleting a selected bitmap leaves the DC drawing safely; the handle is dead.
    HGDIOBJ handle = bmp.Detach();
    EXPECT_TRUE(DeleteObject(handle));
    EXPECT_FALSE(DeleteObject(handle));
    dc.FillSolidRect(0, 0, 2, 2, RGB(9, 9, 9));
    EXPECT_EQ(RGB(9, 9, 9), dc.GetPixel(1, 1));
    dc.SelectObject(first);
    dc.FillSolidRect(0, 0, 1, 1, RGB(9, 9, 9));
    EXPECT_EQ(RGB(9, 9, 9), dc.GetPixel(0, 0));
}

TEST(Gdi, RestoreDCBringsBackObjectsAndClip)
{
    MemDC m(10, 10);
    CFont font;
    font.CreatePointFont(90, "Arial");
    const HGDIOBJ stockFont = m.dc.GetCurrentFont()->GetSafeHandle();
    const int saved = m.dc.SaveDC();
    m.dc.SelectObject(&font);
    m.dc.SetTextColor(RGB(1, 2, 3));
    m.dc.IntersectClipRect(0, 0, 2, 2);
    m.dc.FillSolidRect(0, 0, 10, 10, RGB(0, 0, 0));
    EXPECT_EQ(kWhite, m.dc.GetPixel(5, 5));
    EXPECT_TRUE(m.dc.RestoreDC(saved));
    EXPECT_EQ(stockFont, m.dc.GetCurrentFont()->GetSafeHandle());
    EXPECT_EQ(RGB(0, 0, 0), m.dc.GetTextColor());
    m.dc.FillSolidRect(0, 0, 10, 10, RGB(0, 0, 0));
    EXPECT_EQ(RGB(0, 0, 0), m.dc.GetPixel(5, 5));
    EXPECT_FALSE(m.dc.RestoreDC(-1));
}

TEST(Gdi, RoundRectRegionDropsCornersAndFarEdges)
{
    CRgn rgn;
    ASSERT_TRUE(rgn.CreateRoundRectRgn(0, 0, 20, 10, 4, 4));
    CRect box;
    EXPECT_EQ(COMPLEXREGION, rgn.GetRgnBox(&box));
    EXPECT_EQ(CRect(0, 0, 19, 9), box);
    EXPECT_FALSE(rgn.PtInRegion(0, 0));
    EXPECT_TRUE(rgn.PtInRegion(1, 0));
    EXPECT_TRUE(rgn.PtInRegion(2, 0));
    EXPECT_TRUE(rgn.PtInRegion(0, 1));
    EXPECT_FALSE(rgn.PtInRegion(18, 0));
    EXPECT_TRUE(rgn.PtInRegion(17, 0));
    EXPECT_FALSE(rgn.PtInRegion(0, 8));
    EXPECT_FALSE(rgn.PtInRegion(18, 8));
    EXPECT_TRUE(rgn.PtInRegion(18, 4));
    EXPECT_FALSE(rgn.PtInRegion(19, 4));
    EXPECT_FALSE(rgn.PtInRegion(5, 9));
}

TEST(Gdi, TextIsCentredAndMeasured)
{
    CFont font;
    ASSERT_TRUE(font.CreatePointFont(120, "Arial"));
    LOGFONT lf;
    font.GetLogFont(&lf);
    EXPECT_EQ(-16, lf.lfHeight);
    auto draw = [&](MemDC& m) {
        m.dc.SelectObject(&font);
        m.dc.SetBkMode(TRANSPARENT);
        m.dc.SetTextColor(RGB(0, 0, 0));
    };
    auto ink = [](MemDC& m, int w, int h) {
        return inkBox(w, h, [&](int x, int y) { return m.dc.GetPixel(x, y) != kWhite; });
    };

    // Where the ink of the text lies in its own cell, whatever face the
    // system gives for the name: the text written at the origin.
    MemDC plain(120, 40);
    draw(plain);
    ASSERT_TRUE(plain.dc.TextOut(0, 0, CString("HHHH")));
    const Box cell = ink(plain, 120, 40);
    ASSERT_FALSE(cell.empty());
    const CSize extent = plain.dc.GetTextExtent("HHHH");
    EXPECT_GT(extent.cx, cell.right - cell.left);
    EXPECT_GT(extent.cy, cell.bottom - cell.top);

    // Centred both ways, the cell sits in the middle of the rectangle and
    // the ink with it.
    MemDC m(120, 40);
    draw(m);
    CRect rc(0, 0, 120, 40);
    m.dc.DrawText(CString("HHHH"), rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    const Box b = ink(m, 120, 40);
    ASSERT_FALSE(b.empty());
    const int dx = (120 - extent.cx) / 2, dy = (40 - extent.cy) / 2;
    EXPECT_NEAR(cell.left + dx, b.left, 1);
    EXPECT_NEAR(cell.right + dx, b.right, 1);
    EXPECT_NEAR(cell.top + dy, b.top, 1);
    EXPECT_NEAR(cell.bottom + dy, b.bottom, 1);

    CRect calc(5, 5, 6, 6);
    m.dc.DrawText("HHHH", -1, calc, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(extent.cx, calc.Width());
    EXPECT_EQ(extent.cy, calc.Height());
    EXPECT_LT(m.dc.GetTextExtent("HH").cx, extent.cx);
}

TEST(Gdi, DisabledTextIsEtched)
{
    MemDC m(80, 30);
    LOGFONT lf;
    lf.lfHeight = -24;
    lf.lfWeight = FW_BOLD;
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    m.dc.SelectObject(&font);
    m.dc.FillSolidRect(0, 0, 80, 30, RGB(0, 0, 0));
    m.dc.DrawState(CPoint(4, 2), CSize(0, 0), "HI", DSS_DISABLED | DST_TEXT);
    // A grey body with a white copy one pixel lower (and to the right).
    const COLORREF grey = RGB(160, 160, 160);
    Box ink = inkBox(80, 30, [&](int x, int y) { return m.dc.GetPixel(x, y) != 0; });
    Box body = inkBox(80, 30, [&](int x, int y) {
        return m.dc.GetPixel(x - 1, y) == grey && m.dc.GetPixel(x, y) == grey && m.dc.GetPixel(x + 1, y) == grey;
    });
    ASSERT_FALSE(body.empty());
    EXPECT_FALSE(inkBox(80, 30, [&](int x, int y) { return m.dc.GetPixel(x, y) == kWhite; }).empty());
    EXPECT_EQ(body.top, ink.top);
    EXPECT_EQ(body.bottom + 1, ink.bottom);
    EXPECT_GT(ink.right, body.right);
}

TEST(Gdi, IconsKeepMaskAndHotSpot)
{
    const BYTE maskBits[4 * 2] = {0x80, 0, 0, 0, 0, 0, 0, 0};  // 4x4, 1 bpp, word rows: (0,0) white
    CBitmap mask, color;
    mask.CreateBitmap(4, 4, 1, 1, maskBits);
    color.CreateBitmap(4, 4, 1, 32, nullptr);
    {
        CDC dc;
        dc.CreateCompatibleDC(nullptr);
        CBitmap* old = dc.SelectObject(&color);
        dc.FillSolidRect(0, 0, 4, 4, RGB(0, 128, 255));
        dc.SelectObject(old);
    }
    ICONINFO in;
    in.hbmColor = color;
    in.hbmMask = mask;
    HICON icon = CreateIconIndirect(&in);
    ASSERT_NE(nullptr, icon);

    ICONINFO out;
    ASSERT_TRUE(GetIconInfo(icon, &out));
    EXPECT_EQ(2u, out.xHotspot);
    EXPECT_EQ(2u, out.yHotspot);
    MemDC m(8, 8);
    EXPECT_TRUE(m.dc.DrawIcon(2, 2, icon));
    EXPECT_EQ(kWhite, m.dc.GetPixel(2, 2));  // masked pixel
    EXPECT_EQ(RGB(0, 128, 255), m.dc.GetPixel(3, 2));
    DeleteObject(out.hbmColor);
    DeleteObject(out.hbmMask);
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_FALSE(GetIconInfo(icon, &out));
}

// ---------------------------------------------------------------- GDI+

TEST(GdiPlus, OnePixelPenAndRoundedFrameWithoutSmoothing)
{
    const int w = 12, h = 9;
    Bitmap bmp(w, h);
    Graphics g(&bmp);
    g.SetSmoothingMode(SmoothingModeNone);
    Pen pen(Color(255, 0, 0, 0), 1);
    g.DrawRectangle(&pen, 0, 0, w - 1, h - 1);
    for (int x = 0; x < w; ++x) {
        EXPECT_EQ(0xFF000000u, argbAt(bmp, x, 0)) << x;
        EXPECT_EQ(0xFF000000u, argbAt(bmp, x, h - 1)) << x;
    }
    for (int y = 1; y < h - 1; ++y) {
        EXPECT_EQ(0xFF000000u, argbAt(bmp, 0, y)) << y;
        EXPECT_EQ(0xFF000000u, argbAt(bmp, w - 1, y)) << y;
        EXPECT_EQ(0u, argbAt(bmp, 1, y)) << y;
    }

    // The frame border: arcs of d = 4 over (0, 0, w - 2, h - 2), inside the
    // window region of the same window.
    g.Clear(Color(0, 0, 0, 0));
    GraphicsPath path;
    const int l = 0, t = 0, r = w - 2, b = h - 2, d = 4;
    path.AddArc(l, t, d, d, 180, 90);
    path.AddArc(r - d, t, d, d, 270, 90);
    path.AddArc(r - d, b - d, d, d, 0, 90);
    path.AddArc(l, b - d, d, d, 90, 90);
    path.CloseFigure();
    g.DrawPath(&pen, &path);
    CRgn region;
    region.CreateRoundRectRgn(0, 0, w, h, 4, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (argbAt(bmp, x, y)) {
                EXPECT_TRUE(region.PtInRegion(x, y)) << x << "," << y;
            }
    EXPECT_EQ(0u, argbAt(bmp, 0, 0));
    EXPECT_EQ(0u, argbAt(bmp, r, 0));
    EXPECT_EQ(0u, argbAt(bmp, r, b));
    EXPECT_EQ(0u, argbAt(bmp, 1, 1));
    EXPECT_NE(0u, argbAt(bmp, 2, 0));
    EXPECT_NE(0u, argbAt(bmp, 0, 2));
    EXPECT_NE(0u, argbAt(bmp, 5, b));
    EXPECT_NE(0u, argbAt(bmp, r, 4));
    // The corner is closed: (1, 0) and (0, 1) join the two edges.
    EXPECT_NE(0u, argbAt(bmp, 1, 0) | argbAt(bmp, 1, 1));
    EXPECT_NE(0u, argbAt(bmp, 0, 1) | argbAt(bmp, 1, 1));
}

TEST(GdiPlus, GradientAndTextureBrushes)
{
    Bitmap bmp(20, 17);
    Graphics g(&bmp);
    LinearGradientBrush grad(Rect(0, 0, 20, 17), Color(0x70FFFFFF), Color(0x00FFFFFF), LinearGradientModeVertical);
    grad.SetWrapMode(WrapModeTile);
    g.FillRectangle(&grad, Rect(0, 0, 20, 17));
    EXPECT_NEAR(0x70, argbAt(bmp, 5, 0) >> 24, 1);
    EXPECT_LE(argbAt(bmp, 5, 16) >> 24, 8u);
    for (int y = 1; y < 17; ++y) EXPECT_LE(argbAt(bmp, 5, y) >> 24, argbAt(bmp, 5, y - 1) >> 24);

    Bitmap tile(2, 3);
    tile.SetPixel(0, 0, Color(0xFFFF0000));
    tile.SetPixel(1, 2, Color(0xFF0000FF));
    TextureBrush texture(&tile, WrapModeTile);
    Bitmap out(7, 7);
    Graphics g2(&out);
    g2.FillRectangle(&texture, 1, 1, 6, 6);
    for (int y = 1; y < 7; ++y)
        for (int x = 1; x < 7; ++x) EXPECT_EQ(argbAt(tile, x % 2, y % 3), argbAt(out, x, y)) << x << "," << y;
    EXPECT_EQ(0u, argbAt(out, 0, 0));
}

TEST(GdiPlus, DrawStringStaysInsideItsLayoutRectangle)
{
    Bitmap bmp(120, 60);
    Graphics g(&bmp);
    g.Clear(Color(0xFFFFFFFF));
    Font font(L"宋体", 12, FontStyleRegular, UnitPixel);
    ASSERT_EQ(Ok, font.GetLastStatus());
    SolidBrush black(Color(0xFF000000));
    const RectF layout(10, 10, 50, 30);
    ASSERT_EQ(Ok, g.DrawString(L"你好，这是一段比较长的中文文字", -1, &font, layout, nullptr, &black));
    Box b = inkBox(120, 60, [&](int x, int y) { return argbAt(bmp, x, y) != 0xFFFFFFFFu; });
    ASSERT_FALSE(b.empty());
    EXPECT_GE(b.left, 10);
    EXPECT_GE(b.top, 10);
    EXPECT_LT(b.right, 60);
    EXPECT_LT(b.bottom, 40);
    EXPECT_GT(b.bottom - b.top, 14);  // wrapped onto a second line

    RectF one, two;
    g.MeasureString(L"中", -1, &font, PointF(0, 0), &one);
    g.MeasureString(L"中中", -1, &font, PointF(0, 0), &two);
    EXPECT_NEAR(12, one.Width, 1);
    EXPECT_NEAR(2 * one.Width, two.Width, 1);

    // At a point the text is not clipped.
    g.Clear(Color(0xFFFFFFFF));
    g.DrawString(L"中中中中中中中中中中中中中中", -1, &font, PointF(2, 2), &black);
    EXPECT_GT(inkBox(120, 60, [&](int x, int y) { return argbAt(bmp, x, y) != 0xFFFFFFFFu; }).right, 100);
}

TEST(GdiPlus, HbitmapRoundTripCompositesOntoBackground)
{
    Bitmap bmp(2, 1);
    bmp.SetPixel(0, 0, Color(128, 255, 0, 0));
    bmp.SetPixel(1, 0, Color(255, 0, 255, 0));
    HBITMAP hbm = nullptr;
    ASSERT_EQ(Ok, bmp.GetHBITMAP(Color(255, 0, 0, 255), &hbm));
    ASSERT_NE(nullptr, hbm);
    std::unique_ptr<Bitmap> back(Bitmap::FromHBITMAP(hbm, nullptr));
    ASSERT_EQ(Ok, back->GetLastStatus());
    Color c;
    back->GetPixel(0, 0, &c);
    EXPECT_EQ(255, c.GetA());
    EXPECT_NEAR(128, c.GetR(), 1);
    EXPECT_NEAR(127, c.GetB(), 1);
    EXPECT_EQ(0xFF00FF00u, argbAt(*back, 1, 0));

    // A Graphics on a DC draws into the selected bitmap.
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    HGDIOBJ old = dc.SelectObject(static_cast<HGDIOBJ>(hbm));
    {
        Graphics g(dc.GetSafeHdc());
        SolidBrush brush(Color(0xFF102030));
        EXPECT_EQ(Ok, g.FillRectangle(&brush, 1, 0, 1, 1));
    }
    EXPECT_EQ(RGB(0x10, 0x20, 0x30), dc.GetPixel(1, 0));
    dc.SelectObject(old);
    EXPECT_TRUE(DeleteObject(hbm));
}
