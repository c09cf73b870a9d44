// The friend and stranger lists' menus and the contacts' way into a chat:
// the lists, the search drop-down, the message centre.
#include "Lum/DlgChatMsgList.h"
#include "Lum/KivSearchList.h"
#include "Lum/KivUsersListCtrl.h"
#include "base/MenuCommands.h"
#include "platform/module.h"
#include "tests/commands/CommandFixture.h"

#include <gtest/gtest.h>

namespace commands {
namespace {

class ContactCommandsTest : public CommandTest {
protected:
    CKivUsersListCtrl& Friends() { return Main().m_listFriend; }

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
    EXPECT_TRUE(WaitHistory(chat->m_dlgMsgList, "第二句"));
    lumui::Pump(300);
    EXPECT_EQ(Occurrences(History(chat->m_dlgMsgList), "第一句"), 1) << History(chat->m_dlgMsgList);
    EXPECT_EQ(HistoryRows(kWang), 2);
}

}  // namespace commands
