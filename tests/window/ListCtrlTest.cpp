// The list view under a real display: owner-drawn rows (measuring, drawing,
// scrolling), mouse and keyboard selection with their notifications, item
// bookkeeping, a plain report with grid lines, and use from a worker thread.
#include "platform/dialog.h"
#include "platform/listctrl.h"
#include "platform/uiapp.h"
#include "platform/windc.h"
#include "tests/platform/UiWait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

// A pixel of a composed window image (0xAARRGGBB) as a COLORREF.
COLORREF colorOf(DWORD argb)
{
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

const COLORREF kRowColor = RGB(0, 160, 0);
const COLORREF kSelectedRowColor = RGB(0, 0, 200);

// An owner-drawn list as the program's lists are built: it gives its row
// height when asked, paints rows in DrawItem, adds to the default painting
// and takes its own click notifications.
class OwnerList : public CListCtrl {
public:
    void MeasureItem(LPMEASUREITEMSTRUCT mis) override
    {
        ++measures;
        mis->itemHeight = static_cast<UINT>(rowHeight);
    }
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        drawn.push_back(*dis);
        CDC* dc = CDC::FromHandle(dis->hDC);
        dc->FillSolidRect(&dis->rcItem, (dis->itemState & ODS_SELECTED) ? kSelectedRowColor : kRowColor);
    }
    void OnPaint() override
    {
        CListCtrl::OnPaint();
        CPaintDC validate(this);
        CDC* dc = GetDC();
        dc->FillSolidRect(0, 0, 3, 3, RGB(255, 0, 0));
        ReleaseDC(dc);
    }
    void OnVScroll(UINT code, UINT pos, CScrollBar* bar) override
    {
        scrolls.push_back(code);
        CListCtrl::OnVScroll(code, pos, bar);
    }
    void OnNcCalcSize(BOOL calc, NCCALCSIZE_PARAMS* params) override
    {
        ModifyStyle(WS_HSCROLL, 0);
        CListCtrl::OnNcCalcSize(calc, params);
    }
    void OnClick(NMHDR* nm, LRESULT* result)
    {
        notes.push_back(*reinterpret_cast<NMITEMACTIVATE*>(nm));
        *result = 0;
    }
    void OnDblClk(NMHDR* nm, LRESULT* result) { OnClick(nm, result); }
    void OnRClick(NMHDR* nm, LRESULT* result) { OnClick(nm, result); }

    int rowHeight = 30;
    int measures = 0;
    std::vector<DRAWITEMSTRUCT> drawn;
    std::vector<UINT> scrolls;
    std::vector<NMITEMACTIVATE> notes;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(OwnerList, CListCtrl)
    ON_WM_PAINT()
    ON_WM_VSCROLL()
    ON_WM_NCCALCSIZE()
    ON_NOTIFY_REFLECT(NM_CLICK, OnClick)
    ON_NOTIFY_REFLECT(NM_DBLCLK, OnDblClk)
    ON_NOTIFY_REFLECT(NM_RCLICK, OnRClick)
END_MESSAGE_MAP()

// The parent: its own map takes clicks of lists 5000 and 5001.
class Host : public CWnd {
public:
    void OnPaint() override
    {
        CPaintDC dc(this);
        CRect r;
        GetClientRect(&r);
        dc.FillSolidRect(&r, RGB(240, 240, 240));
    }
    void OnListClick(NMHDR* nm, LRESULT*) { clicks.push_back(*reinterpret_cast<NMITEMACTIVATE*>(nm)); }
    std::vector<NMITEMACTIVATE> clicks;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Host, CWnd)
    ON_WM_PAINT()
    ON_NOTIFY(NM_CLICK, 5000, OnListClick)
    ON_NOTIFY(NM_CLICK, 5001, OnListClick)
END_MESSAGE_MAP()

// Host at (100, 100) on the screen; the lists at (10, 10) in it.
class ListCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        ASSERT_TRUE(host.CreateEx(0, nullptr, "lists", WS_POPUP | WS_VISIBLE, 100, 100, 320, 260, nullptr, 0));
        ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(host.m_hWnd); })) << "the window is not shown";
    }
    void TearDown() override
    {
        if (host.m_hWnd) host.DestroyWindow();
        uiwait::QueuedWorkDone();
    }
    void createOwnerList(int items, int height = 110)
    {
        ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER,
                                CRect(10, 10, 210, 10 + height), &host, 5000));
        list.InsertColumn(0, "User", LVCFMT_LEFT, 199);
        for (int i = 0; i < items; ++i) {
            CString text;
            text.Format("item %d", i);
            const int at = list.InsertItem(list.GetItemCount(), text);
            list.SetItemData(at, static_cast<DWORD_PTR>(100 + i));
        }
    }
    // Paints the host and its lists as they are now.
    DWORD pixel(int x, int y) { return colorOf(lumui::WindowPixel(host.m_hWnd, x, y)); }
    void mouse(UINT message, CWnd& target, int x, int y, UINT keys = 0)
    {
        lumui::SendMouse(target.m_hWnd, message, 110 + x, 110 + y, keys);
    }
    std::vector<UINT> drawnIds() const
    {
        std::vector<UINT> ids;
        for (const DRAWITEMSTRUCT& d : list.drawn) ids.push_back(d.itemID);
        return ids;
    }
    Host host;
    OwnerList list;
};

}  // namespace

