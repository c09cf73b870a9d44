// The friend and stranger lists' menus and the contacts' way into a chat:
// the lists, the search drop-down, the message centre.
#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/contacts/KivSearchList.h"
#include "Lum/contacts/KivUsersListCtrl.h"
#include "base/MenuCommands.h"
#include "platform/module.h"
#include "platform/uiapp.h"
#include "tests/commands/CommandFixture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace commands {
namespace {

class ContactCommandsTest : public CommandTest {
protected:
    CKivUsersListCtrl& Friends() { return Main().m_listFriend; }

    CKivUsersListCtrl& Strangers() { return Main().m_listStranger; }

    // 赵磊 (10006) wrote: he is in the stranger list.
    void StrangerWrites()
    {
        Receive(kZhao, 2, "<span>你好</span>");
        // Listed, and named once the service told who he is (a chat opened
        // before that is titled with his number).
        ASSERT_TRUE(lumui::PumpUntil(
            [&] {
                const CData* rec = Strangers().GetUser(kZhao);
                return rec && CString(rec->m_bstrName) == "赵磊";
            },
            5000));
        Main().SelectTab(IDC_BTN_TAB_STRANGERS);
    }

    int FriendRows(int id)
    {
        return StoreCount("User.dll", "select count(*) from GroupUser where gid=1 and id=" + std::to_string(id));
    }

    int HistoryRows(int id) { return StoreCount("MsgRecords.dll", "select count(*) from history_msg where id=" + std::to_string(id)); }

    static int Occurrences(const std::string& text, const std::string& part)
    {
        int n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
        return n;
    }
};

}  // namespace

// A card opened from the friend list goes with the program: its module is
// unloaded when the list goes, before the window layer does.
TEST_F(ContactCommandsTest, ACardOpenedFromTheListGoesWithTheMainWindow)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    ASSERT_TRUE(RowCommand(Friends(), kLina, IDM_VIEW_INFO));
    ASSERT_NE(WaitWindow("查看资料"), nullptr) << "no card";
    const HMODULE vistel = Friends().m_hPlugin;
    ASSERT_NE(vistel, nullptr);
    ASSERT_TRUE(IsModuleLoaded(vistel));

    Quit();
    EXPECT_FALSE(IsModuleLoaded(vistel)) << "the card module outlived its list";
    EXPECT_FALSE(Shown("查看资料"));
}

// Opening a contact from the search drop-down shows the lines that waited
// for it, once, and stores them, as opening it from the list does.
TEST_F(ContactCommandsTest, OpeningAContactFromTheSearchDropDownShowsItsWaitingLines)
{
    Receive(kLina, 1, "<span>在吗？</span>");
    CDataUser* lina = static_cast<CDataUser*>(Friends().GetUser(kLina));
    ASSERT_TRUE(lumui::PumpUntil([&] { return lina->m_vecUnread.size() == 1; }, 5000)) << "the line was not queued";

    Main().m_editSearch.SetWindowText("娜");
    ClickControl(Main().m_btnSearch);
    CDlgSearchListctrl* drop = FindSearchDropDown(&Main());
    ASSERT_TRUE(lumui::PumpUntil([&] { return drop && drop->IsWindowVisible(); }, 3000));
    ClickRow(drop->m_list, 0);

    CKivDlgChatUser* chat = ChatOf(Friends(), kLina);
    ASSERT_NE(chat, nullptr);
    EXPECT_TRUE(chat->IsWindowVisible());
    EXPECT_TRUE(WaitHistory(chat->m_dlgMsgList, "在吗？")) << History(chat->m_dlgMsgList);
    EXPECT_TRUE(lumui::PumpUntil([&] { return HistoryRows(kLina) == 1; }, 3000)) << HistoryRows(kLina);
    // The contact no longer waits: the queue and the unread stack are empty.
    EXPECT_TRUE(lina->m_vecUnread.empty());
    EXPECT_FALSE(Main().m_stackNewMsg.Contains(lina));
    Shot("commands-search-opened-chat.png");
}

