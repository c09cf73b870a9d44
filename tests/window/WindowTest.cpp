// Windows and messages under a real display (Xvfb): dispatch, cross-thread
// messages, timers, painting, dragging and sizing, modal dialogs.
#include "platform/dialog.h"
#include "platform/gdi.h"
#include "platform/menu.h"
#include "platform/uiapp.h"
#include "platform/windc.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiProbe.h"
#include "tests/platform/UiWait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

const UINT WM_TEST_ECHO = WM_USER + 100;
const UINT WM_TEST_POSTED = WM_USER + 101;

class TestWindow : public CWnd {
public:
    LRESULT OnEcho(WPARAM wp, LPARAM lp)
    {
        echoThread = std::this_thread::get_id();
        return static_cast<LRESULT>(wp + lp);
    }
    LRESULT OnPosted(WPARAM wp, LPARAM)
    {
        posted.push_back(static_cast<int>(wp));
        if (postedWorkMs) std::this_thread::sleep_for(std::chrono::milliseconds(postedWorkMs));
        return 0;
    }
    void OnTimer(UINT_PTR id) override
    {
        if (id == 7) ++ticks;
        if (id == 8) posted.push_back(-1);
        if (id == 9) ++otherTicks;
    }
    void OnPaint() override
    {
        CPaintDC dc(this);
        CRect r;
        GetClientRect(&r);
        dc.FillSolidRect(&r, fill);
    }
    LRESULT OnNcHitTest(CPoint pt) override
    {
        CRect r;
        GetWindowRect(&r);
        if (pt.x >= r.right - 3) return HTRIGHT;
        return HTCLIENT;
    }
    void OnLButtonDown(UINT, CPoint pt) override
    {
        ClientToScreen(&pt);
        PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(pt.x, pt.y));
    }
    void OnMoving(UINT, LPRECT rect) override
    {
        ++movings;
        if (snapTop && rect->top < 20) OffsetRect(rect, 0, -rect->top);
    }
    void OnGetMinMaxInfo(MINMAXINFO* info) override { info->ptMinTrackSize.x = 150; }
    void OnSize(UINT, int cx, int) override { lastWidth = cx; }

    std::thread::id echoThread;
    std::vector<int> posted;
    int ticks = 0, otherTicks = 0;
    int postedWorkMs = 0;
    int movings = 0;
    int lastWidth = 0;
    bool snapTop = false;
    COLORREF fill = RGB(200, 30, 40);

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestWindow, CWnd)
    ON_MESSAGE(WM_TEST_ECHO, OnEcho)
    ON_MESSAGE(WM_TEST_POSTED, OnPosted)
    ON_WM_TIMER()
    ON_WM_PAINT()
    ON_WM_NCHITTEST()
    ON_WM_LBUTTONDOWN()
    ON_WM_MOVING()
    ON_WM_GETMINMAXINFO()
    ON_WM_SIZE()
END_MESSAGE_MAP()

DWORD rgbOf(DWORD argb)
{
    return argb & 0x00FFFFFF;
}

class Windows : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        ASSERT_TRUE(win.CreateEx(0, nullptr, "test", WS_POPUP | WS_VISIBLE, 100, 100, 200, 120, nullptr, 0));
        ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(win.m_hWnd); })) << "the window is not shown";
    }
    void TearDown() override
    {
        if (win.m_hWnd) win.DestroyWindow();
        uiwait::QueuedWorkDone();
    }
    TestWindow win;
};

}  // namespace

