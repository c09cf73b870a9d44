// The owner-drawn contact list and the unread-sender stack: rows as drawn,
// hover and selection colours (also after rows went away), the friend
// menu, commands that change the list, and the stack's order.
#include "Lum/contacts/KivUsersListCtrl.h"
#include "Lum/KivMessages.h"
#include "Lum/chat/StackNewMsg.h"
#include "platform/menu.h"
#include "platform/uiapp.h"
#include "platform/windc.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

const DWORD kBack = 0xFFFFFFFF, kHover = 0xFFCFF5FF, kSelect = 0xFFFFEFB1;

class Host : public CWnd {
public:
    void OnPaint() override
    {
        CPaintDC dc(this);
        CRect r;
        GetClientRect(&r);
        dc.FillSolidRect(&r, RGB(240, 240, 240));
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Host, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

std::unique_ptr<CDataUser> User(int id, const char* name, const char* remark, const char* sign, int status)
{
    auto rec = std::make_unique<CDataUser>();
    rec->m_nId = id;
    rec->m_bstrName = name;
    rec->m_strRemark = remark;
    rec->m_bstrSign = sign;
    rec->m_nStatus = status;
    return rec;
}

// Host at (100, 100) on the screen, the list at (10, 10) in it, 230 x 260.
class ListsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        ASSERT_TRUE(host.CreateEx(0, nullptr, "lists", WS_POPUP | WS_VISIBLE, 100, 100, 250, 280, nullptr, 0));
        services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
            boxes.push_back(text.str());
            return answer;
        });
    }
    void TearDown() override
    {
        list.reset();
        if (host.m_hWnd) host.DestroyWindow();
        uiwait::QueuedWorkDone();
    }
    void CreateList(int listId)
    {
        list = std::make_unique<CKivUsersListCtrl>();
        list->m_nListId = listId;
        list->m_pStackNewMsg = &stack;
        ASSERT_TRUE(list->Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED |
                                     LVS_NOCOLUMNHEADER,
                                 CRect(10, 10, 240, 270), &host, 1017));
        list->SetRowHeight(52);
        list->m_clrBack = kBack;
        list->m_clrHover = kHover;
        list->m_clrSelect = kSelect;
    }
    void AddFriends()
    {
        auto a = User(1001, "张伟", "老同学", "今天天气不错", 1);
        auto b = User(1002, "李娜", "", "在图书馆", 0);
        auto c = User(1003, "", "", "", 7);
        auto d = User(1004, "王芳", "王老师", "上课中，请勿打扰", 2);
        d->m_nReserved3 = 3;
        for (CDataUser* rec : {a.get(), b.get(), c.get(), d.get()}) list->AddUser(rec, 0);
        Repaint();
    }
    void Repaint()
    {
        list->Invalidate(TRUE);
        list->UpdateWindow();
    }
    // Screen point inside row `row`, right of the texts.
    CPoint RowPoint(int row) { return CPoint(110 + 215, 110 + row * 52 + 49); }
    DWORD RowPixel(int row) { return lumui::WindowPixel(list->m_hWnd, 215, row * 52 + 49); }
    void Mouse(UINT message, CPoint p, UINT keys = 0) { lumui::SendMouse(list->m_hWnd, message, p.x, p.y, keys); }

    TestServices services_;
    Host host;
    std::unique_ptr<CKivUsersListCtrl> list;
    CStackNewMsg stack;
    std::vector<std::string> boxes;
    int answer = IDOK;
};

TEST_F(ListsTest, RowsShowRemarkNameOrIdAndTheColoursOfHoverAndSelection)
{
    CreateList(1);
    AddFriends();
    ASSERT_EQ(list->GetItemCount(), 4);
    EXPECT_EQ(list->GetItemText(0, 0).str(), "老同学");
    EXPECT_EQ(list->GetItemText(1, 0).str(), "李娜");
    EXPECT_EQ(list->GetItemText(2, 0).str(), "1003");
    EXPECT_EQ(static_cast<int>(list->GetItemData(3)), 1004);
    EXPECT_EQ(list->m_mapUsers.at(1002)->m_nGroupId, 1);

    // Hover on row 1, then press row 0; a row both hovered and selected
    // shows the selection.
    Mouse(WM_MOUSEMOVE, RowPoint(1));
    Repaint();
    EXPECT_EQ(list->m_nHoverItem, 1);
    EXPECT_EQ(RowPixel(1), kHover);
    EXPECT_EQ(RowPixel(0), kBack);
    Mouse(WM_LBUTTONDOWN, RowPoint(1), MK_LBUTTON);
    Mouse(WM_LBUTTONUP, RowPoint(1));
    Repaint();
    EXPECT_EQ(list->m_nSelItem, 1);
    EXPECT_EQ(RowPixel(1), kSelect);
    // Below the last row the hover stays where it was.
    Mouse(WM_MOUSEMOVE, CPoint(110 + 100, 110 + 4 * 52 + 20));
    EXPECT_EQ(list->m_nHoverItem, 1);
    Mouse(WM_MOUSEMOVE, RowPoint(3));
    Repaint();
    EXPECT_EQ(RowPixel(3), kHover);

    std::filesystem::create_directories(SCREENSHOT_DIR);
    EXPECT_TRUE(lumui::SaveWindowImage(host.m_hWnd, SCREENSHOT_DIR "/friends.png"));
}