// Lines read in the message centre are shown and stored once: a later line
// of the same contact does not bring them back.
TEST_F(ContactCommandsTest, LinesRepliedToInTheMessageCentreAreNotShownAgain)
{
    Receive(kWang, 1, "<span>第一句</span>");
    CDataUser* wang = static_cast<CDataUser*>(Friends().GetUser(kWang));
    ASSERT_TRUE(lumui::PumpUntil([&] { return wang->m_vecUnread.size() == 1; }, 5000));

    ClickControl(Main().m_btnMessages);
    CWnd* centre = WaitWindow("消息中心");
    ASSERT_NE(centre, nullptr) << "no message centre";
    CDHtmlDialog* page = PageOf(centre);
    ASSERT_TRUE(WaitEval(page, "document.getElementById('count').innerText", "1"));
    EXPECT_TRUE(WaitPainted(page));
    Shot("commands-message-centre.png");
    ClickElement(page, "REPLYALL");

    CKivDlgChatUser* chat = nullptr;
    ASSERT_TRUE(lumui::PumpUntil([&] { return (chat = ChatOf(Friends(), kWang)) && chat->IsWindowVisible(); }, 5000));
    EXPECT_TRUE(WaitHistory(chat->m_dlgMsgList, "第一句"));
    EXPECT_TRUE(lumui::PumpUntil([&] { return HistoryRows(kWang) == 1; }, 3000));

    // The chat is put away; the next line waits for it.
    chat->SendMessage(WM_CLOSE, 0, 0);
    Receive(kWang, 1, "<span>第二句</span>");
    ASSERT_TRUE(lumui::PumpUntil([&] { return !wang->m_vecUnread.empty(); }, 5000));
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    DoubleClick(Friends(), RowOf(Friends(), kWang));
    // Lines that waited are shown (and stored) before the new one, in
    // order: once it shows, a line shown again would show too.
    EXPECT_TRUE(WaitHistory(chat->m_dlgMsgList, "第二句"));
    EXPECT_EQ(Occurrences(History(chat->m_dlgMsgList), "第一句"), 1) << History(chat->m_dlgMsgList);
    EXPECT_EQ(HistoryRows(kWang), 2);
}

}  // namespace commands

namespace commands {

// The friend menu: exactly its items; the chat, the SMS notice to the
// friend, the card and the history viewer.
TEST_F(ContactCommandsTest, FriendMenuOpensChatCardHistoryAndSms)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    std::vector<UINT> offered;
    ASSERT_TRUE(RowCommand(Friends(), kLina, IDM_SEND_MESSAGE, &offered));
    EXPECT_EQ(offered, (std::vector<UINT>{IDM_SEND_MESSAGE, IDM_SMS_NOTICE, IDM_EDIT_REMARK, IDM_DELETE_FRIEND,
                                          IDM_VIEW_INFO, IDM_VIEW_HISTORY}));
    EXPECT_NE(WaitWindow("与 好友 李娜 聊天..."), nullptr) << "9028";
    ASSERT_TRUE(RowCommand(Friends(), kLina, IDM_SMS_NOTICE));
    CWnd* sms = WaitWindow("通知短信");
    ASSERT_NE(sms, nullptr) << "9035";
    // The one-recipient notice names its receiver.
    EXPECT_TRUE(WaitEval(PageOf(sms), "document.body.innerText.indexOf('娜娜') >= 0", "true"));
    ASSERT_TRUE(RowCommand(Friends(), kLina, IDM_VIEW_INFO));
    EXPECT_NE(WaitWindow("查看资料"), nullptr) << "9030";
    ASSERT_TRUE(RowCommand(Friends(), kLina, IDM_VIEW_HISTORY));
    EXPECT_NE(WaitWindow("与娜娜的聊天记录"), nullptr) << "9052";
    EXPECT_TRUE(boxes_.empty());
    Shot("commands-friend-menu.png");
}

// "修改备注名称" opens the remark editor for the friend (it runs modally;
// here it is closed again without a change).
TEST_F(ContactCommandsTest, FriendMenuEditsTheRemark)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    bool seen = false;
    WhenModalShows(
        "修改备注",
        [&](CWnd* editor) {
            Shot("commands-remark-editor.png");
            editor->SendMessage(WM_CLOSE, 0, 0);
        },
        &seen);
    ASSERT_TRUE(RowCommand(Friends(), kLiu, IDM_EDIT_REMARK));
    EXPECT_TRUE(lumui::PumpUntil([&] { return seen; }, 15000)) << "9044 opened no remark editor";
    EXPECT_TRUE(WaitGone("修改备注"));
    EXPECT_EQ(Friends().GetItemText(RowOf(Friends(), kLiu), 0), "刘老师");
}

// "删除好友": asked first; the row and the store row go at once and the
// service is told.
TEST_F(ContactCommandsTest, FriendMenuDeletesAFriend)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    ASSERT_EQ(FriendRows(kWang), 1);
    answer_ = IDCANCEL;
    ASSERT_TRUE(RowCommand(Friends(), kWang, IDM_DELETE_FRIEND));
    EXPECT_EQ(boxes_, std::vector<std::string>{"您确认要删除好友 王芳(10003)吗?"});
    EXPECT_GE(RowOf(Friends(), kWang), 0);
    answer_ = IDOK;
    ASSERT_TRUE(RowCommand(Friends(), kWang, IDM_DELETE_FRIEND));
    EXPECT_EQ(RowOf(Friends(), kWang), -1);
    EXPECT_EQ(FriendRows(kWang), 0);
    ASSERT_TRUE(WaitServiceCalls("DeleteUser", 1));
    EXPECT_EQ(ServiceCalls("DeleteUser")[0].Arg(2).i, kWang);
    EXPECT_EQ(ServiceCalls("DeleteUser")[0].Arg(3).i, 1);
    EXPECT_FALSE(service_.IsFriend(kOwn, kWang));
}