TEST_F(ListCtrlTest, OwnerDrawnRowsAreMeasuredOnceAndAgainOnWindowPosChanged)
{
    createOwnerList(10);
    pixel(20, 20);
    EXPECT_EQ(list.GetCountPerPage(), 3);  // 110 / 30
    CRect r;
    ASSERT_TRUE(list.GetItemRect(2, &r, LVIR_BOUNDS));
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(list.measures, 1);

    // The way callers make the list ask again: its own size, not moved.
    list.rowHeight = 20;
    WINDOWPOS wp;
    wp.hwnd = list.m_hWnd;
    wp.cx = 200;
    wp.cy = 110;
    wp.flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    list.SendMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    EXPECT_EQ(list.measures, 2);
    EXPECT_EQ(list.GetCountPerPage(), 5);
    ASSERT_TRUE(list.GetItemRect(2, &r, LVIR_BOUNDS));
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(list.HitTest(CPoint(50, 45)), 2);

    // Removing the horizontal scroll bar while sizing is harmless.
    NCCALCSIZE_PARAMS params;
    list.SendMessage(WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
    EXPECT_FALSE(list.GetStyle() & WS_HSCROLL);
}

TEST_F(ListCtrlTest, DrawItemPaintsVisibleRowsOnlyAndFollowsScrolling)
{
    createOwnerList(10);
    list.rowHeight = 20;
    list.SendMessage(WM_WINDOWPOSCHANGED, 0, 0);
    list.drawn.clear();
    // Rows 0-4 fit, row 5 shows in part, the rest are out of sight.
    EXPECT_EQ(pixel(10 + 100, 10 + 30), kRowColor);
    EXPECT_EQ(drawnIds(), (std::vector<UINT>{0, 1, 2, 3, 4, 5}));
    const DRAWITEMSTRUCT& third = list.drawn[3];
    EXPECT_EQ(third.CtlType, static_cast<UINT>(ODT_LISTVIEW));
    EXPECT_EQ(third.CtlID, 5000u);
    EXPECT_EQ(third.hwndItem, list.m_hWnd);
    EXPECT_EQ(third.itemData, 103u);
    EXPECT_EQ(third.rcItem.left, 0);
    EXPECT_EQ(third.rcItem.top, 60);
    EXPECT_EQ(third.rcItem.bottom, 80);
    CRect bounds;
    list.GetItemRect(3, &bounds, LVIR_BOUNDS);
    EXPECT_EQ(CRect(third.rcItem), bounds);
    EXPECT_GT(bounds.right, 150);  // the whole row, less the scroll bar
    // The class's painting after the default one shows on top of it.
    EXPECT_EQ(pixel(11, 11), RGB(255, 0, 0));

    list.SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(list.GetTopIndex(), 1);
    list.drawn.clear();
    pixel(20, 20);
    EXPECT_EQ(drawnIds(), (std::vector<UINT>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(list.drawn[0].rcItem.top, 0);
    EXPECT_EQ(list.drawn[2].itemData, 103u);
    EXPECT_EQ(list.drawn[2].rcItem.top, 40);
    EXPECT_EQ(list.HitTest(CPoint(50, 45)), 3);
}

TEST_F(ListCtrlTest, ClicksSelectAndReachTheReflectHandlerFirst)
{
    createOwnerList(10);
    list.rowHeight = 20;
    list.SendMessage(WM_WINDOWPOSCHANGED, 0, 0);

    mouse(WM_LBUTTONDOWN, list, 50, 3 * 20 + 5, MK_LBUTTON);
    mouse(WM_LBUTTONUP, list, 50, 3 * 20 + 5);
    ASSERT_EQ(list.notes.size(), 1u);
    EXPECT_EQ(list.notes[0].hdr.code, static_cast<UINT>(NM_CLICK));
    EXPECT_EQ(list.notes[0].hdr.hwndFrom, list.m_hWnd);
    EXPECT_EQ(list.notes[0].hdr.idFrom, 5000u);
    EXPECT_EQ(list.notes[0].iItem, 3);
    EXPECT_EQ(list.notes[0].ptAction.x, 50);
    EXPECT_EQ(list.notes[0].ptAction.y, 65);
    EXPECT_TRUE(host.clicks.empty());  // the reflect handler took it
    EXPECT_EQ(list.GetSelectionMark(), 3);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 3);
    EXPECT_EQ(list.GetItemState(3, LVIS_SELECTED | LVIS_FOCUSED), static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED));
    EXPECT_EQ(pixel(10 + 100, 10 + 65), kSelectedRowColor);
    EXPECT_EQ(pixel(10 + 100, 10 + 45), kRowColor);

    mouse(WM_LBUTTONDBLCLK, list, 50, 25, MK_LBUTTON);
    mouse(WM_LBUTTONUP, list, 50, 25);
    ASSERT_EQ(list.notes.size(), 2u);
    EXPECT_EQ(list.notes[1].hdr.code, static_cast<UINT>(NM_DBLCLK));
    EXPECT_EQ(list.notes[1].iItem, 1);

    // A right click selects the row under the pointer and reports on release.
    mouse(WM_RBUTTONDOWN, list, 50, 85, MK_RBUTTON);
    EXPECT_EQ(list.notes.size(), 2u);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 4);
    mouse(WM_RBUTTONUP, list, 50, 85);
    ASSERT_EQ(list.notes.size(), 3u);
    EXPECT_EQ(list.notes[2].hdr.code, static_cast<UINT>(NM_RCLICK));
    EXPECT_EQ(list.notes[2].iItem, 4);
    EXPECT_EQ(list.GetNextItem(4, LVNI_SELECTED), -1);
    EXPECT_EQ(list.GetSelectionMark(), 4);

    // The keyboard moves the selection.
    lumui::SendKey(list.m_hWnd, VK_DOWN);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 5);
    EXPECT_EQ(list.GetSelectionMark(), 5);
    lumui::SendKey(list.m_hWnd, VK_END);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 9);
    EXPECT_EQ(list.GetTopIndex(), 5);  // scrolled into view

    // A list without a reflect handler: the parent's map gets the click,
    // also one on the empty space below the rows, which clears the selection.
    CListCtrl plain;
    ASSERT_TRUE(plain.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT, CRect(220, 10, 310, 200), &host, 5001));
    plain.InsertColumn(0, "User", LVCFMT_LEFT, 80);
    plain.InsertItem(0, "a");
    plain.InsertItem(1, "b");
    CRect row;
    plain.GetItemRect(1, &row, LVIR_BOUNDS);
    mouse(WM_LBUTTONDOWN, plain, 210 + 20, row.top + 3, MK_LBUTTON);
    ASSERT_EQ(host.clicks.size(), 1u);
    EXPECT_EQ(host.clicks[0].iItem, 1);
    EXPECT_EQ(host.clicks[0].hdr.idFrom, 5001u);
    EXPECT_EQ(plain.GetNextItem(-1, LVNI_SELECTED), 1);
    mouse(WM_LBUTTONDOWN, plain, 210 + 20, 150, MK_LBUTTON);
    ASSERT_EQ(host.clicks.size(), 2u);
    EXPECT_EQ(host.clicks[1].iItem, -1);
    EXPECT_EQ(plain.GetNextItem(-1, LVNI_SELECTED), -1);
    EXPECT_EQ(plain.GetSelectionMark(), 1);
}

