// Controls under a real display: the PNG strip button, owner-drawn and
// check buttons, progress bars, tool tips, links and layered windows.
#include "Common/controls/CustomPngButton.h"
#include "Common/controls/CustomStaticLink.h"
#include "Common/controls/GdiPlusBitmap.h"
#include "Common/controls/LayeredWindowHelperST.h"
#include "base/BaseModule.h"
#include "platform/controls.h"
#include "platform/dialog.h"
#include "platform/shell.h"
#include "platform/uiapp.h"
#include "platform/windc.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <utility>
#include <vector>

namespace {

DWORD rgbOf(DWORD argb)
{
    return argb & 0x00FFFFFF;
}

// A top-level window that records the notifications of its controls.
class Host : public CWnd {
public:
    BOOL OnCommand(WPARAM wp, LPARAM lp) override
    {
        commands.emplace_back(LOWORD(wp), HIWORD(wp));
        return CWnd::OnCommand(wp, lp);
    }
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override
    {
        const NMHDR* nm = reinterpret_cast<NMHDR*>(lp);
        notes.push_back(*nm);
        return CWnd::OnNotify(wp, lp, result);
    }
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (tip.m_hWnd) tip.RelayEvent(msg);
        return FALSE;
    }
    void OnPaint() override
    {
        CPaintDC dc(this);
        CRect r;
        GetClientRect(&r);
        dc.FillSolidRect(&r, RGB(240, 240, 240));
    }
    int count(UINT id, UINT code) const
    {
        int n = 0;
        for (const auto& c : commands)
            if (c.first == id && c.second == code) ++n;
        return n;
    }
    std::vector<std::pair<UINT, UINT>> commands;
    std::vector<NMHDR> notes;
    CToolTipCtrl tip;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Host, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

class Controls : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        ASSERT_TRUE(host.CreateEx(0, nullptr, "controls", WS_POPUP | WS_VISIBLE, 100, 100, 300, 200, nullptr, 0));
        ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(host.m_hWnd); })) << "the window is not shown";
    }
    void TearDown() override
    {
        if (host.tip.m_hWnd) host.tip.DestroyWindow();
        if (host.m_hWnd) host.DestroyWindow();
        uiwait::QueuedWorkDone();
    }
    // A click at a point of the host's client area.
    void click(CWnd& target, int x, int y, UINT message = WM_LBUTTONDOWN)
    {
        lumui::SendMouse(target.m_hWnd, message, 100 + x, 100 + y, MK_LBUTTON);
        lumui::SendMouse(target.m_hWnd, WM_LBUTTONUP, 100 + x, 100 + y, 0);
    }
    DWORD pixel(int x, int y) { return lumui::WindowPixel(host.m_hWnd, x, y); }
    Host host;
};

// A point of a strip where frames 0, 1 and 2, drawn over white, show
// clearly different colours, and those colours.
struct Probe {
    int x = -1, y = -1;
    DWORD frame[3] = {};
};

DWORD overWhite(const Gdiplus::Color& c)
{
    auto mix = [&](BYTE v) { return static_cast<DWORD>((v * c.GetA() + 255 * (255 - c.GetA()) + 127) / 255); };
    return (mix(c.GetR()) << 16) | (mix(c.GetG()) << 8) | mix(c.GetB());
}

int distance(DWORD a, DWORD b)
{
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8)
        d = std::max(d, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return d;
}

Probe findProbe(Gdiplus::Bitmap* strip)
{
    Probe p;
    const int fw = static_cast<int>(strip->GetWidth()) / 4, h = static_cast<int>(strip->GetHeight());
    int best = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < fw; ++x) {
            DWORD c[3];
            for (int k = 0; k < 3; ++k) {
                Gdiplus::Color color;
                strip->GetPixel(k * fw + x, y, &color);
                c[k] = overWhite(color);
            }
            const int d = std::min({distance(c[0], c[1]), distance(c[1], c[2]), distance(c[0], c[2])});
            if (d > best) {
                best = d;
                p.x = x;
                p.y = y;
                std::copy(c, c + 3, p.frame);
            }
        }
    if (best < 20) p.x = -1;
    return p;
}

bool nearColor(DWORD a, DWORD b)
{
    return distance(a, b) <= 3;
}

