// Windows on a display that composes nothing (no compositing window manager,
// as a bare X server or a plain window manager): a fully transparent window
// would show there as an opaque one, so it stays off the screen while it is
// fully transparent, and the program still counts it as shown.
#include "platform/uiapp.h"
#include "platform/windc.h"
#include "tests/desktop/TestDesktop.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const DWORD kPainted = 0xC02020;  // RGB(0xC0, 0x20, 0x20) as the screen gives it

class PaintedWindow : public CWnd {
public:
    void OnPaint() override
    {
        CPaintDC dc(this);
        CRect r;
        GetClientRect(&r);
        dc.FillSolidRect(&r, RGB(0xC0, 0x20, 0x20));
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(PaintedWindow, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

bool ShowsAt(int x, int y, int timeoutMs = 5000)
{
    return lumui::PumpUntil([&] { return lumui::ScreenPixel(x, y) == kPainted; }, timeoutMs);
}

// The screen at (x, y) stays without the window's colour while the loop
// handles everything the window asked for.
bool StaysBareAt(int x, int y)
{
    for (int i = 0; i < 20; ++i) {
        lumui::Pump(10);
        if (lumui::ScreenPixel(x, y) == kPainted) return false;
    }
    return true;
}

TEST(PlainDisplay, AFullyTransparentWindowStaysOffTheScreenUntilItTakesSomeOpacity)
{
    ASSERT_TRUE(lumui::Start());
    PaintedWindow window;
    ASSERT_TRUE(window.CreateEx(WS_EX_LAYERED, nullptr, "透明", WS_POPUP, 100, 100, 200, 150, nullptr, 0));
    ASSERT_TRUE(window.SetLayeredWindowAttributes(0, 0, LWA_ALPHA));
    window.ShowWindow(SW_SHOW);
    EXPECT_TRUE(window.IsWindowVisible());
    EXPECT_TRUE(StaysBareAt(200, 175)) << "a transparent window shows as an opaque one";

    // Some opacity: it shows (the display draws it opaque, the nearest it can).
    ASSERT_TRUE(window.SetLayeredWindowAttributes(0, 128, LWA_ALPHA));
    EXPECT_TRUE(ShowsAt(200, 175)) << std::hex << lumui::ScreenPixel(200, 175);

    // Transparent again: gone from the screen, still shown for the program;
    // hidden and shown while transparent, it stays off the screen.
    ASSERT_TRUE(window.SetLayeredWindowAttributes(0, 0, LWA_ALPHA));
    EXPECT_TRUE(StaysBareAt(200, 175));
    EXPECT_TRUE(window.IsWindowVisible());
    window.ShowWindow(SW_HIDE);
    window.ShowWindow(SW_SHOWNA);
    EXPECT_TRUE(StaysBareAt(200, 175));

    // Opaque and no longer layered: it shows.
    window.ModifyStyleEx(WS_EX_LAYERED, 0);
    EXPECT_TRUE(ShowsAt(200, 175));

    // Hidden while transparent, it stays hidden when it takes opacity.
    window.ModifyStyleEx(0, WS_EX_LAYERED);
    ASSERT_TRUE(window.SetLayeredWindowAttributes(0, 0, LWA_ALPHA));
    window.ShowWindow(SW_HIDE);
    ASSERT_TRUE(window.SetLayeredWindowAttributes(0, 255, LWA_ALPHA));
    EXPECT_FALSE(window.IsWindowVisible());
    EXPECT_TRUE(StaysBareAt(200, 175));
    window.DestroyWindow();
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    // A display of its own with no window manager: nothing composes it.
    static testdesktop::Desktop desktop;
    const std::string failed = desktop.Start(false);
    if (!failed.empty()) {
        fprintf(stderr, "no test desktop: %s\n", failed.c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}
