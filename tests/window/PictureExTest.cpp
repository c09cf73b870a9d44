// The animated picture control: GIF parsing (sound and hostile), stills,
// playing, disposal, stopping and destruction while playing.
#include "Common/controls/PictureEx.h"
#include "tests/window/GifBuilder.h"

#include "platform/uiapp.h"
#include "tests/platform/UiWait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>

namespace {

// Palette of the test GIFs: index 0 red, 1 green, 2 blue, 3 white.
const DWORD kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;
const DWORD kButtonFace = 0xF0F0F0;

using testgif::GifFrame;
using testgif::MakeGif;

std::vector<BYTE> ThreeColourGif(std::vector<size_t>* frameEnds = nullptr)
{
    return MakeGif(4, 4, {{0, 0, 4, 4, 0, 5}, {0, 0, 4, 4, 1, 5}, {0, 0, 4, 4, 2, 5}}, frameEnds);
}

// A 4x4 24-bit BMP: left half red, right half blue.
std::vector<BYTE> HalfAndHalfBmp()
{
    std::vector<BYTE> b = {'B', 'M', 102, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0,
                           1, 0, 24, 0, 0, 0, 0, 0, 48, 0, 0, 0};
    b.resize(54, 0);
    for (int i = 0; i < 16; ++i)
        b.insert(b.end(), i % 4 < 2 ? std::initializer_list<BYTE>{0, 0, 0xFF} : std::initializer_list<BYTE>{0xFF, 0, 0});
    return b;
}

BOOL LoadBytes(CPictureEx& picture, std::vector<BYTE> bytes)
{
    // A buffer of exactly the given size, so that reading past it shows.
    return picture.Load(static_cast<HGLOBAL>(bytes.data()), static_cast<DWORD>(bytes.size()));
}

class PictureEx : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        ASSERT_TRUE(parent.CreateEx(0, nullptr, "pictures", WS_POPUP | WS_VISIBLE, 100, 100, 200, 120, nullptr, 0));
        ASSERT_TRUE(Create(picture));
        ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(parent.m_hWnd); })) << "the window is not shown";
    }
    void TearDown() override
    {
        if (picture.m_hWnd) picture.DestroyWindow();
        if (parent.m_hWnd) parent.DestroyWindow();
        uiwait::QueuedWorkDone();
    }
    BOOL Create(CPictureEx& control)
    {
        return control.Create(nullptr, WS_CHILD | WS_VISIBLE, CRect(10, 10, 60, 50), &parent, 100);
    }
    DWORD Pixel(int x, int y) { return lumui::WindowPixel(picture.m_hWnd, x, y) & 0xFFFFFF; }
    // Pumps until the control shows `colour` at (x, y).
    bool Shows(int x, int y, DWORD colour, int timeoutMs = 3000)
    {
        return lumui::PumpUntil([&] { return Pixel(x, y) == colour; }, timeoutMs);
    }

    CWnd parent;
    CPictureEx picture;
};

}  // namespace

TEST_F(PictureEx, FrameWaitsFollowTheDelays)
{
    EXPECT_EQ(CPictureEx::FrameWait(0), 100u);
    EXPECT_EQ(CPictureEx::FrameWait(4), 100u);
    EXPECT_EQ(CPictureEx::FrameWait(5), 50u);
    EXPECT_EQ(CPictureEx::FrameWait(10), 100u);
    // A frame without a delay of its own waits until stopped.
    EXPECT_EQ(CPictureEx::FrameWait(0xFFFFFFFFu), 0xFFFFFFF6u);

    ASSERT_TRUE(LoadBytes(picture, MakeGif(4, 4, {{0, 0, 4, 4, 0, 0}, {0, 0, 4, 4, 1, 4},
                                                  {0, 0, 4, 4, 2, 5}, {0, 0, 4, 4, 0, 10}})));
    EXPECT_EQ(picture.GetFrameCount(), 4);
}