TEST_F(ListCtrlTest, ItemsAreFoundByDataAndShiftWhenDeleted)
{
    createOwnerList(6);
    LVFINDINFO find;
    find.flags = LVFI_PARAM;
    find.lParam = 104;
    EXPECT_EQ(list.FindItem(&find), 4);
    EXPECT_EQ(list.FindItem(&find, 4), -1);  // searches after the start
    find.lParam = 999;
    EXPECT_EQ(list.FindItem(&find), -1);
    list.SetSelectionMark(3);

    EXPECT_TRUE(list.DeleteItem(1));
    EXPECT_FALSE(list.DeleteItem(5));
    EXPECT_EQ(list.GetItemCount(), 5);
    EXPECT_EQ(list.GetItemData(1), 102u);
    EXPECT_EQ(list.GetItemText(1, 0), "item 2");
    find.lParam = 104;
    EXPECT_EQ(list.FindItem(&find), 3);
    EXPECT_EQ(list.GetSelectionMark(), 2);  // the marked row moved up with it

    find.flags = LVFI_STRING;
    find.psz = "ITEM 5";
    EXPECT_EQ(list.FindItem(&find), 4);

    // An index beyond the end appends; in the middle, later rows move down.
    EXPECT_EQ(list.InsertItem(50, "last"), 5);
    EXPECT_EQ(list.InsertItem(0, "first"), 0);
    EXPECT_EQ(list.GetItemData(1), 100u);
    EXPECT_EQ(list.GetItemText(6, 0), "last");
    EXPECT_EQ(list.GetSelectionMark(), 3);
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(list.GetSelectionMark(), -1);
}