class OwnerDrawn : public CButton {
public:
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        states.push_back(dis->itemState);
        CDC* dc = CDC::FromHandle(dis->hDC);
        dc->FillSolidRect(&dis->rcItem, (dis->itemState & ODS_SELECTED) ? RGB(0, 160, 0) : RGB(200, 0, 0));
    }
    std::vector<UINT> states;
};

}  // namespace

TEST_F(Controls, PngButtonShowsTheFrameOfItsState)
{
    CCustomPngButton button;
    ASSERT_TRUE(button.Create("", WS_CHILD | WS_VISIBLE, CRect(10, 20, 60, 60), &host, 13000));
    {
        CResourceScope scope(GetBaseModuleHandle());
        button.SetButtonImage(13000);
    }
    CRect r;
    button.GetWindowRect(&r);
    EXPECT_EQ(r, CRect(110, 120, 134, 138));  // one frame of the 96 x 18 strip, top-left kept
    EXPECT_EQ(button.GetButtonStyle() & BS_TYPEMASK, static_cast<UINT>(BS_OWNERDRAW));

    CGdiPlusBitmapResource strip(13000, "PNG", GetBaseModuleHandle());
    ASSERT_NE(strip.m_pBitmap, nullptr);
    const Probe probe = findProbe(strip.m_pBitmap);
    ASSERT_GE(probe.x, 0);
    const int px = 10 + probe.x, py = 20 + probe.y;
    EXPECT_PRED2(nearColor, rgbOf(pixel(px, py)), probe.frame[0]);

    // Hover: the mouse-hover notice after a move shows frame 1.
    lumui::SendMouse(button.m_hWnd, WM_MOUSEMOVE, 100 + px, 100 + py, 0);
    EXPECT_TRUE(lumui::PumpUntil([&] { return nearColor(rgbOf(pixel(px, py)), probe.frame[1]); }, 2000));
    // Pressed: frame 2 until released.
    lumui::SendMouse(button.m_hWnd, WM_LBUTTONDOWN, 100 + px, 100 + py, MK_LBUTTON);
    EXPECT_PRED2(nearColor, rgbOf(pixel(px, py)), probe.frame[2]);
    lumui::SendMouse(button.m_hWnd, WM_LBUTTONUP, 100 + px, 100 + py, 0);
    EXPECT_PRED2(nearColor, rgbOf(pixel(px, py)), probe.frame[1]);
    EXPECT_EQ(host.count(13000, BN_CLICKED), 1);
    button.SendMessage(WM_MOUSELEAVE);
    EXPECT_PRED2(nearColor, rgbOf(pixel(px, py)), probe.frame[0]);

    // A selected tab rests on the pressed frame; any other value than 1 ends it.
    button.SetIsClick(1);
    EXPECT_PRED2(nearColor, rgbOf(pixel(px, py)), probe.frame[2]);
    button.SetIsClick(5);
    EXPECT_PRED2(nearColor, rgbOf(pixel(px, py)), probe.frame[0]);

    // A missing image changes nothing.
    button.SetButtonImage(13999);
    button.GetWindowRect(&r);
    EXPECT_EQ(r.Size(), CSize(24, 18));
}

TEST_F(Controls, FastDoubleClickOnAPngButtonIsTwoClicks)
{
    CCustomPngButton png;
    OwnerDrawn plain;
    ASSERT_TRUE(png.Create("", WS_CHILD | WS_VISIBLE, CRect(10, 10, 34, 28), &host, 501));
    ASSERT_TRUE(plain.Create("", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, CRect(50, 10, 74, 28), &host, 502));
    for (CWnd* b : {static_cast<CWnd*>(&png), static_cast<CWnd*>(&plain)}) {
        CRect r;
        b->GetWindowRect(&r);
        lumui::SendMouse(b->m_hWnd, WM_LBUTTONDOWN, r.left + 5, r.top + 5, MK_LBUTTON);
        lumui::SendMouse(b->m_hWnd, WM_LBUTTONUP, r.left + 5, r.top + 5, 0);
        lumui::SendMouse(b->m_hWnd, WM_LBUTTONDBLCLK, r.left + 5, r.top + 5, MK_LBUTTON);
        lumui::SendMouse(b->m_hWnd, WM_LBUTTONUP, r.left + 5, r.top + 5, 0);
    }
    EXPECT_EQ(host.count(501, BN_CLICKED), 2);
    // Without the conversion an owner-drawn button reports a double click.
    EXPECT_EQ(host.count(502, BN_CLICKED), 1);
    EXPECT_EQ(host.count(502, BN_DOUBLECLICKED), 1);
}

