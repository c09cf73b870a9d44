// The local search of the quick-search box: matching friends and groups
// (prefix, middle, Chinese, digits, no match), and the drop-down under the
// box: its rows, size and place, opening a chat from a row, hiding, and the
// service-search links without the search plug-in.
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/contacts/KivSearchList.h"
#include "Lum/contacts/KivUsersListCtrl.h"
#include "platform/controls.h"
#include "platform/uiapp.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

CDataUser* User(int id, const char* name)
{
    auto* rec = new CDataUser;
    rec->m_nId = id;
    rec->m_bstrName = name;
    return rec;
}

CDataGroup* Group(int gid, const char* name)
{
    auto* rec = new CDataGroup;
    rec->m_nId = gid;
    rec->m_bstrName = name;
    rec->m_nIsGroup = 1;
    return rec;
}

// Names of the records found, in the set's order, with "g:" before groups.
std::vector<std::string> Names(const SearchResultSet& found)
{
    std::vector<std::string> out;
    for (const CData* rec : found)
        out.push_back(std::string(rec->m_nIsGroup == 1 ? "g:" : "") + static_cast<const char*>(rec->m_bstrName));
    return out;
}

class Host : public CWnd {};

class LocalSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
            boxes.push_back(text.str());
            return IDOK;
        });
        // The lists own their records.
        for (CDataUser* u : {User(1001, "张三"), User(1002, "李四光"), User(1203, "alice"), User(1500, "Bob a1"),
                             User(7, "王五"), User(2120, "O'Neil & 100%")})
            friends.m_mapUsers[u->m_nId] = u;
        for (CDataUser* u : {User(3001, "张三的同学"), User(3120, "陌生人")}) strangers.m_mapUsers[u->m_nId] = u;
        for (CDataGroup* g : {Group(7, "一班张三群"), Group(9120, "篮球队"), Group(9200, "alice's club")})
            groups.m_mapGroups[g->m_nId] = g;
    }

    void TearDown() override
    {
        ReleaseSearchDropDown(&host);
        if (host.m_hWnd) host.DestroyWindow();
        CKivUsersListCtrl::s_createChat = nullptr;
    }

    std::vector<std::string> Find(const char* text)
    {
        SearchResultSet found;
        SearchUsers(friends, text, found);
        SearchGroups(groups, text, found);
        return Names(found);
    }

    // A main window stand-in at (200, 150) with the search box at (10, 108).
    void MakeHost()
    {
        ASSERT_TRUE(host.CreateEx(0, nullptr, "main", WS_POPUP | WS_VISIBLE, 200, 150, 202, 521, nullptr, 0));
        ASSERT_TRUE(box.Create(ES_AUTOHSCROLL | WS_CHILD | WS_VISIBLE, CRect(10, 108, 167, 125), &host, 1013));
        ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(host.m_hWnd); })) << "the window is not shown";
    }

    CDlgSearchListctrl* Search(const char* text)
    {
        box.SetWindowText(text);
        ShowSearchDropDown(&host, box, friends, groups, nullptr);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return FindSearchDropDown(&host);
    }

    // A picture of the screen once `shown` is on it.
    static void Shot(const char* name, CWnd* shown)
    {
        std::filesystem::create_directories(SCREENSHOT_DIR);
        EXPECT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(shown->m_hWnd); }));
        EXPECT_TRUE(lumui::SaveScreenImage((std::string(SCREENSHOT_DIR) + "/" + name).c_str()));
    }

    TestServices services_;
    CKivUsersListCtrl friends;
    CKivUsersListCtrl strangers;
    CKivGroupListCtrl groups;
    Host host;
    CEdit box;
    std::vector<std::string> boxes;
};

}  // namespace

