#include "Common/Common.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Gdiplus;

namespace {

// An icon of `size` x `size` pixels, all of one opaque colour.
HICON solidIcon(int size, COLORREF color)
{
    CBitmap bitmap, mask;
    bitmap.CreateBitmap(size, size, 1, 32, nullptr);
    mask.CreateBitmap(size, size, 1, 1, nullptr);
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CBitmap* old = dc.SelectObject(&bitmap);
    dc.FillSolidRect(0, 0, size, size, color);
    dc.SelectObject(old);
    ICONINFO info;
    info.hbmColor = bitmap;
    info.hbmMask = mask;
    return CreateIconIndirect(&info);
}

}  // namespace

TEST(ImageHelpers, GreyKeepsRedAndGreenOnly)
{
    CDC screen;
    ASSERT_TRUE(screen.CreateCompatibleDC(nullptr));
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&screen, 4, 2));
    {
        CDC dc;
        dc.CreateCompatibleDC(&screen);
        CBitmap* old = dc.SelectObject(&bitmap);
        dc.SetPixel(0, 0, RGB(255, 0, 0));
        dc.SetPixel(1, 0, RGB(0, 255, 0));
        dc.SetPixel(2, 0, RGB(0, 0, 255));
        dc.SetPixel(3, 1, RGB(100, 50, 200));
        dc.SelectObject(old);
    }
    // Without a DC nothing changes.
    EXPECT_EQ(static_cast<HBITMAP>(bitmap), CCommon::BitmapColorToGray(nullptr, bitmap));

    EXPECT_EQ(static_cast<HBITMAP>(bitmap), CCommon::BitmapColorToGray(&screen, bitmap));
    CDC dc;
    dc.CreateCompatibleDC(&screen);
    CBitmap* old = dc.SelectObject(&bitmap);
    EXPECT_EQ(RGB(76, 76, 76), dc.GetPixel(0, 0));
    EXPECT_EQ(RGB(178, 178, 178), dc.GetPixel(1, 0));
    EXPECT_EQ(RGB(0, 0, 0), dc.GetPixel(2, 0));
    EXPECT_EQ(RGB(65, 65, 65), dc.GetPixel(3, 1));  // (7 * 50 + 3 * 100) / 10
    dc.SelectObject(old);

    // The grey bitmap comes back as an opaque image.
    std::unique_ptr<Bitmap> image(Bitmap::FromHBITMAP(bitmap, nullptr));
    Color c;
    image->GetPixel(1, 0, &c);
    EXPECT_EQ(0xFFB2B2B2u, c.GetValue());
}

TEST(ImageHelpers, HeadImageBecomesAnIconOfTheOldIconsSize)
{
    HICON original = solidIcon(16, RGB(1, 2, 3));
    ASSERT_NE(nullptr, original);
    // A 40x40 head: left half opaque red, right half fully transparent.
    Bitmap head(40, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 20; ++x) head.SetPixel(x, y, Color(0xFFFF0000));

    HICON icon = original;
    ASSERT_EQ(1, CCommon::ConvertBitmapToHICON(&head, &icon));
    ASSERT_NE(original, icon);
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_EQ(8u, info.xHotspot);
    BITMAP bm;
    GetObject(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(16, bm.bmWidth);
    EXPECT_EQ(16, bm.bmHeight);
    {
        CDC dc;
        dc.CreateCompatibleDC(nullptr);
        HGDIOBJ old = dc.SelectObject(static_cast<HGDIOBJ>(info.hbmColor));
        EXPECT_EQ(RGB(255, 0, 0), dc.GetPixel(2, 8));
        EXPECT_EQ(RGB(0, 0, 0), dc.GetPixel(13, 8));  // transparent parts turn opaque black
        dc.SelectObject(old);
        old = dc.SelectObject(static_cast<HGDIOBJ>(info.hbmMask));
        EXPECT_EQ(RGB(0, 0, 0), dc.GetPixel(13, 8));  // nothing is masked out
        dc.SelectObject(old);
    }
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    // The old icon still lives.
    EXPECT_TRUE(DestroyIcon(original));
    EXPECT_TRUE(DestroyIcon(icon));

    // A dead icon cannot be read: 0 and the handle stays.
    HICON dead = icon;
    EXPECT_EQ(0, CCommon::ConvertBitmapToHICON(&head, &dead));
    EXPECT_EQ(icon, dead);
}