TEST_F(Controls, OwnerDrawReachesDrawItemThroughTheParent)
{
    OwnerDrawn button;
    ASSERT_TRUE(button.Create("", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, CRect(10, 10, 60, 40), &host, 7));
    EXPECT_EQ(rgbOf(pixel(20, 20)), 0xC80000u);
    lumui::SendMouse(button.m_hWnd, WM_LBUTTONDOWN, 120, 120, MK_LBUTTON);
    EXPECT_EQ(rgbOf(pixel(20, 20)), 0x00A000u);
    ASSERT_FALSE(button.states.empty());
    EXPECT_TRUE(button.states.back() & ODS_SELECTED);
    // Released outside: no click, and the button is up again.
    lumui::SendMouse(button.m_hWnd, WM_MOUSEMOVE, 250, 250, MK_LBUTTON);
    EXPECT_EQ(rgbOf(pixel(20, 20)), 0xC80000u);
    lumui::SendMouse(button.m_hWnd, WM_LBUTTONUP, 250, 250, 0);
    EXPECT_EQ(host.count(7, BN_CLICKED), 0);
    button.EnableWindow(FALSE);
    pixel(20, 20);
    EXPECT_TRUE(button.states.back() & ODS_DISABLED);
}

TEST_F(Controls, CheckBoxTogglesOnAClickInsideIt)
{
    CButton box;
    ASSERT_TRUE(box.Create("同时加为好友", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, CRect(10, 10, 150, 30), &host, 1041));
    EXPECT_EQ(host.IsDlgButtonChecked(1041), 0u);
    click(box, 20, 20);
    EXPECT_EQ(box.GetCheck(), BST_CHECKED);
    EXPECT_EQ(host.IsDlgButtonChecked(1041), 1u);
    EXPECT_EQ(host.count(1041, BN_CLICKED), 1);
    // Pressed inside, released outside: nothing changes.
    lumui::SendMouse(box.m_hWnd, WM_LBUTTONDOWN, 120, 120, MK_LBUTTON);
    lumui::SendMouse(box.m_hWnd, WM_LBUTTONUP, 280, 180, 0);
    EXPECT_EQ(box.GetCheck(), BST_CHECKED);
    click(box, 20, 20);
    EXPECT_EQ(box.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(host.count(1041, BN_CLICKED), 2);
    // A plain check box leaves the state to its owner.
    box.SetButtonStyle(BS_CHECKBOX);
    click(box, 20, 20);
    EXPECT_EQ(box.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(host.count(1041, BN_CLICKED), 3);
}

TEST_F(Controls, ProgressBarMovesFromAWorkerThread)
{
    CProgressCtrl bar;
    ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE, CRect(10, 10, 210, 26), &host, 1000));
    bar.SetRange(0, 100);
    const DWORD track = rgbOf(pixel(110, 18));
    std::atomic<bool> done{false};
    std::atomic<int> previous{-1};
    std::thread worker([&] {
        bar.SetPos(30);
        previous = bar.SetPos(60);
        done = true;
    });
    ASSERT_TRUE(lumui::PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(previous.load(), 30);
    EXPECT_EQ(bar.GetPos(), 60);
    EXPECT_NE(rgbOf(pixel(110, 18)), track);  // half-way is filled now
    EXPECT_EQ(rgbOf(pixel(190, 18)), track);  // 90% is not
    bar.SetPos(150);
    EXPECT_EQ(bar.GetPos(), 100);
    bar.SetRange32(200, 300);
    EXPECT_EQ(bar.GetPos(), 200);
}

TEST_F(Controls, ToolTipAppearsAfterRestingOnATool)
{
    CButton button;
    ASSERT_TRUE(button.Create("消息中心", WS_CHILD | WS_VISIBLE, CRect(10, 10, 90, 40), &host, 1008));
    ASSERT_TRUE(host.tip.Create(&host));
    host.tip.AddTool(&button, "消息中心");
    const auto rested = std::chrono::steady_clock::now();
    lumui::SendMouse(button.m_hWnd, WM_MOUSEMOVE, 130, 120, 0);
    EXPECT_FALSE(host.tip.IsWindowVisible());
    ASSERT_TRUE(lumui::PumpUntil([&] { return host.tip.IsWindowVisible() != FALSE; }, 3000));
    EXPECT_GE(std::chrono::steady_clock::now() - rested, std::chrono::milliseconds(CToolTipCtrl::kInitialDelay))
        << "the tip showed before the pointer had rested";
    CRect r;
    host.tip.GetWindowRect(&r);
    EXPECT_GT(r.top, 120);  // below the pointer
    // A click ends it; so does moving off the tool.
    lumui::SendMouse(button.m_hWnd, WM_LBUTTONDOWN, 130, 120, MK_LBUTTON);
    EXPECT_FALSE(host.tip.IsWindowVisible());
    lumui::SendMouse(button.m_hWnd, WM_LBUTTONUP, 130, 120, 0);
    lumui::SendMouse(host.m_hWnd, WM_MOUSEMOVE, 250, 150, 0);
    lumui::SendMouse(button.m_hWnd, WM_MOUSEMOVE, 131, 121, 0);
    ASSERT_TRUE(lumui::PumpUntil([&] { return host.tip.IsWindowVisible() != FALSE; }, 3000));
    lumui::SendMouse(host.m_hWnd, WM_MOUSEMOVE, 250, 150, 0);
    EXPECT_FALSE(host.tip.IsWindowVisible());
}

TEST_F(Controls, StaticLinkOpensItsAddressAndTurnsVisited)
{
    TestServices services;
    std::vector<std::pair<CString, CString>> opened;
    services.SetShellExecute([&](const CString& verb, const CString& file, const CString&, const CString&, int) {
        opened.emplace_back(verb, file);
        return true;
    });
    CCustomStaticLink link;
    ASSERT_TRUE(link.Create("", WS_CHILD | WS_VISIBLE, CRect(10, 10, 150, 40), &host, 3001));
    EXPECT_TRUE(link.GetStyle() & SS_NOTIFY);
    link.SetLinkText("更多用户");
    link.SetLinkUrl("http://lum.example/more?id=1");
    link.SetLinkAttr(1, 1, 0);
    auto countColor = [&](COLORREF c) {
        const DWORD want = (DWORD(GetRValue(c)) << 16) | (DWORD(GetGValue(c)) << 8) | GetBValue(c);
        int n = 0;
        for (int y = 10; y < 30; ++y)
            for (int x = 10; x < 80; ++x)
                if (rgbOf(pixel(x, y)) == want) ++n;
        return n;
    };
    EXPECT_GT(countColor(RGB(171, 16, 136)), 0);
    click(link, 15, 15);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].first, "OPEN");
    EXPECT_EQ(opened[0].second, "http://lum.example/more?id=1");
    EXPECT_TRUE(link.IsVisited());
    EXPECT_GT(countColor(RGB(255, 0, 255)), 0);
    EXPECT_EQ(countColor(RGB(171, 16, 136)), 0);
    EXPECT_TRUE(host.commands.empty());  // the click is the link's own

    // A plain static with SS_NOTIFY reports its clicks.
    CStatic label;
    ASSERT_TRUE(label.Create("说明：", WS_CHILD | WS_VISIBLE | SS_NOTIFY, CRect(10, 50, 100, 70), &host, 3002));
    click(label, 20, 60);
    EXPECT_EQ(host.count(3002, STN_CLICKED), 1);
}