// The blank area of the friend list offers "添加好友": the user search.
TEST_F(ContactCommandsTest, BlankAreaOfTheFriendListAddsAFriend)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    std::vector<UINT> offered;
    ASSERT_TRUE(ChooseFromMenu([&] { RightClick(Friends(), -1); }, IDM_ADD_FRIEND, &offered));
    EXPECT_EQ(offered, std::vector<UINT>{IDM_ADD_FRIEND});
    EXPECT_NE(WaitWindow("好友查找结果"), nullptr);
}

// Commands the contact lists carry out that no friend menu offers: black
// list, add as friend, the black-list window, send file.
TEST_F(ContactCommandsTest, ContactCommandsNoMenuOffersStillWork)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    auto command = [&](int id, UINT command) {
        Friends().SetSelectionMark(RowOf(Friends(), id));
        Friends().SendMessage(WM_COMMAND, command, 0);
    };
    // 9053: the chat opens and the file dialog with it.
    const std::string file = dir_.file("讲义.txt");
    std::ofstream(file) << "notes";
    fileChoice_ = file;
    command(kLiu, IDM_SEND_FILE);
    CKivDlgChatUser* chat = ChatOf(Friends(), kLiu);
    ASSERT_NE(chat, nullptr);
    EXPECT_TRUE(WaitHistory(chat->m_dlgMsgList, "发送文件:讲义.txt"));
    ASSERT_TRUE(WaitServiceCalls("SendUserMsg", 1));
    EXPECT_EQ(ServiceCalls("SendUserMsg")[0].Arg(3).i, kLiu);
    EXPECT_EQ(ServiceCalls("SendUserMsg")[0].Arg(5).s.rfind("<file id=", 0), 0u);
    // 9051: the settings window on its black-list page.
    command(kLiu, IDM_SHOW_BLACK_LIST);
    EXPECT_NE(WaitWindow("系统设置"), nullptr);
    // 9029: asked, then the friend is on the black list and off the list.
    answer_ = IDOK;
    command(kWang, IDM_MOVE_TO_BLACK);
    EXPECT_EQ(boxes_, std::vector<std::string>{"您确认要把 王芳(10003) 移至黑名单中吗?"});
    EXPECT_EQ(RowOf(Friends(), kWang), -1);
    EXPECT_TRUE(Main().m_book.BlackList().count(kWang));
    ASSERT_TRUE(WaitServiceCalls("MoveUserToBlack", 1));
    EXPECT_EQ(ServiceCalls("MoveUserToBlack")[0].Arg(3).i, kWang);
    EXPECT_TRUE(lumui::PumpUntil([&] { return service_.BlackList(kOwn).count(kWang) == 1; }, 5000));
}

// The stranger menu: exactly its items; chat, card and history.
TEST_F(ContactCommandsTest, StrangerMenuOpensChatCardAndHistory)
{
    ASSERT_NO_FATAL_FAILURE(StrangerWrites());
    std::vector<UINT> offered;
    ASSERT_TRUE(RowCommand(Strangers(), kZhao, IDM_SEND_MESSAGE, &offered));
    EXPECT_EQ(offered, (std::vector<UINT>{IDM_SEND_MESSAGE, IDM_ADD_AS_FRIEND, IDM_DELETE_STRANGER, IDM_VIEW_INFO,
                                          IDM_VIEW_HISTORY}));
    CWnd* chat = WaitWindow("与 陌生人 赵磊 聊天...");
    ASSERT_NE(chat, nullptr) << "9028";
    // The line he wrote is shown (it waited for the chat).
    EXPECT_TRUE(WaitHistory(static_cast<CKivDlgChatUser*>(chat)->m_dlgMsgList, "你好"));
    ASSERT_TRUE(RowCommand(Strangers(), kZhao, IDM_VIEW_INFO));
    EXPECT_NE(WaitWindow("查看资料"), nullptr) << "9030";
    ASSERT_TRUE(RowCommand(Strangers(), kZhao, IDM_VIEW_HISTORY));
    const std::string row = Strangers().GetItemText(RowOf(Strangers(), kZhao), 0).GetString();
    EXPECT_NE(WaitWindow("与" + row + "的聊天记录"), nullptr) << "9052";
}

// "删除陌生人": the row goes, without asking and without the service.
TEST_F(ContactCommandsTest, StrangerMenuDeletesAStranger)
{
    ASSERT_NO_FATAL_FAILURE(StrangerWrites());
    ASSERT_TRUE(RowCommand(Strangers(), kZhao, IDM_DELETE_STRANGER));
    EXPECT_EQ(RowOf(Strangers(), kZhao), -1);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(WaitServiceCalls("DeleteUser", 0));
}

}  // namespace commands