TEST_F(ListsTest, HoverAndSelectionNeverOutliveTheirRows)
{
    CreateList(1);
    AddFriends();
    // The last row hovered and selected, then removed.
    Mouse(WM_MOUSEMOVE, RowPoint(3));
    Mouse(WM_LBUTTONDOWN, RowPoint(3), MK_LBUTTON);
    Mouse(WM_LBUTTONUP, RowPoint(3));
    ASSERT_EQ(list->m_nSelItem, 3);
    EXPECT_EQ(list->RemoveUser(1004), 1);
    EXPECT_EQ(list->RemoveUser(1004), 0);
    EXPECT_EQ(list->m_nSelItem, -1);
    EXPECT_EQ(list->m_nHoverItem, -1);
    // A newcomer in the freed place is not painted selected.
    auto e = User(1005, "赵敏", "", "", 1);
    list->AddUser(e.get(), 0);
    Repaint();
    EXPECT_EQ(RowPixel(3), kBack);

    // Selection on row 2 follows its contact when row 0 goes.
    Mouse(WM_LBUTTONDOWN, RowPoint(2), MK_LBUTTON);
    Mouse(WM_LBUTTONUP, RowPoint(2));
    list->RemoveUser(1001);
    EXPECT_EQ(list->m_nSelItem, 1);
    EXPECT_EQ(static_cast<int>(list->GetItemData(1)), 1003);

    // Log-out empties everything.
    list->DeleteAllUsers();
    EXPECT_EQ(list->GetItemCount(), 0);
    EXPECT_EQ(list->m_nSelItem, -1);
    EXPECT_TRUE(list->m_mapUsers.empty());
}

TEST_F(ListsTest, ThumbDragClearsTheBufferAndItsReleaseDoesNot)
{
    CreateList(1);
    for (int id = 2001; id <= 2012; ++id) {
        auto rec = User(id, "同学", "", "", 1);
        list->AddUser(rec.get(), 0);
    }
    Repaint();
    Gdiplus::SolidBrush mark(Gdiplus::Color(0xFFFF0000));
    auto marked = [&] {
        Gdiplus::Color c;
        list->m_pBackBitmap->GetPixel(5, 5, &c);
        return c.GetValue() == 0xFFFF0000;
    };
    list->m_pBackGraphics->FillRectangle(&mark, 0, 0, 10, 10);
    list->SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 2), 0);
    list->SendMessage(WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
    EXPECT_TRUE(marked());
    list->SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 1), 0);
    EXPECT_FALSE(marked());
    EXPECT_EQ(list->GetTopIndex(), 1);
    EXPECT_FALSE(list->GetStyle() & WS_HSCROLL);
}

TEST_F(ListsTest, StaleContactsLeaveListAndUnreadStack)
{
    CreateList(1);
    // Loaded from the store: one of them with unread messages.
    auto a = User(1001, "张伟", "", "", 1);
    auto b = User(1002, "李娜", "", "", 1);
    b->AddMsgToUnreadNews(__StructMessage{});
    stack.Push(b.get());
    list->AddUser(a.get(), 0);
    list->AddUser(b.get(), 0);
    // The stack holds the list's copy, the caller's record lost its queue.
    CData* copy = list->GetUser(1002);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(stack.Top(), copy);
    EXPECT_EQ(stack.GetCount(), 1);
    EXPECT_TRUE(b->m_vecUnread.empty());
    // The reply lists 1001 only, with a new remark.
    auto replyA = User(1001, "张伟", "阿伟", "", 1);
    list->AddUser(replyA.get(), 1);
    EXPECT_EQ(list->GetItemText(0, 0).str(), "阿伟");
    list->RemoveStaleUsers();
    EXPECT_EQ(list->GetItemCount(), 1);
    EXPECT_EQ(list->GetUser(1002), nullptr);
    EXPECT_TRUE(stack.IsEmpty());
}