TEST_F(Controls, EditSelectionCountsBytesOfTheProgramsText)
{
    CEdit edit;
    ASSERT_TRUE(edit.Create(WS_CHILD | WS_VISIBLE, CRect(10, 10, 200, 34), &host, 1004));
    edit.SetWindowText("ab中文");
    const int wide = CString("中").GetLength();  // bytes of one character in the code page
    edit.SetSel(0, -1);
    int start = -1, end = -1;
    edit.GetSel(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 2 + 2 * wide);
    edit.SetSel(2, 2 + wide);
    edit.ReplaceSel("X");
    CString text;
    edit.GetWindowText(text);
    EXPECT_EQ(text, "abX文");
    edit.GetSel(start, end);
    EXPECT_EQ(start, 3);
    EXPECT_EQ(end, 3);
    edit.LimitText(50);
    EXPECT_EQ(edit.GetLimitText(), 50u);
}

TEST(Shell, RefusesWhatItCannotOpen)
{
    EXPECT_EQ(reinterpret_cast<intptr_t>(ShellExecute(nullptr, "open", "", nullptr, nullptr, SW_SHOWNORMAL)), SE_ERR_FNF);
    EXPECT_EQ(reinterpret_cast<intptr_t>(ShellExecute(nullptr, "open", "/no/such/file.xls", nullptr, nullptr, 1)),
              SE_ERR_FNF);
    EXPECT_LE(reinterpret_cast<intptr_t>(ShellExecute(nullptr, "print", "http://lum.example/", nullptr, nullptr, 1)),
              32);
}