TEST_F(PictureEx, StillsFillTheControlAndShowThePaintRect)
{
    // A one-frame GIF is a still.
    ASSERT_TRUE(LoadBytes(picture, MakeGif(4, 4, {{0, 0, 4, 4, 1, 10}})));
    EXPECT_TRUE(picture.IsGIF());
    EXPECT_FALSE(picture.IsAnimatedGIF());
    EXPECT_EQ(picture.GetFrameCount(), 0);
    EXPECT_EQ(CSize(picture.GetSize()), CSize(4, 4));
    EXPECT_EQ(picture.GetBkColor(), GetSysColor(COLOR_BTNFACE));
    CRect r;
    picture.GetWindowRect(&r);
    EXPECT_EQ(r, CRect(110, 110, 114, 114));  // resized, not moved
    EXPECT_TRUE(picture.Draw());
    EXPECT_TRUE(Shows(3, 3, kGreen));

    // Any other picture format; the paint rectangle picks the part shown.
    ASSERT_TRUE(LoadBytes(picture, HalfAndHalfBmp()));
    EXPECT_FALSE(picture.IsGIF());
    EXPECT_EQ(picture.GetFrameCount(), 0);
    EXPECT_TRUE(picture.Draw());
    EXPECT_TRUE(Shows(0, 0, kRed));
    const RECT right = {2, 0, 4, 4};
    picture.SetPaintRect(&right);
    RECT got;
    picture.GetPaintRect(&got);
    EXPECT_EQ(CRect(got), CRect(right));
    picture.Invalidate();
    EXPECT_TRUE(Shows(0, 0, kBlue));

    // From a file as well.
    char path[] = "/tmp/pictureexXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::vector<BYTE> bmp = HalfAndHalfBmp();
    ASSERT_EQ(write(fd, bmp.data(), bmp.size()), static_cast<ssize_t>(bmp.size()));
    close(fd);
    EXPECT_TRUE(picture.Load(path));
    EXPECT_EQ(CSize(picture.GetSize()), CSize(4, 4));
    unlink(path);
    EXPECT_FALSE(picture.Load(path));
}

TEST_F(PictureEx, NoPictureLeavesTheControlEmpty)
{
    // Before any load the colour cannot be set.
    picture.SetBkColor(RGB(1, 2, 3));
    EXPECT_EQ(picture.GetBkColor(), RGB(255, 255, 255));
    EXPECT_FALSE(picture.Draw());

    const std::string text = "this is not a picture at all";
    EXPECT_FALSE(LoadBytes(picture, std::vector<BYTE>(text.begin(), text.end())));
    EXPECT_FALSE(picture.IsGIF());
    EXPECT_EQ(CSize(picture.GetSize()), CSize(0, 0));
    EXPECT_FALSE(picture.Draw());
    CRect r;
    picture.GetWindowRect(&r);
    EXPECT_EQ(r, CRect(110, 110, 160, 150));
    EXPECT_FALSE(picture.Load("no-such-resource", "gif"));

    // A picture that fails to load replaces the one before.
    ASSERT_TRUE(LoadBytes(picture, ThreeColourGif()));
    EXPECT_FALSE(LoadBytes(picture, std::vector<BYTE>(text.begin(), text.end())));
    EXPECT_FALSE(picture.IsAnimatedGIF());
    EXPECT_EQ(picture.GetBkColor(), RGB(255, 255, 255));
}

TEST_F(PictureEx, AnimationPlaysEveryFrameAndStopsPromptly)
{
    ASSERT_TRUE(LoadBytes(picture, ThreeColourGif()));
    EXPECT_TRUE(picture.IsAnimatedGIF());
    EXPECT_EQ(picture.GetFrameCount(), 3);
    EXPECT_FALSE(picture.Draw());  // playing happens on the thread
    EXPECT_TRUE(lumui::PumpUntil([&] { return picture.IsPlaying(); }));
    EXPECT_TRUE(Shows(1, 1, kGreen));
    EXPECT_TRUE(Shows(1, 1, kBlue));
    EXPECT_TRUE(Shows(1, 1, kRed));

    const auto start = std::chrono::steady_clock::now();
    picture.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_FALSE(picture.IsPlaying());

    // It plays again after a stop, and a frame without a delay of its own
    // holds until stopped.
    ASSERT_TRUE(LoadBytes(picture, MakeGif(4, 4, {{0, 0, 4, 4, 0, 5}, {0, 0, 4, 4, 2, -1}})));
    picture.Draw();
    EXPECT_TRUE(Shows(1, 1, kBlue));
    lumui::Pump(300);
    EXPECT_EQ(Pixel(1, 1), kBlue);
    picture.Stop();
    EXPECT_FALSE(picture.IsPlaying());
}

TEST_F(PictureEx, DisposalClearsOrRestoresTheFrameArea)
{
    // Frame 1 covers the lower right quarter and is disposed of before
    // frame 2 (upper left quarter, held long) is drawn.
    auto gif = [](int disposal) {
        return MakeGif(4, 4, {{0, 0, 4, 4, 0, 5, 1}, {2, 2, 2, 2, 1, 5, disposal}, {0, 0, 2, 2, 2, 1000, 1}});
    };
    ASSERT_TRUE(LoadBytes(picture, gif(2)));
    picture.Draw();
    ASSERT_TRUE(Shows(0, 0, kBlue));
    EXPECT_EQ(Pixel(3, 3), kButtonFace);  // background colour
    EXPECT_EQ(Pixel(3, 0), kRed);

    ASSERT_TRUE(LoadBytes(picture, gif(3)));
    picture.Draw();
    ASSERT_TRUE(Shows(0, 0, kBlue));
    EXPECT_EQ(Pixel(3, 3), kRed);  // what lay under the frame
    EXPECT_EQ(Pixel(0, 3), kRed);
}

