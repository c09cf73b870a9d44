// Tray icon, global hotkeys and idle time under a real display.
#include "platform/shellapi.h"
#include "platform/threads.h"
#include "platform/uiapp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

const UINT kTrayMessage = WM_USER + 77;

// Records the tray callbacks and hotkeys that reach it.
class Receiver : public CWnd {
public:
    std::vector<std::pair<WPARAM, LPARAM>> tray, hotkeys;
    LRESULT WindowProc(UINT message, WPARAM wp, LPARAM lp) override
    {
        if (message == kTrayMessage) tray.emplace_back(wp, lp);
        if (message == WM_HOTKEY) hotkeys.emplace_back(wp, lp);
        return CWnd::WindowProc(message, wp, lp);
    }
};

HICON makeIcon(COLORREF color)
{
    const BYTE maskBits[32] = {};  // 16x16, all opaque
    CBitmap mask, bits;
    mask.CreateBitmap(16, 16, 1, 1, maskBits);
    bits.CreateBitmap(16, 16, 1, 32, nullptr);
    {
        CDC dc;
        dc.CreateCompatibleDC(nullptr);
        CBitmap* old = dc.SelectObject(&bits);
        dc.FillSolidRect(0, 0, 16, 16, color);
        dc.SelectObject(old);
    }
    ICONINFO info;
    info.hbmColor = bits;
    info.hbmMask = mask;
    return CreateIconIndirect(&info);
}

class TrayHotKey : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        ASSERT_TRUE(wnd.CreateEx(0, nullptr, "tray host", WS_POPUP, 0, 0, 50, 50, nullptr, 0));
    }
    void TearDown() override
    {
        wnd.DestroyWindow();
        lumui::Pump();
    }
    Receiver wnd;
};

TEST_F(TrayHotKey, TrayIconLifecycleAndClicks)
{
    HICON red = makeIcon(RGB(255, 0, 0));
    ASSERT_NE(red, nullptr);
    NOTIFYICONDATA nid;
    nid.hWnd = wnd.m_hWnd;
    nid.uID = 1;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = kTrayMessage;
    nid.hIcon = red;
    strcpy(nid.szTip, "Orvane");

    EXPECT_FALSE(Shell_NotifyIcon(NIM_MODIFY, &nid));  // not there yet
    ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, &nid));
    EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &nid));     // one icon per window and id
    lumui::TrayIconState s = lumui::TrayState(wnd.m_hWnd, 1);
    EXPECT_TRUE(s.exists);
    EXPECT_EQ(s.icon, red);
    EXPECT_EQ(s.tip, CString("Orvane"));
    EXPECT_FALSE(lumui::TrayState(wnd.m_hWnd, 2).exists);

    // The blank phase of flashing: no icon, the tip and callback stay.
    nid.uFlags = NIF_ICON;
    nid.hIcon = nullptr;
    strcpy(nid.szTip, "ignored");
    ASSERT_TRUE(Shell_NotifyIcon(NIM_MODIFY, &nid));
    s = lumui::TrayState(wnd.m_hWnd, 1);
    EXPECT_EQ(s.icon, nullptr);
    EXPECT_EQ(s.tip, CString("Orvane"));

    ASSERT_TRUE(lumui::ClickTray(wnd.m_hWnd, 1, WM_LBUTTONDOWN));
    ASSERT_TRUE(lumui::ClickTray(wnd.m_hWnd, 1, WM_RBUTTONUP));
    ASSERT_TRUE(lumui::PumpUntil([&] { return wnd.tray.size() == 2; }));
    EXPECT_EQ(wnd.tray[0], std::make_pair(WPARAM(1), LPARAM(WM_LBUTTONDOWN)));
    EXPECT_EQ(wnd.tray[1], std::make_pair(WPARAM(1), LPARAM(WM_RBUTTONUP)));

    ASSERT_TRUE(Shell_NotifyIcon(NIM_DELETE, &nid));
    EXPECT_FALSE(lumui::TrayState(wnd.m_hWnd, 1).exists);
    EXPECT_FALSE(lumui::ClickTray(wnd.m_hWnd, 1, WM_LBUTTONDOWN));
    EXPECT_FALSE(Shell_NotifyIcon(NIM_DELETE, &nid));
    DestroyIcon(red);
}

TEST_F(TrayHotKey, LastInputIsNotInTheFuture)
{
    LASTINPUTINFO info;
    const DWORD before = GetTickCount();
    ASSERT_TRUE(GetLastInputInfo(&info));
    EXPECT_LE(static_cast<DWORD>(before - info.dwTime), 0x7FFFFFFFu);  // at or before `before`, unsigned

    lumui::SetIdleTimeOverride(600000);
    ASSERT_TRUE(GetLastInputInfo(&info));
    const DWORD idle = GetTickCount() - info.dwTime;
    EXPECT_GE(idle, 600000u);
    EXPECT_LT(idle, 610000u);
    lumui::SetIdleTimeOverride(-1);
}

TEST_F(TrayHotKey, HotKeyRegistrationAndPress)
{
    const UINT mods = MOD_CONTROL | MOD_ALT;
    ASSERT_TRUE(RegisterHotKey(wnd.m_hWnd, 2022, mods, 'Z'));
    EXPECT_FALSE(RegisterHotKey(wnd.m_hWnd, 2022, MOD_ALT, 'F'));  // id taken
    EXPECT_FALSE(RegisterHotKey(wnd.m_hWnd, 7, mods, 'Z'));        // combination taken
    EXPECT_FALSE(RegisterHotKey(wnd.m_hWnd, 8, mods, 0x07));       // no such key

    ASSERT_TRUE(lumui::FireHotKey(wnd.m_hWnd, 2022));
    ASSERT_TRUE(lumui::PumpUntil([&] { return !wnd.hotkeys.empty(); }));
    EXPECT_EQ(wnd.hotkeys[0], std::make_pair(WPARAM(2022), MAKELPARAM(mods, 'Z')));

    EXPECT_TRUE(UnregisterHotKey(wnd.m_hWnd, 2022));
    EXPECT_FALSE(UnregisterHotKey(wnd.m_hWnd, 2022));
    EXPECT_FALSE(lumui::FireHotKey(wnd.m_hWnd, 2022));
    // Free again for a new registration.
    EXPECT_TRUE(RegisterHotKey(wnd.m_hWnd, 2022, mods, 'Z'));
    EXPECT_TRUE(UnregisterHotKey(wnd.m_hWnd, 2022));
}

}  // namespace