TEST_F(Controls, LayeredHelperSetsTheOpacityInPercent)
{
    CLayeredWindowHelperST helper;
    EXPECT_EQ(helper.AddLayeredStyle(host.m_hWnd), 0);
    EXPECT_TRUE(host.GetExStyle() & WS_EX_LAYERED);
    EXPECT_TRUE(helper.SetTransparentPercentage(host.m_hWnd, 50));
    EXPECT_EQ(lumui::LayeredAlpha(host.m_hWnd), 127);
    EXPECT_TRUE(helper.SetTransparentPercentage(host.m_hWnd, 150));
    EXPECT_EQ(lumui::LayeredAlpha(host.m_hWnd), 255);
    EXPECT_TRUE(helper.SetTransparentPercentage(host.m_hWnd, 0));
    EXPECT_EQ(lumui::LayeredAlpha(host.m_hWnd), 0);
    EXPECT_EQ(helper.RemoveLayeredStyle(host.m_hWnd), static_cast<LONG>(WS_EX_LAYERED));
    EXPECT_EQ(lumui::LayeredAlpha(host.m_hWnd), 255);
    EXPECT_FALSE(helper.SetTransparentPercentage(host.m_hWnd, 50));  // no longer layered
    EXPECT_FALSE(helper.UpdateLayeredWindow(host.m_hWnd, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0));
}

// ---------------------------------------------------------------- controls from a template

