// The skinned dialog frame: painting, buttons, hit testing, sizing; and a
// demo dialog with the frame, PNG buttons, a popup menu, a GIF and docking,
// whose pictures are saved under the build tree for a person to look at.
#include "Common/controls/CustomPngButton.h"
#include "Common/controls/PictureEx.h"
#include "base/BaseModule.h"
#include "base/DlgBase.h"
#include "base/WinAutoHide.h"
#include "base/WndMenu.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/uiapp.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/UiWait.h"
#include "tests/window/GifBuilder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const UINT kFrameTemplate = 9200;

struct RegisterFrameTemplate {
    RegisterFrameTemplate()
    {
        DialogTemplate t;
        t.id = kFrameTemplate;
        t.cx = 300;
        t.cy = 200;
        t.style = WS_POPUP;
        RegisterDialogTemplate(nullptr, t);
    }
} g_registerFrame;

class Frame : public CDlgBase {
public:
    Frame() : CDlgBase(kFrameTemplate) {}
    void OnCancel() override { cancelled = true; }
    bool cancelled = false;
};

DWORD rgb(DWORD argb)
{
    return argb & 0x00FFFFFF;
}

int green(DWORD argb)
{
    return (argb >> 8) & 0xFF;
}

class Frames : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        CDlgBase::m_R = 255;
        CDlgBase::m_G = 176;
        CDlgBase::m_B = 75;
        CDlgBase::m_IsAppBgColor = 0;
        CDlgBase::m_sBgImgName.Empty();
        ASSERT_TRUE(frame.Create(kFrameTemplate));
        frame.MoveWindow(100, 100, 300, 200);
        frame.ShowWindow(SW_SHOW);
        ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(frame.m_hWnd); })) << "the frame is not shown";
    }
    void TearDown() override { frame.DestroyWindow(); }
    DWORD at(int x, int y) { return lumui::WindowPixel(frame.m_hWnd, x, y); }
    Frame frame;
};

}  // namespace

TEST_F(Frames, PaintsSkinGradientBorderAndRoundedCorners)
{
    EXPECT_EQ(frame.m_rcClient.right, 300);
    EXPECT_EQ(frame.m_rcClient.bottom, 200);
    EXPECT_EQ(frame.m_clrBg, 0xFFFFB04Bu);
    EXPECT_EQ(rgb(at(150, 100)), 0xFFB04Bu);  // plain skin colour
    EXPECT_EQ(at(0, 0) >> 24, 0u);            // outside the rounded region
    EXPECT_EQ(at(298, 198) >> 24, 0u);
    // As on the original system the region leaves out the last row and column.
    EXPECT_EQ(at(150, 199) >> 24, 0u);
    EXPECT_EQ(at(150, 198) >> 24, 255u);
    // The gradient lightens the top 17 rows, most at the top.
    EXPECT_GT(green(at(150, 3)), green(at(150, 14)));
    EXPECT_GT(green(at(150, 14)), 176);
    EXPECT_EQ(green(at(150, 17)), 176);
    // Outer border: a dark line on the path's edge; inner: a lighter one inside it.
    EXPECT_LT(green(at(150, 198)), 176);
    EXPECT_GT(green(at(150, 197)), 176);
    EXPECT_LT(green(at(298, 100)), 176);
}

TEST_F(Frames, ButtonsSitInTheTopRightCorner)
{
    CRect r;
    frame.m_btnMin.GetWindowRect(&r);
    frame.ScreenToClient(&r);
    EXPECT_EQ(r, CRect(247, 3, 271, 21));
    frame.m_btnClose.GetWindowRect(&r);
    frame.ScreenToClient(&r);
    EXPECT_EQ(r, CRect(272, 3, 296, 21));

    frame.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_DLG_CLOSE, BN_CLICKED),
                      reinterpret_cast<LPARAM>(frame.m_btnClose.m_hWnd));
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_TRUE(frame.cancelled);  // the posted close goes through the dialog's cancel
    frame.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_DLG_MIN, BN_CLICKED), reinterpret_cast<LPARAM>(frame.m_btnMin.m_hWnd));
    EXPECT_TRUE(frame.IsIconic());
}