TEST_F(PictureEx, TruncatedAndCorruptGifsNeverReadPastTheirBytes)
{
    std::vector<size_t> frameEnds;
    const std::vector<BYTE> gif = ThreeColourGif(&frameEnds);

    // Every prefix: the frames that are complete in it, and nothing more.
    for (size_t len = 0; len <= gif.size(); ++len) {
        SCOPED_TRACE(len);
        const std::vector<BYTE> prefix(gif.begin(), gif.begin() + len);
        const size_t complete = std::count_if(frameEnds.begin(), frameEnds.end(), [&](size_t e) { return e <= len; });
        const BOOL loaded = picture.Load(len ? static_cast<HGLOBAL>(const_cast<BYTE*>(prefix.data())) : nullptr,
                                         static_cast<DWORD>(len));
        if (complete == 0) {
            EXPECT_FALSE(loaded);
        }
        if (complete >= 2) {
            EXPECT_TRUE(loaded);
            EXPECT_EQ(picture.GetFrameCount(), static_cast<int>(complete));
        } else {
            EXPECT_EQ(picture.GetFrameCount(), 0);
        }
        picture.Draw();
        picture.Stop();
    }

    // Hostile headers and blocks.
    const std::vector<std::vector<BYTE>> hostile = {
        {'G', 'I', 'F', '8', '9', 'a'},
        // a global table of 256 entries that is not there
        {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0xF7, 0, 0},
        // a sub-block length running off the end
        {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0, 0x21, 0xFE, 0xF0, 1, 2},
        // an image descriptor cut short, with a local table said to follow
        {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0x87},
    };
    for (const auto& bytes : hostile) EXPECT_FALSE(LoadBytes(picture, bytes));

    // Random corruption past the screen size (a fixed seed).
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        std::vector<BYTE> bad = gif;
        const int hits = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < hits; ++i) bad[10 + random() % (bad.size() - 10)] = static_cast<BYTE>(random());
        bad.resize(10 + random() % (bad.size() - 9));
        if (LoadBytes(picture, bad)) {
            EXPECT_EQ(picture.IsAnimatedGIF(), picture.GetFrameCount() > 1);
            picture.Draw();
            picture.Stop();
        }
    }
}

TEST_F(PictureEx, AnAnimationOnAHugeScreenIsRefused)
{
    // Small frames on a screen the header claims to be 10000 x 10000: the
    // composed picture alone would take 400 MB.
    EXPECT_FALSE(LoadBytes(picture, MakeGif(10000, 10000, {{0, 0, 4, 4, 0, 5}, {0, 0, 4, 4, 1, 5}})));
    EXPECT_EQ(picture.GetFrameCount(), 0);
    EXPECT_FALSE(LoadBytes(picture, MakeGif(30000, 2, {{0, 0, 2, 2, 0, 5}, {0, 0, 2, 2, 1, 5}})));
    // The same frames on a screen of a sane size play.
    ASSERT_TRUE(LoadBytes(picture, MakeGif(400, 300, {{0, 0, 4, 4, 0, 5}, {0, 0, 4, 4, 1, 5}})));
    EXPECT_EQ(picture.GetFrameCount(), 2);
    EXPECT_EQ(picture.GetSize().cx, 400);
}

TEST_F(PictureEx, UnloadingOrDestroyingWhilePlayingIsSafe)
{
    ASSERT_TRUE(LoadBytes(picture, ThreeColourGif()));
    picture.Draw();
    ASSERT_TRUE(lumui::PumpUntil([&] { return picture.IsPlaying(); }));
    picture.UnLoad();
    EXPECT_FALSE(picture.IsPlaying());
    EXPECT_EQ(picture.GetFrameCount(), 0);

    ASSERT_TRUE(LoadBytes(picture, ThreeColourGif()));
    picture.Draw();
    ASSERT_TRUE(lumui::PumpUntil([&] { return picture.IsPlaying(); }));
    picture.DestroyWindow();
    EXPECT_FALSE(picture.IsPlaying());
    ASSERT_TRUE(uiwait::QueuedWorkDone());  // frames posted before the stop find no window

    // An object deleted while it plays, window and all.
    auto* other = new CPictureEx;
    ASSERT_TRUE(Create(*other));
    ASSERT_TRUE(LoadBytes(*other, ThreeColourGif()));
    other->Draw();
    ASSERT_TRUE(lumui::PumpUntil([&] { return other->IsPlaying(); }));
    delete other;
    ASSERT_TRUE(uiwait::QueuedWorkDone());
}