TEST_F(ListsTest, RightClickShowsTheFriendMenuAndCommandsActOnTheRow)
{
    CreateList(1);
    AddFriends();
    HWND popup = nullptr;
    lumui::RunLater([&] {
        popup = lumui::OpenPopupMenu();
        if (popup) lumui::SendKey(popup, VK_ESCAPE);
    });
    Mouse(WM_RBUTTONDOWN, RowPoint(1), MK_RBUTTON);
    Mouse(WM_RBUTTONUP, RowPoint(1));
    EXPECT_NE(popup, nullptr);
    EXPECT_EQ(list->GetSelectionMark(), 1);

    // A remark for another contact than the selected one changes nothing.
    auto other = User(1003, "", "新备注", "", 0);
    list->SendMessage(UM_REMARK_CHANGED, reinterpret_cast<WPARAM>(other.get()), 0);
    EXPECT_EQ(list->GetItemText(2, 0).str(), "1003");
    auto mine = User(1002, "", "小李", "", 0);
    list->SendMessage(UM_REMARK_CHANGED, reinterpret_cast<WPARAM>(mine.get()), 0);
    EXPECT_EQ(list->GetItemText(1, 0).str(), "小李");

    // Plug-in commands reach the hook with the row.
    std::vector<std::pair<UINT, int>> commands;
    CKivUsersListCtrl::s_pluginCommand = [&](CKivUsersListCtrl*, UINT command, int id, const CString&) {
        commands.push_back({command, id});
    };
    list->SendMessage(WM_COMMAND, 9052, 0);
    CKivUsersListCtrl::s_pluginCommand = nullptr;
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], std::make_pair(9052u, 1002));

    // Delete friend, cancelled: nothing changes.
    answer = IDCANCEL;
    list->SendMessage(WM_COMMAND, 9046, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "您确认要删除好友 小李(1002)吗?");
    EXPECT_EQ(list->GetItemCount(), 4);
}

TEST_F(ListsTest, StrangerListDeletesLocallyAndHasNoBlankMenu)
{
    CreateList(2);
    AddFriends();
    HWND popup = reinterpret_cast<HWND>(1);
    lumui::RunLater([&] {
        popup = lumui::OpenPopupMenu();
        if (popup) lumui::SendKey(popup, VK_ESCAPE);
    });
    Mouse(WM_RBUTTONDOWN, CPoint(110 + 100, 110 + 4 * 52 + 20), MK_RBUTTON);
    Mouse(WM_RBUTTONUP, CPoint(110 + 100, 110 + 4 * 52 + 20));
    // The work runs in the menu's loop when a menu opened, else on the next turn.
    ASSERT_TRUE(lumui::PumpUntil([&] { return popup != reinterpret_cast<HWND>(1); }));
    EXPECT_EQ(popup, nullptr);

    Mouse(WM_LBUTTONDOWN, RowPoint(0), MK_LBUTTON);
    Mouse(WM_LBUTTONUP, RowPoint(0));
    list->SendMessage(WM_COMMAND, 9077, 0);
    EXPECT_EQ(list->GetItemCount(), 3);
    EXPECT_EQ(list->FindRow(1001), -1);
    EXPECT_TRUE(boxes.empty());
}

TEST(StackNewMsgTest, MostRecentSenderOnTopAndRemovalClearsOnlyStackedRecords)
{
    CDataUser a, b, c;
    a.m_nId = 1;
    b.m_nId = 2;
    c.m_nId = 3;
    CStackNewMsg stack;
    stack.Push(&a);
    stack.Push(&a);
    EXPECT_EQ(stack.GetCount(), 1);
    stack.Push(&b);
    EXPECT_EQ(stack.Top(), &b);
    stack.Push(&a);
    EXPECT_EQ(stack.Top(), &a);
    EXPECT_EQ(stack.GetCount(), 2);

    // Not on the stack: its messages stay.
    c.AddMsgToUnreadNews(__StructMessage{});
    stack.Remove(&c);
    EXPECT_EQ(c.m_vecUnread.size(), 1u);
    EXPECT_EQ(stack.GetCount(), 2);
    b.AddMsgToUnreadNews(__StructMessage{});
    stack.Remove(&b);
    EXPECT_TRUE(b.m_vecUnread.empty());
    EXPECT_EQ(stack.GetCount(), 1);
    stack.Pop();
    EXPECT_TRUE(stack.IsEmpty());
    EXPECT_EQ(stack.Top(), nullptr);
}

}  // namespace