namespace {

const UINT IDD_CONTROLS = 9200;

class ControlsDialog : public CDialogEx {
public:
    ControlsDialog() : CDialogEx(IDD_CONTROLS) {}
    void DoDataExchange(CDataExchange* dx) override
    {
        DDX_Control(dx, 9203, m_check);
        DDX_Control(dx, 9204, m_progress);
        DDX_Control(dx, 9206, m_link);
        DDX_Control(dx, 9207, m_min);
        DDX_Control(dx, 9208, m_close);
    }
    BOOL OnInitDialog() override
    {
        CDialogEx::OnInitDialog();
        {
            CResourceScope scope(GetBaseModuleHandle());
            m_min.SetButtonImage(13001);
            m_close.SetButtonImage(13000);
        }
        m_min.SetButtonBackColor(GetSysColor(COLOR_BTNFACE));
        m_close.SetButtonBackColor(GetSysColor(COLOR_BTNFACE));
        m_link.SetLinkText("更多用户");
        m_link.SetLinkUrl("http://lum.example/users");
        m_link.SetLinkAttr(1, 0, 0);
        m_progress.SetRange(0, 100);
        m_progress.SetPos(60);
        m_check.SetCheck(BST_CHECKED);
        return TRUE;
    }
    void OnSample(NMHDR* nm, LRESULT* result)
    {
        clicks.push_back(*nm);
        *result = 0;
    }
    CButton m_check;
    CProgressCtrl m_progress;
    CCustomStaticLink m_link;
    CCustomPngButton m_min, m_close;
    std::vector<NMHDR> clicks;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ControlsDialog, CDialogEx)
    ON_NOTIFY(NM_CLICK, 9205, OnSample)
END_MESSAGE_MAP()

DialogItemTemplate item(const char* cls, UINT id, int x, int y, int cx, int cy, DWORD style, const char* text)
{
    DialogItemTemplate t;
    t.className = cls;
    t.id = id;
    t.x = x;
    t.y = y;
    t.cx = cx;
    t.cy = cy;
    t.style = WS_CHILD | WS_VISIBLE | style;
    t.text = text;
    return t;
}

struct RegisterControlsTemplate {
    RegisterControlsTemplate()
    {
        DialogTemplate t;
        t.id = IDD_CONTROLS;
        t.cx = 340;
        t.cy = 190;
        t.style = WS_POPUP | WS_VISIBLE;
        t.items.push_back(item("Static", 9209, 16, 10, 200, 22, SS_CENTERIMAGE, "更新程序"));
        t.items.push_back(item("Button", 9207, 280, 8, 10, 10, 0, ""));
        t.items.push_back(item("Button", 9208, 304, 8, 10, 10, 0, ""));
        t.items.push_back(item("Static", 9201, 16, 48, 70, 20, SS_CENTERIMAGE, "总进度："));
        t.items.push_back(item("msctls_progress32", 9204, 90, 51, 230, 14, 0, ""));
        t.items.push_back(item("Button", 9203, 16, 84, 160, 22, BS_AUTOCHECKBOX, "同时加为好友"));
        t.items.push_back(item("SysLink", 9205, 200, 87, 120, 20, 0, "<a>点击下载示例</a>"));
        t.items.push_back(item("Static", 9206, 16, 118, 120, 20, 0, ""));
        t.items.push_back(item("Button", IDOK, 136, 146, 90, 30, BS_DEFPUSHBUTTON, "开始更新"));
        t.items.push_back(item("Button", IDCANCEL, 234, 146, 90, 30, 0, "取消"));
        RegisterDialogTemplate(nullptr, t);
    }
} g_registerControlsTemplate;

}  // namespace

TEST(ControlTemplates, TemplateControlsGetTheirClassesAndReport)
{
    ASSERT_TRUE(lumui::Start());
    ControlsDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_CONTROLS));
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_TRUE(dlg.GetDlgItem(9201)->IsKindOf(RUNTIME_CLASS(CStatic)));
    EXPECT_TRUE(dlg.GetDlgItem(9205)->IsKindOf(RUNTIME_CLASS(CLinkCtrl)));
    EXPECT_TRUE(dlg.GetDlgItem(IDOK)->IsKindOf(RUNTIME_CLASS(CButton)));
    EXPECT_EQ(dlg.GetDlgItem(9207), &dlg.m_min);
    EXPECT_TRUE(dlg.m_min.IsKindOf(RUNTIME_CLASS(CCustomPngButton)));
    EXPECT_TRUE(dlg.m_link.GetStyle() & SS_NOTIFY);
    EXPECT_EQ(dlg.IsDlgButtonChecked(9203), 1u);

    // The link: a click on its text notifies the dialog; beside it, nothing.
    CWnd* link = dlg.GetDlgItem(9205);
    CRect r;
    link->GetWindowRect(&r);
    lumui::SendMouse(link->m_hWnd, WM_LBUTTONDOWN, r.left + 4, r.top + 6, MK_LBUTTON);
    lumui::SendMouse(link->m_hWnd, WM_LBUTTONUP, r.left + 4, r.top + 6, 0);
    ASSERT_EQ(dlg.clicks.size(), 1u);
    EXPECT_EQ(dlg.clicks[0].hwndFrom, link->m_hWnd);
    EXPECT_EQ(dlg.clicks[0].idFrom, 9205u);
    lumui::SendMouse(link->m_hWnd, WM_LBUTTONDOWN, r.right - 2, r.top + 6, MK_LBUTTON);
    lumui::SendMouse(link->m_hWnd, WM_LBUTTONUP, r.right - 2, r.top + 6, 0);
    EXPECT_EQ(dlg.clicks.size(), 1u);

    const std::filesystem::path dir = LUM_SCREENSHOT_DIR;
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(lumui::SaveWindowImage(dlg.m_hWnd, (dir / "controls.png").string().c_str()));
    dlg.DestroyWindow();
}