TEST_F(LocalSearchTest, MatchesNamesByPrefixMiddleAndChinese)
{
    // Prefix and middle of a name, friends and groups alike; strangers never.
    EXPECT_EQ(Find("张三"), (std::vector<std::string>{"张三", "g:一班张三群"}));
    EXPECT_EQ(Find("光"), (std::vector<std::string>{"李四光"}));
    EXPECT_EQ(Find("lic"), (std::vector<std::string>{"alice", "g:alice's club"}));
    EXPECT_EQ(Find("陌生"), std::vector<std::string>{});
    // Case-sensitive, as typed; quotes and signs are plain text.
    EXPECT_EQ(Find("Alice"), std::vector<std::string>{});
    EXPECT_EQ(Find("'Neil & 100%"), (std::vector<std::string>{"O'Neil & 100%"}));
    // Nothing matches.
    EXPECT_EQ(Find("赵六"), std::vector<std::string>{});
    EXPECT_EQ(Find("xyz"), std::vector<std::string>{});
}

TEST_F(LocalSearchTest, DigitsAlsoMatchIdsButMixedTextOnlyNames)
{
    // "12" is in the ids 1203, 2120 and 9120, in no name.
    EXPECT_EQ(Find("12"), (std::vector<std::string>{"alice", "O'Neil & 100%", "g:篮球队"}));
    // The whole id, and an id that is only a group's.
    EXPECT_EQ(Find("1001"), (std::vector<std::string>{"张三"}));
    EXPECT_EQ(Find("7"), (std::vector<std::string>{"王五", "g:一班张三群"}));
    // Digits match a name or an id.
    EXPECT_EQ(Find("100"), (std::vector<std::string>{"张三", "李四光", "O'Neil & 100%"}));
    // "a1" is not a number: the name "Bob a1" matches, the ids never.
    EXPECT_EQ(Find("a1"), (std::vector<std::string>{"Bob a1"}));
    EXPECT_EQ(Find("1a"), std::vector<std::string>{});
    // A sign before the digits makes it text.
    EXPECT_EQ(Find("-12"), std::vector<std::string>{});
    EXPECT_TRUE(SearchMatches("", 123, "23"));
    EXPECT_FALSE(SearchMatches("", 123, " 23"));
}

TEST_F(LocalSearchTest, DropDownListsTheMatchesUnderTheBox)
{
    MakeHost();
    // An empty box opens nothing.
    EXPECT_EQ(Search(""), nullptr);

    CDlgSearchListctrl* drop = Search("张三");
    ASSERT_NE(drop, nullptr);
    ASSERT_TRUE(drop->IsWindowVisible());
    EXPECT_EQ(drop->m_strSearch, "张三");
    ASSERT_EQ(drop->m_list.GetItemCount(), 2);
    EXPECT_EQ(drop->m_list.GetItemText(0, 0), "张三");
    EXPECT_EQ(drop->m_list.GetItemText(1, 0), "一班张三群");
    EXPECT_EQ(drop->m_list.GetItemData(1), 7u);
    CString line;
    drop->m_staticUsers.GetWindowText(line);
    EXPECT_EQ(line, "   张三");
    drop->m_staticGroups.GetWindowText(line);
    EXPECT_EQ(line, "   张三");

    // As wide as the box, from 21 pixels below its top to two rows and 60
    // pixels below its bottom.
    CRect boxRect, dropRect;
    box.GetWindowRect(&boxRect);
    drop->GetWindowRect(&dropRect);
    EXPECT_EQ(dropRect, CRect(boxRect.left, boxRect.top + 21, boxRect.right, boxRect.bottom + 2 * 27 + 60));
    Shot("localsearch_dropdown.png", drop);

    // A new search replaces the rows; a user and a group with the same id
    // are both listed as what they are.
    drop = Search("7");
    ASSERT_EQ(drop->m_list.GetItemCount(), 2);
    ASSERT_NE(drop->m_list.RecordAt(0), nullptr);
    ASSERT_NE(drop->m_list.RecordAt(1), nullptr);
    EXPECT_EQ(drop->m_list.RecordAt(0)->m_nIsGroup, 0);
    EXPECT_EQ(drop->m_list.RecordAt(1)->m_nIsGroup, 1);

    // No match: no rows, the links stay.
    drop = Search("赵六");
    EXPECT_EQ(drop->m_list.GetItemCount(), 0);
    drop->GetWindowRect(&dropRect);
    EXPECT_EQ(dropRect.bottom, boxRect.bottom + 60);
}

