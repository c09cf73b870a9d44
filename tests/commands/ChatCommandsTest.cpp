// The tool buttons of the one-to-one and group chat windows.
#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/contacts/KivUsersListCtrl.h"
#include "base/MenuCommands.h"
#include "tests/commands/CommandFixture.h"

#include <gtest/gtest.h>

#include <fstream>

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
    EXPECT_TRUE(WaitHistory(chat->m_dlgMsgList, "你好，我是赵磊")) << History(chat->m_dlgMsgList);

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
    EXPECT_TRUE(WaitPainted(invitePage));
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

namespace commands {

// The one-to-one window's SMS notice, file offer and black list.
TEST_F(ChatCommandsTest, UserChatSmsFileAndBlackList)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    CKivDlgChatUser* chat = OpenChat(Main().m_listFriend, kWang);
    ASSERT_NE(chat, nullptr);
    ClickControl(chat->m_btnSms);
    CWnd* sms = WaitWindow("通知短信");
    ASSERT_NE(sms, nullptr) << "1016";
    EXPECT_TRUE(WaitEval(PageOf(sms), "document.body.innerText.indexOf('王芳') >= 0", "true"));

    // The file offer: a line in the pane, the offer to the contact.
    const std::string file = dir_.file("作业 1.doc");
    std::ofstream(file) << "homework";
    fileChoice_ = file;
    ClickControl(chat->m_btnSendFile);
    EXPECT_TRUE(WaitHistory(chat->m_dlgMsgList, "发送文件:作业 1.doc,等待对方接收.")) << "1024";
    ASSERT_TRUE(WaitServiceCalls("SendUserMsg", 1));
    const ServiceCall offer = ServiceCalls("SendUserMsg")[0];
    EXPECT_EQ(offer.Arg(3).i, kWang);
    EXPECT_NE(offer.Arg(5).s.find(file + "</file>"), std::string::npos) << offer.Arg(5).s;
    Shot("commands-chat-file-offer.png");

    // The black list: asked, then the contact is on it and the chat goes.
    ClickControl(chat->m_btnBlackList);
    EXPECT_EQ(boxes_, std::vector<std::string>{"您确认要把 王芳 (10003) 移至黑名单中吗?"});
    EXPECT_TRUE(WaitGone("与 好友 王芳 聊天..."));
    EXPECT_EQ(RowOf(Main().m_listFriend, kWang), -1);
    ASSERT_TRUE(WaitServiceCalls("MoveUserToBlack", 1));
    EXPECT_EQ(ServiceCalls("MoveUserToBlack")[0].Arg(3).i, kWang);
}

// The group window's SMS blocking and type menus, and its SMS notice.
TEST_F(ChatCommandsTest, GroupChatBlocksSmsAndChangesItsType)
{
    Main().SelectTab(IDC_BTN_TAB_GROUPS);
    CKivGroupListCtrl& groups = Main().m_listGroup;
    DoubleClick(groups, RowOf(groups, kOwnGroup));
    CKivDlgChatGroup* chat = nullptr;
    ASSERT_TRUE(lumui::PumpUntil([&] { return (chat = GroupChatOf(kOwnGroup)) && chat->IsWindowVisible(); }, 5000));

    std::vector<UINT> offered;
    ASSERT_TRUE(ChooseFromMenu([&] { ClickControl(chat->m_btnBlockSms); }, IDM_BLOCK_7_DAYS, &offered));
    EXPECT_EQ(offered, (std::vector<UINT>{IDM_BLOCK_1_DAY, IDM_BLOCK_3_DAYS, IDM_BLOCK_7_DAYS}));
    ASSERT_TRUE(WaitServiceCalls("SetBotherDay", 1)) << "1025";
    EXPECT_EQ(ServiceCalls("SetBotherDay")[0].Arg(3).i, kOwnGroup);
    EXPECT_EQ(ServiceCalls("SetBotherDay")[0].Arg(4).i, 7);

    ClickControl(chat->m_btnSms);
    CWnd* sms = WaitWindow("通知短信");
    ASSERT_NE(sms, nullptr) << "1016";
    EXPECT_TRUE(WaitEval(PageOf(sms), "document.body.innerText.indexOf('学习小组') >= 0", "true"));

    ASSERT_TRUE(ChooseFromMenu([&] { ClickControl(chat->m_btnGroupType); }, IDM_BROADCAST_GROUP, &offered));
    EXPECT_EQ(offered, (std::vector<UINT>{IDM_CLASS_GROUP, IDM_BROADCAST_GROUP, IDM_INTERACTIVE_GROUP}));
    ASSERT_TRUE(WaitServiceCalls("editGroupStyle", 1)) << "9079";
    EXPECT_EQ(ServiceCalls("editGroupStyle")[0].Arg(2).i, kOwnGroup);
    EXPECT_EQ(ServiceCalls("editGroupStyle")[0].Arg(3).i, 2);
    // The campus category may become a class group.
    ASSERT_TRUE(ChooseFromMenu([&] { ClickControl(chat->m_btnGroupType); }, IDM_CLASS_GROUP));
    ASSERT_TRUE(WaitServiceCalls("editGroupStyle", 2)) << "9078";
    EXPECT_EQ(ServiceCalls("editGroupStyle")[1].Arg(3).i, 8);
    ASSERT_TRUE(ChooseFromMenu([&] { ClickControl(chat->m_btnGroupType); }, IDM_INTERACTIVE_GROUP));
    ASSERT_TRUE(WaitServiceCalls("editGroupStyle", 3)) << "9080";
    EXPECT_EQ(ServiceCalls("editGroupStyle")[2].Arg(3).i, 1);
    EXPECT_EQ(service_.GroupStyle(kOwnGroup), 1);
    EXPECT_TRUE(boxes_.empty());
}

}  // namespace commands
