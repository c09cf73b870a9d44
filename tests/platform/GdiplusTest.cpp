#include "platform/codepage.h"
#include "platform/gdiplus.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

using namespace Gdiplus;

namespace {

// The PNG encoder, found the way callers find it: by MIME type.
bool findEncoder(const wchar_t* mime, CLSID* clsid)
{
    UINT count = 0, size = 0;
    if (GetImageEncodersSize(&count, &size) != Ok || size == 0) return false;
    std::vector<unsigned char> storage(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(storage.data());
    if (GetImageEncoders(count, size, codecs) != Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (std::wcscmp(codecs[i].MimeType, mime) == 0) {
            *clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

std::string streamBytes(IStream* stream)
{
    ULONGLONG end = 0;
    stream->Seek(0, STREAM_SEEK_END, &end);
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    std::string bytes(static_cast<size_t>(end), '\0');
    ULONG read = 0;
    stream->Read(&bytes[0], static_cast<ULONG>(bytes.size()), &read);
    bytes.resize(read);
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    return bytes;
}

ARGB pixel(const Bitmap& bmp, int x, int y)
{
    Color c;
    EXPECT_EQ(bmp.GetPixel(x, y, &c), Ok) << x << "," << y;
    return c.GetValue();
}

// Channels of two colours differ by at most `tolerance`.
::testing::AssertionResult near(ARGB expected, ARGB actual, int tolerance)
{
    for (int shift = 0; shift < 32; shift += 8) {
        int a = (expected >> shift) & 0xFF, b = (actual >> shift) & 0xFF;
        if (std::abs(a - b) > tolerance) {
            char text[64];
            std::snprintf(text, sizeof text, "expected %08X, got %08X", expected, actual);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

// A 40x40 picture with an opaque and a half-transparent part.
ARGB testColor(int x, int y)
{
    if (y < 20) return Color::MakeARGB(255, static_cast<BYTE>(x * 6), static_cast<BYTE>(y * 12), 0x40);
    return Color::MakeARGB(static_cast<BYTE>(100 + x), 0xC0, static_cast<BYTE>(y * 5), 0x10);
}

void paint(Bitmap& bmp)
{
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(bmp.SetPixel(x, y, Color(testColor(x, y))), Ok);
}

void expectPainted(const Bitmap& bmp)
{
    ASSERT_EQ(bmp.GetWidth(), 40u);
    ASSERT_EQ(bmp.GetHeight(), 40u);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            // Opaque pixels come back exactly; partly transparent ones within
            // the rounding of premultiplied storage.
            EXPECT_TRUE(near(testColor(x, y), pixel(bmp, x, y), y < 20 ? 0 : 2)) << x << "," << y;
        }
    }
}

void put16(std::string& s, unsigned v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& s, unsigned v)
{
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

// A 24-bit BMP of 3x2 pixels, written byte by byte: rows bottom-up, blue
// first, each row padded to four bytes.
std::string tinyBmp()
{
    const unsigned char rows[2][3][3] = {
        // bottom row (y = 1): blue, green, red
        {{0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0x00, 0x00, 0xFF}},
        // top row (y = 0): white, black, grey
        {{0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00}, {0x80, 0x80, 0x80}},
    };
    const unsigned rowSize = 12, dataSize = rowSize * 2;
    std::string s = "BM";
    put32(s, 14 + 40 + dataSize);
    put32(s, 0);
    put32(s, 14 + 40);
    put32(s, 40);  // BITMAPINFOHEADER
    put32(s, 3);
    put32(s, 2);
    put16(s, 1);
    put16(s, 24);
    put32(s, 0);  // no compression
    put32(s, dataSize);
    put32(s, 2835);
    put32(s, 2835);
    put32(s, 0);
    put32(s, 0);
    for (const auto& row : rows) {
        for (const auto& px : row) s.append(reinterpret_cast<const char*>(px), 3);
        s.append(3, '\0');
    }
    return s;
}

// A 1x1 GIF whose only pixel is colour 0 (red) of a two-colour palette.
std::string tinyGif()
{
    const unsigned char bytes[] = {
        'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0,  // screen: 1x1, global palette of 2
        0xFF, 0x00, 0x00, 0x00, 0x00, 0x00,                     // palette: red, black
        ',', 0, 0, 0, 0, 1, 0, 1, 0, 0,                         // image 1x1 at 0,0
        2, 2, 0x44, 0x01, 0,                                    // LZW: clear, 0, end
        ';'};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// The same one-pixel image on a logical screen of width x height: a few
// dozen bytes that ask the decoder for a picture of the screen's size.
std::string gifOnScreen(unsigned width, unsigned height)
{
    std::string gif = tinyGif();
    gif[6] = static_cast<char>(width & 0xFF);
    gif[7] = static_cast<char>(width >> 8);
    gif[8] = static_cast<char>(height & 0xFF);
    gif[9] = static_cast<char>(height >> 8);
    return gif;
}

std::unique_ptr<Bitmap> fromBytes(const std::string& bytes)
{
    IStream* stream = nullptr;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    std::unique_ptr<Bitmap> bmp(Bitmap::FromStream(stream));
    stream->Release();
    return bmp;
}

}  // namespace

TEST(GdiplusTest, SetPixelGetPixelRoundTrip)
{
    Bitmap bmp(40, 40, PixelFormat32bppARGB);
    ASSERT_EQ(bmp.GetLastStatus(), Ok);
    paint(bmp);
    expectPainted(bmp);

    // A new bitmap is fully transparent.
    Bitmap fresh(2, 2);
    EXPECT_EQ(pixel(fresh, 1, 1), 0u);

    // Low alpha keeps its alpha exactly; fully transparent pixels read as 0.
    ASSERT_EQ(bmp.SetPixel(0, 0, Color(1, 255, 255, 255)), Ok);
    EXPECT_EQ(pixel(bmp, 0, 0), 0x01FFFFFFu);
    ASSERT_EQ(bmp.SetPixel(0, 0, Color(0, 200, 100, 50)), Ok);
    EXPECT_EQ(pixel(bmp, 0, 0) >> 24, 0u);

    // Positions outside the bitmap are refused and nothing is written.
    Color c;
    EXPECT_NE(bmp.GetPixel(40, 0, &c), Ok);
    EXPECT_NE(bmp.GetPixel(0, -1, &c), Ok);
    EXPECT_NE(bmp.SetPixel(-1, 0, Color(255, 1, 2, 3)), Ok);
    EXPECT_NE(bmp.SetPixel(0, 40, Color(255, 1, 2, 3)), Ok);
    EXPECT_NE(bmp.GetPixel(0, 0, nullptr), Ok);

    // A bitmap without size is not valid.
    Bitmap none(0, 5);
    EXPECT_NE(none.GetLastStatus(), Ok);
    EXPECT_EQ(none.GetWidth(), 0u);
    EXPECT_NE(none.SetPixel(0, 0, Color(255, 0, 0, 0)), Ok);
}

TEST(GdiplusTest, PngEncodeAndDecodeKeepPixels)
{
    CLSID png;
    ASSERT_TRUE(findEncoder(L"image/png", &png));
    CLSID none;
    EXPECT_FALSE(findEncoder(L"image/x-unknown", &none));

    Bitmap bmp(40, 40);
    paint(bmp);

    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(bmp.Save(stream, &png, nullptr), Ok);
    std::string bytes = streamBytes(stream);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));

    std::unique_ptr<Bitmap> back(Bitmap::FromStream(stream));
    stream->Release();
    ASSERT_EQ(back->GetLastStatus(), Ok);
    expectPainted(*back);
    // Decoding stores each pixel exactly as it was before encoding.
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) EXPECT_EQ(pixel(*back, x, y), pixel(bmp, x, y)) << x << "," << y;

    // An encoder id that is not PNG is refused.
    IStream* other = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &other);
    CLSID bogus = png;
    bogus.Data1 ^= 1;
    EXPECT_NE(bmp.Save(other, &bogus, nullptr), Ok);
    EXPECT_TRUE(streamBytes(other).empty());
    other->Release();
}

TEST(GdiplusTest, PngFileWithChineseNameRoundTrip)
{
    TempDir dir;
    CLSID png;
    ASSERT_TRUE(findEncoder(L"image/png", &png));
    Bitmap bmp(40, 40);
    paint(bmp);
    const std::wstring path = MultiByteToWide(CP_UTF8, dir.file("\xE5\xA4\xB4\xE5\x83\x8F.png"));
    ASSERT_EQ(bmp.Save(path.c_str(), &png), Ok);
    std::unique_ptr<Bitmap> back(Bitmap::FromFile(path.c_str()));
    ASSERT_EQ(back->GetLastStatus(), Ok);
    expectPainted(*back);

    const std::wstring missing = MultiByteToWide(CP_UTF8, dir.file("missing.png"));
    std::unique_ptr<Bitmap> gone(Bitmap::FromFile(missing.c_str()));
    EXPECT_NE(gone->GetLastStatus(), Ok);
    EXPECT_EQ(gone->GetWidth(), 0u);
}

TEST(GdiplusTest, DrawImageScalesKeepingSolidColours)
{
    // 120x120 in four solid quadrants.
    const ARGB quad[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
    Bitmap big(120, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 120; ++x) big.SetPixel(x, y, Color(quad[(y / 60) * 2 + x / 60]));

    Bitmap small(40, 40);
    {
        Graphics g(&small);
        ASSERT_EQ(g.GetLastStatus(), Ok);
        ASSERT_EQ(g.Clear(Color(255, 255, 255, 255)), Ok);
        ASSERT_EQ(g.DrawImage(&big, 0, 0, 40, 40), Ok);
    }
    // Inside each quadrant (away from the seams) the colour is unchanged.
    for (int q = 0; q < 4; ++q) {
        int x0 = (q % 2) * 20, y0 = (q / 2) * 20;
        for (int y = y0 + 2; y < y0 + 18; ++y)
            for (int x = x0 + 2; x < x0 + 18; ++x) EXPECT_TRUE(near(quad[q], pixel(small, x, y), 1)) << x << "," << y;
    }
    // The edges of the picture are not darkened by transparent surroundings.
    EXPECT_TRUE(near(quad[0], pixel(small, 0, 0), 1));
    EXPECT_TRUE(near(quad[3], pixel(small, 39, 39), 1));

    // Drawing into part of the target leaves the rest as it was.
    Bitmap target(40, 40);
    {
        Graphics g(&target);
        g.Clear(Color(255, 255, 255, 255));
        ASSERT_EQ(g.DrawImage(&big, Rect(10, 10, 20, 20)), Ok);
        // A source rectangle: the blue quadrant alone, scaled into a corner.
        ASSERT_EQ(g.DrawImage(&big, Rect(32, 0, 8, 8), 0, 60, 60, 60, UnitPixel), Ok);
    }
    EXPECT_EQ(pixel(target, 5, 5), 0xFFFFFFFFu);
    EXPECT_EQ(pixel(target, 35, 35), 0xFFFFFFFFu);
    EXPECT_EQ(pixel(target, 9, 20), 0xFFFFFFFFu);
    EXPECT_EQ(pixel(target, 30, 20), 0xFFFFFFFFu);
    EXPECT_TRUE(near(quad[0], pixel(target, 12, 12), 1));
    EXPECT_TRUE(near(quad[3], pixel(target, 27, 27), 1));
    EXPECT_TRUE(near(quad[2], pixel(target, 36, 4), 1));
    EXPECT_EQ(pixel(target, 31, 4), 0xFFFFFFFFu);

    // Drawing an image that is not valid, or onto one, fails.
    Bitmap invalid(0, 0);
    Graphics bad(&invalid);
    EXPECT_NE(bad.GetLastStatus(), Ok);
    EXPECT_NE(bad.DrawImage(&big, 0, 0), Ok);
    Graphics good(&small);
    EXPECT_NE(good.DrawImage(&invalid, 0, 0), Ok);
    EXPECT_NE(good.DrawImage(nullptr, 0, 0), Ok);
}

TEST(GdiplusTest, UndecodableBytesGiveAnInvalidImage)
{
    const std::string garbage = "this is not an image at all, just some text bytes";
    std::unique_ptr<Bitmap> bmp = fromBytes(garbage);
    EXPECT_NE(bmp->GetLastStatus(), Ok);
    EXPECT_EQ(bmp->GetWidth(), 0u);
    EXPECT_EQ(bmp->GetHeight(), 0u);
    Color c;
    EXPECT_NE(bmp->GetPixel(0, 0, &c), Ok);

    // An empty stream.
    std::unique_ptr<Bitmap> empty = fromBytes("");
    EXPECT_NE(empty->GetLastStatus(), Ok);
    EXPECT_EQ(empty->GetWidth(), 0u);

    CLSID png;
    ASSERT_TRUE(findEncoder(L"image/png", &png));

    // A PNG cut off in transit is not an image, though its header is whole.
    Bitmap whole(60, 60);
    paint(whole);
    IStream* encoded = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &encoded);
    ASSERT_EQ(whole.Save(encoded, &png), Ok);
    const std::string full = streamBytes(encoded);
    encoded->Release();
    EXPECT_EQ(fromBytes(full)->GetLastStatus(), Ok);
    std::unique_ptr<Bitmap> cut = fromBytes(full.substr(0, full.size() / 2));
    EXPECT_NE(cut->GetLastStatus(), Ok);
    EXPECT_EQ(cut->GetWidth(), 0u);

    // Saving an invalid image fails.
    IStream* out = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &out);
    EXPECT_NE(bmp->Save(out, &png), Ok);
    out->Release();
}

TEST(GdiplusTest, PicturesClaimingHugeSizesAreRefusedBeforeDecoding)
{
    // 4096 x 4096 (16 megapixels) is the largest picture decoded.
    std::unique_ptr<Bitmap> large = fromBytes(gifOnScreen(4096, 4096));
    ASSERT_EQ(large->GetLastStatus(), Ok);
    EXPECT_EQ(large->GetWidth(), 4096u);
    EXPECT_EQ(large->GetHeight(), 4096u);
    EXPECT_EQ(pixel(*large, 0, 0), 0xFFFF0000u);
    large.reset();

    // 68 bytes asking for 12000 x 12000 pixels (over half a gigabyte), a
    // side over 16384, or one more row than the largest: refused.
    for (const auto& size : {std::make_pair(12000u, 12000u), std::make_pair(20000u, 2u), std::make_pair(4096u, 4097u)}) {
        std::unique_ptr<Bitmap> huge = fromBytes(gifOnScreen(size.first, size.second));
        EXPECT_NE(huge->GetLastStatus(), Ok) << size.first << " x " << size.second;
        EXPECT_EQ(huge->GetWidth(), 0u);
    }
}

TEST(GdiplusTest, DecodesBmpAndGif)
{
    std::unique_ptr<Bitmap> bmp = fromBytes(tinyBmp());
    ASSERT_EQ(bmp->GetLastStatus(), Ok);
    ASSERT_EQ(bmp->GetWidth(), 3u);
    ASSERT_EQ(bmp->GetHeight(), 2u);
    EXPECT_EQ(pixel(*bmp, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(pixel(*bmp, 1, 0), 0xFF000000u);
    EXPECT_EQ(pixel(*bmp, 2, 0), 0xFF808080u);
    EXPECT_EQ(pixel(*bmp, 0, 1), 0xFF0000FFu);
    EXPECT_EQ(pixel(*bmp, 1, 1), 0xFF00FF00u);
    EXPECT_EQ(pixel(*bmp, 2, 1), 0xFFFF0000u);

    std::unique_ptr<Bitmap> gif = fromBytes(tinyGif());
    ASSERT_EQ(gif->GetLastStatus(), Ok);
    ASSERT_EQ(gif->GetWidth(), 1u);
    ASSERT_EQ(gif->GetHeight(), 1u);
    EXPECT_EQ(pixel(*gif, 0, 0), 0xFFFF0000u);

    // Decoding starts at the stream's current position.
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    const std::string prefixed = "skip" + tinyBmp();
    stream->Write(prefixed.data(), static_cast<ULONG>(prefixed.size()), nullptr);
    stream->Seek(4, STREAM_SEEK_SET, nullptr);
    std::unique_ptr<Bitmap> fromMiddle(Bitmap::FromStream(stream));
    stream->Release();
    ASSERT_EQ(fromMiddle->GetLastStatus(), Ok);
    EXPECT_EQ(fromMiddle->GetWidth(), 3u);
}
