// Docking the main window to a screen edge and sliding it out and back.
#include "base/WinAutoHide.h"
#include "platform/uiapp.h"

#include <gtest/gtest.h>

namespace {

class Docking : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        ASSERT_TRUE(win.CreateEx(0, nullptr, nullptr, WS_POPUP | WS_VISIBLE, 200, 200, 240, 300, nullptr, 0));
        hide.setWindowSize(240, 300);
    }
    void TearDown() override { win.DestroyWindow(); }
    RECT rect(int l, int t, int r, int b)
    {
        RECT x;
        SetRect(&x, l, t, r, b);
        return x;
    }
    CWnd win;
    WinAutoHide hide;
};

}  // namespace

TEST_F(Docking, DraggingPastAnEdgeDocks)
{
    RECT r = rect(300, 0, 540, 300);
    hide.WindowMoving(win.m_hWnd, &r);
    EXPECT_EQ(hide.m_nDockState, 1);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom, 300);

    WinAutoHide corner;
    RECT c = rect(-5, -3, 235, 297);
    corner.WindowMoving(win.m_hWnd, &c);
    EXPECT_EQ(corner.m_nDockState, 2);  // the top and the left: left wins
    EXPECT_EQ(c.left, 0);

    WinAutoHide right;
    const int sw = GetSystemMetrics(SM_CXSCREEN);
    RECT rr = rect(sw - 200, 100, sw + 40, 400);
    right.WindowMoving(win.m_hWnd, &rr);
    EXPECT_EQ(right.m_nDockState, 3);
    EXPECT_EQ(rr.right, sw);
}

TEST_F(Docking, SideDockedWindowMovedDownStaysUnstretched)
{
    RECT r = rect(-2, 100, 238, 400);
    SetCursorPos(50, 150);
    hide.WindowMoving(win.m_hWnd, &r);
    ASSERT_EQ(hide.m_nDockState, 2);
    SetCursorPos(50, 150);
    hide.WindowMoving(win.m_hWnd, &r);  // records the pointer
    SetCursorPos(50, 153);
    RECT moved = rect(0, 103, 240, 403);
    hide.WindowMoving(win.m_hWnd, &moved);
    EXPECT_EQ(hide.m_nDockState, 2);
    EXPECT_EQ(moved.top, 103);
    EXPECT_EQ(moved.bottom, 403);

    SetCursorPos(54, 153);  // 4 pixels right: undock at the restore size
    RECT away = rect(4, 103, 244, 403);
    hide.WindowMoving(win.m_hWnd, &away);
    EXPECT_EQ(hide.m_nDockState, 0);
    EXPECT_EQ(away.left, 1);
    EXPECT_EQ(away.bottom - away.top, 300);
}

TEST_F(Docking, TopDockedWindowSlidesOutLeavingFivePixels)
{
    win.SetWindowPos(nullptr, 300, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    hide.m_nDockState = 1;
    EXPECT_TRUE(hide.isRunTimer());
    hide.HideSide(win.m_hWnd, 1);
    CRect r;
    win.GetWindowRect(&r);
    EXPECT_EQ(r.top, -295);
    EXPECT_EQ(r.left, 300);
    EXPECT_FALSE(hide.isRunTimer());
    hide.HideSide(win.m_hWnd, 0);
    win.GetWindowRect(&r);
    EXPECT_EQ(r.top, 0);
}

TEST_F(Docking, FullHeightWindowKeepsTheStoredRestoreSize)
{
    const int sh = GetSystemMetrics(SM_CYSCREEN);
    hide.setWindowSize(240, sh);
    EXPECT_EQ(hide.m_nRestoreHeight, 300);
    hide.setWindowSize(250, 320);
    EXPECT_EQ(hide.m_nRestoreHeight, 320);
}