TEST_F(LocalSearchTest, AtMostTwelveRowsHighAndEveryMatchListed)
{
    for (int i = 0; i < 20; ++i) {
        CDataUser* u = User(5000 + i, ("同名" + std::to_string(i)).c_str());
        friends.m_mapUsers[u->m_nId] = u;
    }
    MakeHost();
    CDlgSearchListctrl* drop = Search("同名");
    ASSERT_NE(drop, nullptr);
    EXPECT_EQ(drop->m_list.GetItemCount(), 20);
    CRect r, boxRect;
    drop->GetWindowRect(&r);
    box.GetWindowRect(&boxRect);
    EXPECT_EQ(r.bottom, boxRect.bottom + 12 * 27 + 60);
}

TEST_F(LocalSearchTest, ClickOnARowOpensTheChatAndHides)
{
    std::vector<int> opened;
    std::vector<std::unique_ptr<Host>> chats;
    CKivUsersListCtrl::s_createChat = [&](CKivUsersListCtrl*, CDataUser* rec) -> CWnd* {
        opened.push_back(rec->m_nId);
        chats.push_back(std::make_unique<Host>());
        chats.back()->CreateEx(0, nullptr, "chat", WS_POPUP, 500, 300, 200, 100, nullptr, 0);
        return chats.back().get();
    };
    MakeHost();
    CDlgSearchListctrl* drop = Search("李四");
    ASSERT_EQ(drop->m_list.GetItemCount(), 1);

    CRect row;
    drop->m_list.GetItemRect(0, &row, LVIR_BOUNDS);
    drop->m_list.ClientToScreen(&row);
    lumui::SendMouse(drop->m_list.m_hWnd, WM_LBUTTONDOWN, row.left + 40, row.top + 10, MK_LBUTTON);
    lumui::SendMouse(drop->m_list.m_hWnd, WM_LBUTTONUP, row.left + 40, row.top + 10);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(opened, std::vector<int>{1002});
    ASSERT_EQ(chats.size(), 1u);
    EXPECT_TRUE(chats[0]->IsWindowVisible());
    EXPECT_FALSE(drop->IsWindowVisible());

    // Rows that are not there, and a record of id 0, open nothing.
    drop = Search("李四");
    drop->OpenResult(-1);
    drop->OpenResult(5);
    EXPECT_EQ(opened.size(), 1u);

    // A click beside the rows hides the drop-down.
    ASSERT_TRUE(drop->IsWindowVisible());
    CRect r;
    drop->GetWindowRect(&r);
    lumui::SendMouse(drop->m_hWnd, WM_LBUTTONDOWN, r.left + 5, r.bottom - 10, MK_LBUTTON);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_FALSE(drop->IsWindowVisible());
    // The records would close their chat windows; these are the test's.
    friends.m_mapUsers[1002]->m_dlgChat = nullptr;
    for (auto& chat : chats) chat->DestroyWindow();
}

TEST_F(LocalSearchTest, MoreLinksWithoutTheSearchPluginSayWhyAndHide)
{
    MakeHost();
    CDlgSearchListctrl* drop = Search("张");
    ASSERT_NE(drop, nullptr);
    NMHDR nm{};
    nm.hwndFrom = drop->m_linkUsers.m_hWnd;
    nm.idFrom = IDC_LINK_MORE_USERS;
    nm.code = NM_CLICK;
    drop->SendMessage(WM_NOTIFY, IDC_LINK_MORE_USERS, reinterpret_cast<LPARAM>(&nm));
    EXPECT_FALSE(drop->IsWindowVisible());

    drop = Search("张");
    nm.hwndFrom = drop->m_linkGroups.m_hWnd;
    nm.idFrom = IDC_LINK_MORE_GROUPS;
    drop->SendMessage(WM_NOTIFY, IDC_LINK_MORE_GROUPS, reinterpret_cast<LPARAM>(&nm));
    EXPECT_FALSE(drop->IsWindowVisible());
    EXPECT_EQ(boxes, (std::vector<std::string>{"加载Sorvan.dll失败,未能实现查找功能",
                                               "加载Sorvan.dll失败,未能实现查找更多群功能"}));
}