TEST_F(Windows, SendMessageFromAWorkerRunsOnTheUiThreadAndReturnsTheResult)
{
    std::atomic<LRESULT> result{-1};
    std::atomic<bool> done{false};
    HWND hwnd = win.m_hWnd;
    std::thread worker([&] {
        result = ::SendMessage(hwnd, WM_TEST_ECHO, 40, 2);
        done = true;
    });
    ASSERT_TRUE(lumui::PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(result.load(), 42);
    EXPECT_EQ(win.echoThread, std::this_thread::get_id());
    EXPECT_EQ(win.SendMessage(WM_TEST_ECHO, 1, 1), 2);  // directly on the UI thread

    // To a window that is gone: 0, and nothing runs.
    win.DestroyWindow();
    EXPECT_FALSE(IsWindow(hwnd));
    std::thread late([&] { result = ::SendMessage(hwnd, WM_TEST_ECHO, 5, 5); });
    late.join();
    EXPECT_EQ(result.load(), 0);
}

TEST_F(Windows, PostedMessagesArriveInOrderAndNeverAfterDestruction)
{
    for (int i = 0; i < 5; ++i) win.PostMessage(WM_TEST_POSTED, i, 0);
    EXPECT_TRUE(win.posted.empty());
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(win.posted, (std::vector<int>{0, 1, 2, 3, 4}));

    win.posted.clear();
    win.PostMessage(WM_TEST_POSTED, 9, 0);
    win.DestroyWindow();
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_TRUE(win.posted.empty());
    EXPECT_FALSE(::PostMessage(reinterpret_cast<HWND>(0x1234), WM_TEST_POSTED, 0, 0));
}

TEST_F(Windows, AFloodFromAWorkerKeepsItsOrderAndLetsTheWindowBreathe)
{
    // 200 messages of 1 ms each, posted (the last one sent) from a worker
    // before the UI thread gets to them: they arrive
    // in order, and the window's own timer ticks in between instead of
    // waiting for the whole flood.
    win.postedWorkMs = 1;
    win.SetTimer(8, 5, nullptr);
    HWND hwnd = win.m_hWnd;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            if (i == 199)
                ::SendMessage(hwnd, WM_TEST_POSTED, i, 0);
            else
                ::PostMessage(hwnd, WM_TEST_POSTED, i, 0);
        }
        done = true;
    });
    ASSERT_TRUE(lumui::PumpUntil([&] { return done.load() && std::count(win.posted.begin(), win.posted.end(), 199) == 1; }, 10000));
    worker.join();
    win.KillTimer(8);
    win.postedWorkMs = 0;
    std::vector<int> order;
    size_t firstTickInside = 0;
    for (size_t i = 0; i < win.posted.size(); ++i) {
        if (win.posted[i] >= 0) {
            order.push_back(win.posted[i]);
        } else if (!order.empty() && order.size() < 200 && !firstTickInside) {
            firstTickInside = i;
        }
    }
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
    EXPECT_GT(firstTickInside, 0u) << "the timer never ticked during the flood";
}

TEST_F(Windows, TimersTickUntilKilled)
{
    win.SetTimer(7, 20, nullptr);
    ASSERT_TRUE(lumui::PumpUntil([&] { return win.ticks >= 3; }, 3000));
    win.KillTimer(7);
    // Another timer of the same period measures the time: a tick already
    // on its way when the timer was killed may come first, none after.
    win.SetTimer(9, 20, nullptr);
    ASSERT_TRUE(lumui::PumpUntil([&] { return win.otherTicks >= 1; }, 3000));
    const int after = win.ticks;
    ASSERT_TRUE(lumui::PumpUntil([&] { return win.otherTicks >= 6; }, 3000));
    win.KillTimer(9);
    EXPECT_EQ(win.ticks, after);
}

TEST_F(Windows, PaintingGoesToTheBackBufferAndChildrenShowTheirParent)
{
    EXPECT_EQ(rgbOf(lumui::WindowPixel(win.m_hWnd, 10, 10)), 0xC81E28u);
    win.fill = RGB(0, 0, 255);
    win.Invalidate();
    win.UpdateWindow();
    EXPECT_EQ(rgbOf(lumui::WindowPixel(win.m_hWnd, 199, 119)), 0x0000FFu);

    // A plain child with no painting of its own shows what lies under it.
    CWnd child;
    ASSERT_TRUE(child.CreateEx(0, nullptr, nullptr, WS_CHILD | WS_VISIBLE, 20, 20, 50, 30, win.m_hWnd, 5));
    EXPECT_EQ(rgbOf(lumui::WindowPixel(win.m_hWnd, 30, 30)), 0x0000FFu);
    EXPECT_EQ(win.GetDlgItem(5), &child);
    EXPECT_EQ(child.GetParent(), &win);
    CRect r;
    child.GetWindowRect(&r);
    EXPECT_EQ(r, CRect(120, 120, 170, 150));
}

