#include "Common/controls/GdiPlusBitmap.h"

#include "base/BaseModule.h"

#include <gtest/gtest.h>

using namespace Gdiplus;

TEST(GdiPlusBitmapResource, LoadsBaseButtonStrip)
{
    CGdiPlusBitmapResource strip;
    ASSERT_TRUE(strip.Load(13000, "PNG", GetBaseModuleHandle()));
    ASSERT_NE(strip.m_pBitmap, nullptr);
    EXPECT_EQ(strip.m_pBitmap->GetWidth(), 96u);
    EXPECT_EQ(strip.m_pBitmap->GetHeight(), 18u);
    // The normal look is transparent around its glyph, the hover look of the
    // close button is red.
    Color normal, hover;
    ASSERT_EQ(strip.m_pBitmap->GetPixel(2, 9, &normal), Ok);
    ASSERT_EQ(strip.m_pBitmap->GetPixel(24 + 3, 9, &hover), Ok);
    EXPECT_EQ(normal.GetA(), 0);
    EXPECT_GT(hover.GetA(), 200);
    EXPECT_GT(hover.GetR(), hover.GetG() + 80);

    // Loading again replaces the bitmap; the minimise strip has the same size.
    ASSERT_TRUE(strip.Load(MAKEINTRESOURCE(13001), "png", GetBaseModuleHandle()));
    EXPECT_EQ(strip.m_pBitmap->GetWidth(), 96u);
    strip.Empty();
    EXPECT_EQ(strip.m_pBitmap, nullptr);
}

TEST(GdiPlusBitmapResource, CurrentResourceHandleAndMissingResources)
{
    // With no module given, the current resource handle is searched.
    {
        AFX_MANAGE_STATE(GetBaseModuleHandle());
        CGdiPlusBitmapResource strip(13001, "PNG");
        ASSERT_NE(strip.m_pBitmap, nullptr);
        EXPECT_EQ(strip.m_pBitmap->GetHeight(), 18u);
    }
    CGdiPlusBitmapResource bitmap;
    ASSERT_TRUE(bitmap.Load(13000, "PNG", GetBaseModuleHandle()));
    // A failed load leaves the object empty, whatever it held before.
    EXPECT_FALSE(bitmap.Load(13999, "PNG", GetBaseModuleHandle()));
    EXPECT_EQ(bitmap.m_pBitmap, nullptr);
    EXPECT_FALSE(bitmap.Load(13000, "PNG", nullptr));  // not among the program's resources
    EXPECT_FALSE(bitmap.Load(13000, 2u, GetBaseModuleHandle()));
    EXPECT_EQ(bitmap.m_pBitmap, nullptr);
    // The menu icon strip is a bitmap resource of base.
    EXPECT_TRUE(bitmap.Load(13008, 2u, GetBaseModuleHandle()));
    EXPECT_EQ(bitmap.m_pBitmap->GetWidth(), 224u);
}