TEST_F(Frames, EdgesBeforeCornersInTheHitTest)
{
    auto hit = [&](int x, int y) { return frame.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(100 + x, 100 + y)); };
    EXPECT_EQ(hit(2, 2), HTLEFT);
    EXPECT_EQ(hit(5, 5), HTTOPLEFT);
    EXPECT_EQ(hit(11, 11), HTCLIENT);
    EXPECT_EQ(hit(295, 195), HTBOTTOMRIGHT);
    EXPECT_EQ(hit(298, 100), HTRIGHT);
    EXPECT_EQ(hit(150, 1), HTTOP);
}

TEST_F(Frames, DragAndResizeByTheMouse)
{
    HWND h = frame.m_hWnd;
    lumui::SendMouse(h, WM_LBUTTONDOWN, 200, 150, MK_LBUTTON);
    ASSERT_TRUE(uiwait::QueuedWorkDone());  // the posted caption press starts the drag
    lumui::SendMouse(h, WM_MOUSEMOVE, 240, 170, MK_LBUTTON);
    lumui::SendMouse(h, WM_LBUTTONUP, 240, 170);
    CRect r;
    frame.GetWindowRect(&r);
    EXPECT_EQ(r, CRect(140, 120, 440, 320));

    lumui::SendMouse(h, WM_MOUSEMOVE, 439, 200);
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_SIZEWE));
    lumui::SendMouse(h, WM_LBUTTONDOWN, 439, 200, MK_LBUTTON);
    lumui::SendMouse(h, WM_MOUSEMOVE, 489, 200, MK_LBUTTON);
    lumui::SendMouse(h, WM_LBUTTONUP, 489, 200);
    frame.GetWindowRect(&r);
    EXPECT_EQ(r.Width(), 350);
    EXPECT_EQ(frame.m_rcClient.right, 350);
    CRect b;
    frame.m_btnClose.GetWindowRect(&b);
    frame.ScreenToClient(&b);
    EXPECT_EQ(b.left, 350 - 24 - 4);  // the buttons follow the new width

    frame.SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(0, 120));
    EXPECT_EQ(frame.m_rcClient.right, 350);  // a zero size does not repaint
}

TEST_F(Frames, ColourChosenOverAHeldSkinImage)
{
    TempDir dir;
    const std::string tile = dir.file("tile.png");
    {
        Gdiplus::Bitmap bmp(8, 8);
        Gdiplus::Graphics(&bmp).Clear(Gdiplus::Color(0xFF2050A0));
        UINT n = 0, size = 0;
        Gdiplus::GetImageEncodersSize(&n, &size);
        std::vector<Gdiplus::ImageCodecInfo> codecs(n);
        Gdiplus::GetImageEncoders(n, size, codecs.data());
        ASSERT_EQ(bmp.Save(std::wstring(tile.begin(), tile.end()).c_str(), &codecs[0].Clsid), Gdiplus::Ok);
    }
    CDlgBase::m_sBgImgName = tile.c_str();
    frame.InitSize(300, 200);
    EXPECT_EQ(rgb(at(150, 100)), 0x2050A0u);
    CDlgBase::m_sBgImgName.Empty();
    CDlgBase::m_IsAppBgColor = 1;
    CDlgBase::m_G = 200;
    frame.InitSize(300, 200);
    EXPECT_NE(frame.m_pSkinImage, nullptr);  // still held
    EXPECT_EQ(rgb(at(150, 100)), 0xFFC84Bu);
}

// ---------------------------------------------------------------- demo