// Invalidations between two paints count once; a change made after a
// paint and invalidated again always shows, in the window and in a child
// that shows its parent.
TEST_F(Windows, EveryChangeInvalidatedAfterAPaintShows)
{
    CWnd child;
    ASSERT_TRUE(child.CreateEx(0, nullptr, nullptr, WS_CHILD | WS_VISIBLE, 20, 20, 50, 30, win.m_hWnd, 6));
    const COLORREF colours[] = {RGB(0, 128, 0), RGB(255, 255, 0), RGB(0, 0, 255)};
    for (COLORREF c : colours) {
        win.fill = c;
        for (int i = 0; i < 100; ++i) win.Invalidate(FALSE);
        win.UpdateWindow();
        const unsigned want = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        EXPECT_EQ(rgbOf(lumui::WindowPixel(win.m_hWnd, 150, 100)), want);
        // The child paints on its own turn.
        EXPECT_TRUE(lumui::PumpUntil([&] { return rgbOf(lumui::WindowPixel(win.m_hWnd, 30, 30)) == want; }))
            << "the child shows its parent";
    }
    // Invalidated, then painted by the toolkit rather than by UpdateWindow.
    win.fill = RGB(10, 20, 30);
    win.Invalidate(FALSE);
    ASSERT_TRUE(lumui::PumpUntil([&] { return rgbOf(lumui::WindowPixel(win.m_hWnd, 150, 100)) == 0x0A141Eu; }));
    win.fill = RGB(40, 50, 60);
    win.Invalidate(FALSE);
    EXPECT_TRUE(lumui::PumpUntil([&] { return rgbOf(lumui::WindowPixel(win.m_hWnd, 150, 100)) == 0x28323Cu; }))
        << std::hex << lumui::WindowPixel(win.m_hWnd, 150, 100);
}

TEST_F(Windows, DraggingFollowsThePointerThroughTheMovingNotice)
{
    HWND h = win.m_hWnd;
    lumui::SendMouse(h, WM_LBUTTONDOWN, 110, 110, MK_LBUTTON);
    ASSERT_TRUE(uiwait::QueuedWorkDone());  // the posted caption press starts the drag
    lumui::SendMouse(h, WM_MOUSEMOVE, 160, 130, MK_LBUTTON);
    CRect r;
    win.GetWindowRect(&r);
    EXPECT_EQ(r, CRect(150, 120, 350, 240));
    EXPECT_GE(win.movings, 1);

    // The window may change the proposed rectangle (docking does).
    win.snapTop = true;
    lumui::SendMouse(h, WM_MOUSEMOVE, 160, 20, MK_LBUTTON);
    win.GetWindowRect(&r);
    EXPECT_EQ(r.top, 0);
    lumui::SendMouse(h, WM_LBUTTONUP, 160, 20, 0);
    lumui::SendMouse(h, WM_MOUSEMOVE, 400, 400, 0);
    win.GetWindowRect(&r);
    EXPECT_EQ(r.left, 150);  // no longer dragging
}

TEST_F(Windows, AQuickClickDoesNotLeaveTheWindowDragging)
{
    HWND h = win.m_hWnd;
    // Press and release before the posted caption press is handled.
    lumui::SendMouse(h, WM_LBUTTONDOWN, 110, 110, MK_LBUTTON);
    lumui::SendMouse(h, WM_LBUTTONUP, 110, 110);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    lumui::SendMouse(h, WM_MOUSEMOVE, 300, 300);
    CRect r;
    win.GetWindowRect(&r);
    EXPECT_EQ(r.TopLeft(), CPoint(100, 100));
}