TEST_F(ListCtrlTest, WheelAndScrollBarSendVScrollToTheList)
{
    createOwnerList(30);
    list.rowHeight = 20;
    list.SendMessage(WM_WINDOWPOSCHANGED, 0, 0);
    ASSERT_EQ(list.GetCountPerPage(), 5);

    list.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    EXPECT_EQ(list.GetTopIndex(), 3);
    EXPECT_EQ(list.scrolls, (std::vector<UINT>{SB_LINEDOWN, SB_LINEDOWN, SB_LINEDOWN, SB_ENDSCROLL}));
    list.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0);
    EXPECT_EQ(list.GetTopIndex(), 0);  // stops at the top

    // The thumb sits at the top of the bar at the right edge; dragging it
    // to the bottom reaches the last page.
    list.scrolls.clear();
    const int barX = 200 - 6;
    mouse(WM_LBUTTONDOWN, list, barX, 5, MK_LBUTTON);
    mouse(WM_MOUSEMOVE, list, barX, 200, MK_LBUTTON);
    mouse(WM_LBUTTONUP, list, barX, 200);
    EXPECT_EQ(list.GetTopIndex(), 25);
    ASSERT_GE(list.scrolls.size(), 3u);
    EXPECT_EQ(list.scrolls.front(), static_cast<UINT>(SB_THUMBTRACK));
    EXPECT_EQ(list.scrolls[list.scrolls.size() - 2], static_cast<UINT>(SB_THUMBPOSITION));
    EXPECT_EQ(list.scrolls.back(), static_cast<UINT>(SB_ENDSCROLL));
    EXPECT_TRUE(list.notes.empty());  // the bar is not a row

    // A press above the thumb pages up.
    list.scrolls.clear();
    mouse(WM_LBUTTONDOWN, list, barX, 10, MK_LBUTTON);
    mouse(WM_LBUTTONUP, list, barX, 10);
    EXPECT_EQ(list.scrolls, (std::vector<UINT>{SB_PAGEUP, SB_ENDSCROLL}));
    EXPECT_EQ(list.GetTopIndex(), 20);

    EXPECT_TRUE(list.EnsureVisible(2, FALSE));
    EXPECT_EQ(list.GetTopIndex(), 2);
    EXPECT_TRUE(list.EnsureVisible(12, FALSE));
    EXPECT_EQ(list.GetTopIndex(), 8);
    list.Scroll(CSize(0, -50));  // rounded to three rows
    EXPECT_EQ(list.GetTopIndex(), 5);
}

namespace {

const UINT IDD_IMPORT = 9310;

struct RegisterImportTemplate {
    RegisterImportTemplate()
    {
        DialogTemplate t;
        t.id = IDD_IMPORT;
        t.cx = 460;
        t.cy = 250;
        t.style = WS_POPUP | WS_VISIBLE;
        DialogItemTemplate list;
        list.className = "SysListView32";
        list.id = 1002;
        list.x = 15;
        list.y = 15;
        list.cx = 430;
        list.cy = 220;
        list.style = WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS;
        t.items.push_back(list);
        RegisterDialogTemplate(nullptr, t);
    }
} g_registerImportTemplate;

class ImportDialog : public CDialog {
public:
    ImportDialog() : CDialog(IDD_IMPORT) {}
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, 1002, m_list); }
    CListCtrl m_list;
};

}  // namespace

