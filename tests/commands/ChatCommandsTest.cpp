// The tool buttons of the one-to-one and group chat windows.
#include "Lum/DlgChatMsgList.h"
#include "Lum/KivGroupListCtrl.h"
#include "Lum/KivUsersListCtrl.h"
#include "base/MenuCommands.h"
#include "tests/commands/CommandFixture.h"

#include <gtest/gtest.h>

namespace commands {
namespace {

class ChatCommandsTest : public CommandTest {
protected:
    // A stranger who wrote first: 赵磊 (10006) is in the stranger list.
    void StrangerWrites()
    {
        Receive(kZhao, 2, "<span>你好，我是赵磊</span>");
        ASSERT_TRUE(lumui::PumpUntil([&] { return Main().m_listStranger.GetUser(kZhao) != nullptr; }, 5000));
    }

    // Opens the chat of a row of a contact list with a double click.
    CKivDlgChatUser* OpenChat(CKivUsersListCtrl& list, int id)
    {
        const int row = RowOf(list, id);
        EXPECT_GE(row, 0);
        if (row < 0) return nullptr;
        DoubleClick(list, row);
        CKivDlgChatUser* chat = nullptr;
        lumui::PumpUntil(
            [&] {
                chat = ChatOf(list, id);
                return chat && chat->IsWindowVisible();
            },
            5000);
        return chat;
    }
};

}  // namespace

// "加为好友" and "加入我的群" in a chat window reach the search module: the
// add-friend window for a stranger, the invitation window with the own
// groups to choose from; for a friend the window says it is one already.
TEST_F(ChatCommandsTest, AddAsFriendAndInviteReachTheSearchModule)
{
    ASSERT_NO_FATAL_FAILURE(StrangerWrites());
    Main().SelectTab(IDC_BTN_TAB_STRANGERS);
    CKivDlgChatUser* chat = OpenChat(Main().m_listStranger, kZhao);
    ASSERT_NE(chat, nullptr);

    ClickControl(chat->m_btnAddFriend);
    CWnd* add = WaitWindow("加为好友");
    ASSERT_NE(add, nullptr) << "no add-friend window";
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
    CDHtmlDialog* addPage = PageOf(add);
    ASSERT_NE(addPage, nullptr);
    EXPECT_TRUE(WaitEval(addPage, "friendId", "10006"));

    ClickControl(chat->m_btnInvite);
    CWnd* invite = WaitWindow("邀请加入我的群");
    ASSERT_NE(invite, nullptr) << "no invitation window";
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
    CDHtmlDialog* invitePage = PageOf(invite);
    // The chooser offers the one group the user owns.
    EXPECT_TRUE(WaitEval(invitePage, "document.getElementById('group').options.length", "1"));
    EXPECT_EQ(Eval(invitePage, "document.getElementById('group').options[0].text"), "学习小组");
    EXPECT_EQ(Eval(invitePage, "friendId"), "10006");
    Shot("commands-chat-invite.png");

    // A friend is one already.
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    CKivDlgChatUser* friendChat = OpenChat(Main().m_listFriend, kLina);
    ASSERT_NE(friendChat, nullptr);
    ClickControl(friendChat->m_btnAddFriend);
    EXPECT_EQ(boxes_, std::vector<std::string>{"已经在好友列表中,不需要再加入"});
}

// The contact lists' "邀请加入我的群" (9037) and "加为好友" (9043) reach the
// search module as the chat buttons do.
TEST_F(ChatCommandsTest, ListInviteAndAddAsFriendReachTheSearchModule)
{
    ASSERT_NO_FATAL_FAILURE(StrangerWrites());
    Main().SelectTab(IDC_BTN_TAB_STRANGERS);
    std::vector<UINT> offered;
    ASSERT_TRUE(RowCommand(Main().m_listStranger, kZhao, IDM_ADD_AS_FRIEND, &offered));
    CWnd* add = WaitWindow("加为好友");
    ASSERT_NE(add, nullptr) << "no add-friend window";
    EXPECT_TRUE(WaitEval(PageOf(add), "friendId", "10006"));

    // No menu of the friend list offers 9037; the list still carries it out.
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    CKivUsersListCtrl& friends = Main().m_listFriend;
    friends.SetSelectionMark(RowOf(friends, kWang));
    friends.SendMessage(WM_COMMAND, IDM_INVITE_TO_GROUP, 0);
    CWnd* invite = WaitWindow("邀请加入我的群");
    ASSERT_NE(invite, nullptr) << "no invitation window";
    EXPECT_TRUE(WaitEval(PageOf(invite), "friendId", "10003"));
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

}  // namespace commands