TEST_F(Windows, ADragHandledBeforeItsCaptionPressEndsWhereTheButtonWentUp)
{
    // A busy window handles press, moves and release before the caption
    // press it posted: the drag is not lost, the window goes where the
    // button went up, through the moving notice (docking sees it).
    HWND h = win.m_hWnd;
    win.snapTop = true;
    lumui::SendMouse(h, WM_LBUTTONDOWN, 110, 110, MK_LBUTTON);
    lumui::SendMouse(h, WM_MOUSEMOVE, 140, 60, MK_LBUTTON);
    lumui::SendMouse(h, WM_MOUSEMOVE, 170, 15, MK_LBUTTON);
    lumui::SendMouse(h, WM_LBUTTONUP, 170, 15);
    lumui::Pump(10);
    CRect r;
    win.GetWindowRect(&r);
    EXPECT_EQ(r.TopLeft(), CPoint(160, 0));
    EXPECT_GE(win.movings, 1);
    lumui::SendMouse(h, WM_MOUSEMOVE, 300, 300);
    win.GetWindowRect(&r);
    EXPECT_EQ(r.TopLeft(), CPoint(160, 0));  // and it does not go on following
}

TEST_F(Windows, EdgeSizingKeepsTheMinimumTrackSize)
{
    HWND h = win.m_hWnd;
    lumui::SendMouse(h, WM_MOUSEMOVE, 298, 150, 0);
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_SIZEWE));
    lumui::SendMouse(h, WM_LBUTTONDOWN, 298, 150, MK_LBUTTON);
    lumui::SendMouse(h, WM_MOUSEMOVE, 328, 150, MK_LBUTTON);
    CRect r;
    win.GetWindowRect(&r);
    EXPECT_EQ(r.Width(), 230);
    EXPECT_EQ(win.lastWidth, 230);
    lumui::SendMouse(h, WM_MOUSEMOVE, 150, 150, MK_LBUTTON);
    win.GetWindowRect(&r);
    EXPECT_EQ(r.Width(), 150);
    lumui::SendMouse(h, WM_LBUTTONUP, 150, 150, 0);
}

TEST_F(Windows, RoundedRegionHidesTheCorners)
{
    CRgn rgn;
    rgn.CreateRoundRectRgn(0, 0, 200, 120, 6, 6);
    win.SetWindowRgn(rgn, TRUE);
    EXPECT_EQ(lumui::WindowPixel(win.m_hWnd, 0, 0) >> 24, 0u);
    EXPECT_EQ(lumui::WindowPixel(win.m_hWnd, 100, 0) >> 24, 255u);
    EXPECT_EQ(lumui::WindowPixel(win.m_hWnd, 199, 119) >> 24, 0u);
}

namespace {

class TestDialog : public CDialogEx {
public:
    TestDialog() : CDialogEx(9100) {}
    BOOL OnInitDialog() override
    {
        CDialogEx::OnInitDialog();
        inited = true;
        if (action) PostMessage(WM_TEST_POSTED, 0, 0);
        return TRUE;
    }
    LRESULT OnPosted(WPARAM, LPARAM)
    {
        if (action) lumui::SendKey(GetDlgItem(9101)->m_hWnd, action);
        return 0;
    }
    bool inited = false;
    UINT action = 0;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDialog, CDialogEx)
    ON_MESSAGE(WM_TEST_POSTED, OnPosted)
END_MESSAGE_MAP()

struct RegisterTemplate {
    RegisterTemplate()
    {
        DialogTemplate t;
        t.id = 9100;
        t.cx = 100;
        t.cy = 60;
        t.dialogUnits = true;
        DialogItemTemplate edit;
        edit.className = "Edit";
        edit.id = 9101;
        edit.x = 10;
        edit.y = 10;
        edit.cx = 80;
        edit.cy = 12;
        edit.text = "初始";
        t.items.push_back(edit);
        RegisterDialogTemplate(nullptr, t);
    }
} g_registerTemplate;

}  // namespace