TEST_F(ListCtrlTest, ReportWithGridLinesShowsItsColumnsAndTakesTextsFromAWorker)
{
    ImportDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_IMPORT));
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    CListCtrl& list = dlg.m_list;
    ASSERT_TRUE(list.m_hWnd);
    list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    EXPECT_EQ(list.GetExtendedStyle(), static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
    const char* headings[] = {"姓名", "手机号", "邮箱", "导入状态"};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(list.InsertColumn(c, headings[c], LVCFMT_LEFT, 100), c);
    const char* rows[][3] = {{"张三", "13800000001", "zhangsan@example.com"},
                             {"李四", "13800000002", "lisi@example.com"},
                             {"王五", "13800000003", ""},
                             {"赵六", "13800000004", "zhaoliu@example.com"},
                             {"孙七", "13800000005", "sunqi@example.com"},
                             {"周八", "13800000006", ""},
                             {"吴九", "13800000007", "wujiu@example.com"},
                             {"郑十", "13800000008", "zhengshi@example.com"},
                             {"钱十一", "13800000009", "qian@example.com"}};
    const int count = static_cast<int>(sizeof(rows) / sizeof(rows[0]));
    for (int i = 0; i < count; ++i) {
        const int at = list.InsertItem(i, rows[i][0]);
        list.SetItemText(at, 1, rows[i][1]);
        list.SetItemText(at, 2, rows[i][2]);
    }
    EXPECT_FALSE(list.SetItemText(0, 4, "no such column"));
    EXPECT_EQ(list.GetColumnWidth(3), 100);

    // The import worker reads the rows and writes each row's state.
    std::atomic<bool> done{false};
    std::vector<CString> phones(static_cast<size_t>(count));
    std::thread worker([&] {
        const int n = list.GetItemCount();
        for (int i = 0; i < n; ++i) {
            phones[static_cast<size_t>(i)] = list.GetItemText(i, 1);
            list.SetItemText(i, 3, list.GetItemText(i, 2).IsEmpty() ? "非本网用户必须含有邮箱,导入失败" : "成功");
        }
        done = true;
    });
    ASSERT_TRUE(lumui::PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(phones[3], "13800000004");
    EXPECT_EQ(list.GetItemText(0, 3), "成功");
    EXPECT_EQ(list.GetItemText(2, 3), "非本网用户必须含有邮箱,导入失败");

    // Select the second row with the mouse.
    CRect win, row;
    list.GetWindowRect(&win);
    list.GetItemRect(1, &row, LVIR_BOUNDS);
    lumui::SendMouse(list.m_hWnd, WM_LBUTTONDOWN, win.left + 150, win.top + row.top + 4, MK_LBUTTON);
    lumui::SendMouse(list.m_hWnd, WM_LBUTTONUP, win.left + 150, win.top + row.top + 4, 0);
    EXPECT_EQ(list.GetSelectionMark(), 1);

    auto at = [&](int x, int y) { return colorOf(lumui::WindowPixel(dlg.m_hWnd, 15 + x, 15 + y)); };
    CRect first;
    list.GetItemRect(0, &first, LVIR_BOUNDS);
    ASSERT_GT(first.top, 10);  // below the header
    const DWORD white = RGB(255, 255, 255);
    EXPECT_NE(at(200, first.top / 2), white);  // header
    EXPECT_EQ(at(395, (first.top + first.bottom) / 2), white);
    // Grid lines: right of the first column and under the first row.
    EXPECT_NE(at(first.left + 99, (first.top + first.bottom) / 2), white);
    EXPECT_NE(at(250, first.bottom - 1), white);
    // The selected row is highlighted across all columns.
    const DWORD selected = at(395, (row.top + row.bottom) / 2);
    EXPECT_NE(selected, white);
    EXPECT_EQ(at(195, (row.top + row.bottom) / 2), selected);
    // The first cell shows its text: dark pixels in it.
    bool text = false;
    for (int y = first.top; y < first.bottom && !text; ++y)
        for (int x = first.left + 2; x < first.left + 60 && !text; ++x)
            text = GetRValue(at(x, y)) < 100;
    EXPECT_TRUE(text);
    // Nine rows do not fit: the scroll bar appears and takes the wheel.
    EXPECT_LT(list.GetCountPerPage(), count);
    list.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    EXPECT_GT(list.GetTopIndex(), 0);
    list.SendMessage(WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(list.GetTopIndex(), 0);

    const std::filesystem::path dir = LUM_SCREENSHOT_DIR;
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(lumui::SaveWindowImage(dlg.m_hWnd, (dir / "list.png").string().c_str()));
    dlg.DestroyWindow();
}