namespace {

class DemoDialog : public CDlgBase {
public:
    DemoDialog() : CDlgBase(kFrameTemplate) {}
    BOOL OnInitDialog() override
    {
        CDlgBase::OnInitDialog();
        const CRect place(0, 0, 24, 18);
        m_btnTool.Create("", WS_CHILD | WS_VISIBLE, place, this, 2001);
        {
            CResourceScope scope(GetBaseModuleHandle());
            m_btnTool.SetButtonImage(IDB_PNG_DLG_MIN);
        }
        m_ok.Create("确定", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, CRect(200, 160, 280, 186), this, IDOK);
        m_gif.Create("", WS_CHILD | WS_VISIBLE, CRect(20, 60, 60, 100), this, 2002);
        const std::vector<BYTE> gif = testgif::MakeGif(
            32, 32, {{0, 0, 32, 32, 0, 10}, {8, 8, 16, 16, 1, 10, 2}, {0, 0, 32, 32, 2, 10}});
        m_gif.Load(static_cast<HGLOBAL>(const_cast<BYTE*>(gif.data())), static_cast<DWORD>(gif.size()));
        m_gif.Draw();
        return TRUE;
    }
    void DrawOwnerInBackgroud(Gdiplus::Graphics* g) override
    {
        Gdiplus::Font font(L"宋体", 12, Gdiplus::FontStyleBold, Gdiplus::UnitPixel);
        Gdiplus::SolidBrush white(Gdiplus::Color(0xFFFFFFFF));
        g->DrawString(L"Lum 演示窗口", -1, &font, Gdiplus::PointF(8, 6), &white);
    }
    void OnSize(UINT type, int cx, int cy) override
    {
        CDlgBase::OnSize(type, cx, cy);
        if (m_btnTool.m_hWnd) {
            m_btnTool.SetWindowPos(nullptr, 20, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            m_btnTool.SetButtonBackImage(m_pBgBitmap, 20, 30);
        }
    }
    CCustomPngButton m_btnTool;
    CButton m_ok;
    CPictureEx m_gif;
};

std::string shot(const char* name)
{
    return std::string(LUM_SCREENSHOT_DIR) + "/" + name;
}

}  // namespace

TEST(Demo, FrameMenuGifAndDockingAsAPersonSeesThem)
{
    ASSERT_TRUE(lumui::Start());
    CreateDirectory(LUM_SCREENSHOT_DIR, nullptr);
    CDlgBase::m_IsAppBgColor = 0;
    CDlgBase::m_R = 255;
    CDlgBase::m_G = 176;
    CDlgBase::m_B = 75;
    DemoDialog demo;
    ASSERT_TRUE(demo.Create(kFrameTemplate));
    demo.MoveWindow(200, 150, 300, 200);
    demo.ShowWindow(SW_SHOW);
    ASSERT_TRUE(lumui::PumpUntil([&] { return demo.m_gif.IsPlaying() != FALSE; }, 2000));
    // The picture shows its frames in its place on the skin.
    EXPECT_TRUE(lumui::PumpUntil([&] { return rgb(lumui::WindowPixel(demo.m_hWnd, 40, 80)) != 0xFFB04Bu; }, 2000));
    EXPECT_TRUE(lumui::SaveWindowImage(demo.m_hWnd, shot("frame.png").c_str()));

    // The friend menu, shown and photographed while open.
    SetCursorPos(260, 200);
    lumui::RunLater([] {
        HWND popup = lumui::OpenPopupMenu();
        RECT r;
        GetWindowRect(popup, &r);
        lumui::SendMouse(popup, WM_MOUSEMOVE, r.left + 40, r.top + 3 + 24 + 12);
        lumui::SaveWindowImage(popup, shot("menu.png").c_str());
        lumui::SendKey(popup, VK_ESCAPE);
    });
    CWndMenu().ShowFriendMenu(&demo, AfxGetResourceHandle());
    lumui::RunLater([] {
        HWND popup = lumui::OpenPopupMenu();
        lumui::SaveWindowImage(popup, shot("mainmenu.png").c_str());
        lumui::SendKey(popup, VK_ESCAPE);
    });
    CWndMenu().ShowMainMenu(&demo, AfxGetResourceHandle());

    // Docked to the top edge: dragged up, then slid out leaving 5 pixels.
    WinAutoHide dock;
    dock.setWindowSize(300, 200);
    RECT moving = {220, -10, 520, 190};
    dock.WindowMoving(demo.m_hWnd, &moving);
    ASSERT_EQ(dock.m_nDockState, 1);
    demo.MoveWindow(&moving);
    EXPECT_TRUE(lumui::SaveScreenImage(shot("docked.png").c_str()));
    dock.HideSide(demo.m_hWnd, 1);
    EXPECT_TRUE(lumui::SaveScreenImage(shot("docked-hidden.png").c_str()));
    CRect r;
    demo.GetWindowRect(&r);
    EXPECT_EQ(r.bottom, 5);
    dock.HideSide(demo.m_hWnd, 0);
    demo.GetWindowRect(&r);
    EXPECT_EQ(r.top, 0);
    demo.m_gif.Stop();
    EXPECT_FALSE(demo.m_gif.IsPlaying());
    demo.DestroyWindow();
}