TEST(Dialogs, ModalDialogsEndWithEnterAndEscape)
{
    ASSERT_TRUE(lumui::Start());
    TestDialog ok;
    ok.action = VK_RETURN;
    EXPECT_EQ(ok.DoModal(), IDOK);
    EXPECT_TRUE(ok.inited);
    EXPECT_EQ(ok.m_hWnd, nullptr);

    TestDialog cancel;
    cancel.action = VK_ESCAPE;
    EXPECT_EQ(cancel.DoModal(), IDCANCEL);
}

TEST(Dialogs, TemplatesMakeControlsInDialogUnits)
{
    ASSERT_TRUE(lumui::Start());
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create(9100));
    CRect r;
    dlg.GetClientRect(&r);
    EXPECT_EQ(r, CRect(0, 0, 150, 97));
    CWnd* edit = dlg.GetDlgItem(9101);
    ASSERT_NE(edit, nullptr);
    CString text;
    edit->GetWindowText(text);
    EXPECT_EQ(text, "初始");
    edit->SetWindowText("改了");
    dlg.GetDlgItemText(9101, text);
    EXPECT_EQ(text, "改了");
    HWND editHandle = edit->m_hWnd;
    dlg.DestroyWindow();
    EXPECT_FALSE(IsWindow(editHandle));
}

TEST(MessageBoxes, WorkersAskOnTheUiThread)
{
    ASSERT_TRUE(lumui::Start());
    TestServices services;
    std::thread::id boxThread;
    CString seen;
    services.SetMessageBox([&](HWND, const CString& text, const CString&, UINT type) {
        boxThread = std::this_thread::get_id();
        seen = text;
        return (type & MB_TYPEMASK) == MB_OKCANCEL ? IDCANCEL : IDOK;
    });
    std::atomic<int> answer{0};
    std::thread worker([&] { answer = AfxMessageBox("连接服务器超时，请重新登录！", MB_OKCANCEL); });
    ASSERT_TRUE(lumui::PumpUntil([&] { return answer.load() != 0; }));
    worker.join();
    EXPECT_EQ(answer.load(), IDCANCEL);
    EXPECT_EQ(boxThread, std::this_thread::get_id());
    EXPECT_EQ(seen, "连接服务器超时，请重新登录！");
}

namespace {

class MenuOwner : public CWnd {
public:
    BOOL OnCommand(WPARAM wParam, LPARAM) override
    {
        commands.push_back(LOWORD(wParam));
        return TRUE;
    }
    std::vector<UINT> commands;
};

// Builds: 9071 "在线", 9072 "离开" (grayed), separator, popup "帮助" (9059, 9062 checked).
void buildMenu(CMenu& menu, CMenu& help)
{
    menu.CreatePopupMenu();
    menu.AppendMenu(MF_STRING, 9071, "在线");
    menu.AppendMenu(MF_STRING | MF_GRAYED, 9072, "离开");
    menu.AppendMenu(MF_SEPARATOR);
    help.CreatePopupMenu();
    help.AppendMenu(MF_STRING, 9059, "使用帮助");
    help.AppendMenu(MF_STRING | MF_CHECKED, 9062, "关于");
    menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(help.Detach()), "帮助");
}

// Screen point of the middle of item `index` (rows of 22 and 8 pixels, 3 of border).
POINT itemPoint(HWND popup, int top)
{
    CRect r;
    GetWindowRect(popup, &r);
    POINT p;
    p.x = r.left + 20;
    p.y = r.top + top;
    return p;
}

}  // namespace

TEST(Menus, ClickingAnItemSendsItsCommandToTheOwner)
{
    ASSERT_TRUE(lumui::Start());
    MenuOwner owner;
    ASSERT_TRUE(owner.CreateEx(0, nullptr, nullptr, WS_POPUP | WS_VISIBLE, 50, 50, 100, 100, nullptr, 0));
    CMenu menu, help;
    buildMenu(menu, help);
    EXPECT_EQ(menu.GetMenuItemCount(), 4);
    EXPECT_EQ(menu.GetMenuItemID(2), 0u);
    EXPECT_EQ(menu.GetMenuItemID(3), static_cast<UINT>(-1));
    EXPECT_EQ(menu.GetMenuState(9062, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    CString text;
    menu.GetMenuString(3, text, MF_BYPOSITION);
    EXPECT_EQ(text, "帮助");

    // Open the submenu by hovering "帮助", then click its first item.
    lumui::RunLater([] {
        HWND popup = lumui::OpenPopupMenu();
        POINT helpRow = itemPoint(popup, 3 + 22 + 22 + 8 + 11);
        lumui::SendMouse(popup, WM_MOUSEMOVE, helpRow.x, helpRow.y);
        HWND sub = lumui::OpenPopupMenu();
        ASSERT_NE(sub, popup);
        POINT first = itemPoint(sub, 3 + 11);
        lumui::SendMouse(sub, WM_MOUSEMOVE, first.x, first.y);
        lumui::SendMouse(sub, WM_LBUTTONDOWN, first.x, first.y, MK_LBUTTON);
        lumui::SendMouse(sub, WM_LBUTTONUP, first.x, first.y);
    });
    EXPECT_TRUE(menu.TrackPopupMenu(TPM_RIGHTBUTTON, 200, 200, &owner));
    EXPECT_EQ(lumui::OpenPopupMenu(), nullptr);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(owner.commands, std::vector<UINT>{9059});

    // A grayed item does nothing; a click outside closes the menu.
    lumui::RunLater([] {
        HWND popup = lumui::OpenPopupMenu();
        POINT grayed = itemPoint(popup, 3 + 22 + 11);
        lumui::SendMouse(popup, WM_LBUTTONDOWN, grayed.x, grayed.y, MK_LBUTTON);
        lumui::SendMouse(popup, WM_LBUTTONUP, grayed.x, grayed.y);
        lumui::SendMouse(popup, WM_LBUTTONDOWN, 5, 5, MK_LBUTTON);
    });
    menu.TrackPopupMenu(TPM_RIGHTBUTTON, 200, 200, &owner);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(owner.commands.size(), 1u);

    // Keyboard: Down, Enter chooses the first item; the id comes back directly.
    lumui::RunLater([] {
        HWND popup = lumui::OpenPopupMenu();
        lumui::SendKey(popup, VK_DOWN);
        lumui::SendKey(popup, VK_RETURN);
    });
    EXPECT_EQ(menu.TrackPopupMenu(TPM_RETURNCMD, 200, 200, &owner), 9071);
    lumui::RunLater([] { lumui::SendKey(lumui::OpenPopupMenu(), VK_ESCAPE); });
    EXPECT_EQ(menu.TrackPopupMenu(TPM_RETURNCMD, 200, 200, &owner), 0);
    owner.DestroyWindow();
}

// The probe the tests of long work use: it sees the UI thread held by a
// handler that computes and by one that waits, and tells the two apart.
TEST(UiProbeTest, TellsAHandlerThatComputesFromOneThatWaits)
{
    ASSERT_TRUE(lumui::Start());
    UiProbe probe;
    ASSERT_TRUE(probe.Start());
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    // A wait of 400 ms on the UI thread: held, and stopped.
    probe.Arm();
    lumui::QueueOnUiThread([] { std::this_thread::sleep_for(std::chrono::milliseconds(400)); });
    ASSERT_TRUE(lumui::PumpUntil([&] { return probe.LongestWall() >= 400; }, 5000));
    EXPECT_GE(probe.Longest(), 300);
    EXPECT_GE(probe.LongestStop(), 300);
    // 400 ms of computing: held, but not stopped.
    probe.Arm();
    lumui::QueueOnUiThread([] {
        timespec start{}, now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        do clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        while ((now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000 < 400);
    });
    ASSERT_TRUE(lumui::PumpUntil([&] { return probe.LongestWall() >= 400; }, 5000));
    EXPECT_GE(probe.Longest(), 300);
    EXPECT_LT(probe.LongestStop(), 200);
    probe.Stop();
}
