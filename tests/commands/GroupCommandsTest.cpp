// The group list's menus, the member list of a group chat and its menus.
#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/contacts/KivGroupUsersListCtrl.h"
#include "base/MenuCommands.h"
#include "tests/commands/CommandFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace commands {
namespace {

class GroupCommandsTest : public CommandTest {
protected:
    CKivGroupListCtrl& Groups() { return Main().m_listGroup; }

    // Opens a group's chat with a double click on its row and waits for its
    // member list, which is filled once the chat's page has loaded.
    CKivDlgChatGroup* OpenGroupChat(int gid, size_t members)
    {
        Main().SelectTab(IDC_BTN_TAB_GROUPS);
        DoubleClick(Groups(), RowOf(Groups(), gid));
        CKivDlgChatGroup* chat = nullptr;
        lumui::PumpUntil(
            [&] {
                chat = GroupChatOf(gid);
                return chat && chat->IsWindowVisible();
            },
            5000);
        if (!chat) return nullptr;
        EXPECT_TRUE(WaitPage(chat->m_dlgMsgList)) << "the chat's page did not load";
        EXPECT_TRUE(lumui::PumpUntil(
            [&] { return static_cast<size_t>(chat->m_dlgMsgList.m_listMembers.GetItemCount()) == members; }, 5000))
            << "members listed: " << chat->m_dlgMsgList.m_listMembers.GetItemCount();
        return chat;
    }

    static bool Offers(const std::vector<UINT>& ids, UINT id)
    {
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    }
};

}  // namespace

// Making a member deputy owner holds: the service is told, and the member
// list still knows it after it was refilled for a new line.
TEST_F(GroupCommandsTest, DeputyOwnerChangeOutlivesARefresh)
{
    CKivDlgChatGroup* chat = OpenGroupChat(kOwnGroup, 3);
    ASSERT_NE(chat, nullptr);
    CKivGroupUsersListCtrl& members = chat->m_dlgMsgList.m_listMembers;
    std::vector<UINT> offered;
    ASSERT_TRUE(RowCommand(members, kLina, IDM_SET_DEPUTY, &offered));
    EXPECT_FALSE(Offers(offered, IDM_CANCEL_DEPUTY));
    ASSERT_TRUE(WaitServiceCalls("editGroupIsMaster", 1));
    const ServiceCall call = ServiceCalls("editGroupIsMaster").front();
    EXPECT_EQ(call.Arg(2).i, kOwnGroup);
    EXPECT_EQ(call.Arg(3).i, kLina);
    EXPECT_EQ(call.Arg(4).i, 2);

    // A line in the group refills the member list.
    ReceiveGroup(kLina, kOwnGroup, "<span>谢谢群主</span>");
    ASSERT_TRUE(WaitHistory(chat->m_dlgMsgList, "谢谢群主"));
    offered.clear();
    EXPECT_TRUE(RowCommand(members, kLina, IDM_CANCEL_DEPUTY, &offered)) << "the deputy owner was forgotten";
    EXPECT_FALSE(Offers(offered, IDM_SET_DEPUTY));
    EXPECT_TRUE(WaitServiceCalls("editGroupIsMaster", 2));
}

// A chat opened from a group's member list goes at log-out with the
// group's, and the next session does not find it open.
TEST_F(GroupCommandsTest, ChatsOpenedFromAMemberListGoAtLogOut)
{
    CKivDlgChatGroup* chat = OpenGroupChat(kOwnGroup, 3);
    ASSERT_NE(chat, nullptr);
    CKivGroupUsersListCtrl& members = chat->m_dlgMsgList.m_listMembers;
    DoubleClick(members, RowOf(members, kLina));
    const std::string caption = "在 学习小组(503) 群 与 李娜 聊天...";
    ASSERT_NE(WaitWindow(caption), nullptr) << "no chat with the member";
    ASSERT_NE(WaitWindow("在群组 学习小组 中聊天..."), nullptr);

    ASSERT_TRUE(ChooseFromMenu([&] { ClickControl(Main().m_btnMainMenu); }, IDM_LOGOUT));
    ASSERT_TRUE(lumui::PumpUntil([&] { return Main().m_dlgLogin.IsWindowVisible(); }, 5000));
    EXPECT_TRUE(WaitGone(caption)) << "the member's chat stayed open after log-out";
    EXPECT_FALSE(Shown("在群组 学习小组 中聊天..."));

    // (A chat kept from the earlier session would be on the screen already.)
    ASSERT_NO_FATAL_FAILURE(LogIn());
    EXPECT_FALSE(Shown(caption)) << "the member's chat came into the next session";
}

}  // namespace commands

namespace commands {

// The blank area of the group list: create a group, find a group.
TEST_F(GroupCommandsTest, BlankAreaOfTheGroupListCreatesAndFindsGroups)
{
    Main().SelectTab(IDC_BTN_TAB_GROUPS);
    std::vector<UINT> offered;
    ASSERT_TRUE(ChooseFromMenu([&] { RightClick(Groups(), -1); }, IDM_CREATE_GROUP, &offered));
    EXPECT_EQ(offered, (std::vector<UINT>{IDM_CREATE_GROUP, IDM_FIND_GROUP}));
    EXPECT_NE(WaitWindow("创建群"), nullptr) << "9067";
    ASSERT_TRUE(ChooseFromMenu([&] { RightClick(Groups(), -1); }, IDM_FIND_GROUP));
    EXPECT_NE(WaitWindow("群组查找结果"), nullptr) << "9026";
}

// A group the user belongs to: exactly its items; the chat, the SMS notice
// to the group, the history, the group's card.
TEST_F(GroupCommandsTest, GroupMenusOpenChatSmsHistoryAndInformation)
{
    Main().SelectTab(IDC_BTN_TAB_GROUPS);
    std::vector<UINT> offered;
    ASSERT_TRUE(RowCommand(Groups(), kClass, IDM_SEND_GROUP_MESSAGE, &offered));
    EXPECT_EQ(offered, (std::vector<UINT>{IDM_SEND_GROUP_MESSAGE, IDM_SMS_NOTICE, IDM_VIEW_GROUP_INFO,
                                          IDM_VIEW_GROUP_HISTORY, IDM_BLOCK_1_DAY, IDM_BLOCK_3_DAYS, IDM_BLOCK_7_DAYS,
                                          IDM_QUIT_GROUP}));
    EXPECT_NE(WaitWindow("在群组 计算机一班 中聊天..."), nullptr) << "9034";
    ASSERT_TRUE(RowCommand(Groups(), kClass, IDM_SMS_NOTICE));
    CWnd* sms = WaitWindow("通知短信");
    ASSERT_NE(sms, nullptr) << "9035";
    EXPECT_TRUE(WaitEval(PageOf(sms), "document.body.innerText.indexOf('计算机一班') >= 0", "true"));
    ASSERT_TRUE(RowCommand(Groups(), kClass, IDM_VIEW_GROUP_HISTORY));
    EXPECT_NE(WaitWindow("与计算机一班(501)的聊天记录"), nullptr) << "9042";
    ASSERT_TRUE(RowCommand(Groups(), kClass, IDM_VIEW_GROUP_INFO));
    CWnd* card = WaitWindow("查看资料");
    ASSERT_NE(card, nullptr) << "9041";
    EXPECT_TRUE(WaitEval(PageOf(card), "document.body.innerText.indexOf('计算机一班') >= 0", "true"));
    Shot("commands-group-menu.png");
}

// The owner's menu: exactly its items; the group editor and the member
// import window.
TEST_F(GroupCommandsTest, OwnersMenuEditsInformationAndAddsMembers)
{
    Main().SelectTab(IDC_BTN_TAB_GROUPS);
    std::vector<UINT> offered;
    ASSERT_TRUE(RowCommand(Groups(), kOwnGroup, IDM_EDIT_GROUP_INFO, &offered));
    EXPECT_EQ(offered, (std::vector<UINT>{IDM_SEND_GROUP_MESSAGE, IDM_SMS_NOTICE, IDM_EDIT_GROUP_INFO,
                                          IDM_ADD_GROUP_MEMBERS, IDM_VIEW_GROUP_HISTORY, IDM_BLOCK_1_DAY,
                                          IDM_BLOCK_3_DAYS, IDM_BLOCK_7_DAYS, IDM_DISSOLVE_GROUP}));
    CWnd* editor = WaitWindow("群设置-Kiv群组");
    ASSERT_NE(editor, nullptr) << "9039";
    ASSERT_TRUE(RowCommand(Groups(), kOwnGroup, IDM_ADD_GROUP_MEMBERS));
    EXPECT_NE(WaitWindow("添加群成员"), nullptr) << "9040";
    Shot("commands-owner-menu.png");
}

// Quitting a group and dissolving one: asked first; the row and the
// store's group go at once, the service is told which and how.
TEST_F(GroupCommandsTest, QuittingAndDissolvingAskFirstAndTellTheService)
{
    Main().SelectTab(IDC_BTN_TAB_GROUPS);
    ASSERT_TRUE(RowCommand(Groups(), kClass, IDM_QUIT_GROUP));
    EXPECT_EQ(boxes_, std::vector<std::string>{"您确认要退出群 计算机一班(501)吗?"});
    EXPECT_EQ(RowOf(Groups(), kClass), -1);
    EXPECT_EQ(StoreCount("User.dll", "select count(*) from GroupList where id=501"), 0);
    ASSERT_TRUE(RowCommand(Groups(), kOwnGroup, IDM_DISSOLVE_GROUP));
    EXPECT_EQ(boxes_.back(), "您确认要解散群 学习小组(503)吗?");
    EXPECT_EQ(RowOf(Groups(), kOwnGroup), -1);
    ASSERT_TRUE(WaitServiceCalls("DeleteGroup", 2));
    const auto calls = ServiceCalls("DeleteGroup");
    EXPECT_EQ(calls[0].Arg(2).i, kClass);
    EXPECT_EQ(calls[0].Arg(3).i, 5);
    EXPECT_EQ(calls[1].Arg(2).i, kOwnGroup);
    EXPECT_EQ(calls[1].Arg(3).i, 4);
}

// Blocking group SMS: the days reach the service, and the menu then checks
// the chosen days.
TEST_F(GroupCommandsTest, SmsBlockingDaysReachTheService)
{
    Main().SelectTab(IDC_BTN_TAB_GROUPS);
    ASSERT_TRUE(RowCommand(Groups(), kClass, IDM_BLOCK_3_DAYS));
    ASSERT_TRUE(WaitServiceCalls("SetBotherDay", 1));
    EXPECT_EQ(ServiceCalls("SetBotherDay")[0].Arg(3).i, kClass);
    EXPECT_EQ(ServiceCalls("SetBotherDay")[0].Arg(4).i, 3);
    ASSERT_TRUE(RowCommand(Groups(), kClass, IDM_BLOCK_7_DAYS));
    ASSERT_TRUE(WaitServiceCalls("SetBotherDay", 2));
    EXPECT_EQ(ServiceCalls("SetBotherDay")[1].Arg(4).i, 7);
    ASSERT_TRUE(RowCommand(Groups(), kClass, IDM_BLOCK_1_DAY));
    ASSERT_TRUE(WaitServiceCalls("SetBotherDay", 3));
    EXPECT_EQ(ServiceCalls("SetBotherDay")[2].Arg(4).i, 1);
}

// "修改群名片" (handled by the group list, offered by no group menu) opens
// the card editor; the member list's own 9038 too.
TEST_F(GroupCommandsTest, GroupCardEditorOpensFromTheGroupListAndTheMemberList)
{
    Main().SelectTab(IDC_BTN_TAB_GROUPS);
    bool seen = false;
    WhenModalShows("修改群名片", [](CWnd* editor) { editor->SendMessage(WM_CLOSE, 0, 0); }, &seen);
    Groups().SetSelectionMark(RowOf(Groups(), kClass));
    Groups().SendMessage(WM_COMMAND, IDM_EDIT_GROUP_CARD, 0);
    EXPECT_TRUE(lumui::PumpUntil([&] { return seen; }, 15000)) << "the group list's 9038 opened no editor";

    CKivDlgChatGroup* chat = OpenGroupChat(kOwnGroup, 3);
    ASSERT_NE(chat, nullptr);
    WhenModalShows(
        "修改群名片",
        [&](CWnd* editor) {
            Shot("commands-group-card-editor.png");
            editor->SendMessage(WM_CLOSE, 0, 0);
        },
        &seen);
    ASSERT_TRUE(RowCommand(chat->m_dlgMsgList.m_listMembers, kOwn, IDM_EDIT_GROUP_CARD));
    EXPECT_TRUE(lumui::PumpUntil([&] { return seen; }, 15000)) << "the member list's 9038 opened no editor";
}

// The owner's member menus: own row without the deputy items; another
// member's with them; chat, SMS, card and history of the member.
TEST_F(GroupCommandsTest, MemberMenusOpenChatSmsCardAndHistory)
{
    CKivDlgChatGroup* chat = OpenGroupChat(kOwnGroup, 3);
    ASSERT_NE(chat, nullptr);
    CKivGroupUsersListCtrl& members = chat->m_dlgMsgList.m_listMembers;
    std::vector<UINT> offered;
    ASSERT_TRUE(RowCommand(members, kOwn, IDM_VIEW_HISTORY, &offered));
    EXPECT_EQ(offered, (std::vector<UINT>{IDM_SEND_MESSAGE, IDM_SMS_NOTICE, IDM_EDIT_GROUP_CARD, IDM_DELETE_MEMBER,
                                          IDM_VIEW_INFO, IDM_VIEW_HISTORY}));
    EXPECT_NE(WaitWindow("与张伟的聊天记录"), nullptr) << "9052";
    ASSERT_TRUE(RowCommand(members, kChen, IDM_SEND_MESSAGE, &offered));
    EXPECT_EQ(offered, (std::vector<UINT>{IDM_SEND_MESSAGE, IDM_SMS_NOTICE, IDM_EDIT_GROUP_CARD, IDM_SET_DEPUTY,
                                          IDM_DELETE_MEMBER, IDM_VIEW_INFO, IDM_VIEW_HISTORY}));
    EXPECT_NE(WaitWindow("在 学习小组(503) 群 与 陈静 聊天..."), nullptr) << "9028";
    ASSERT_TRUE(RowCommand(members, kChen, IDM_SMS_NOTICE));
    EXPECT_NE(WaitWindow("通知短信"), nullptr) << "9035";
    ASSERT_TRUE(RowCommand(members, kChen, IDM_VIEW_INFO));
    EXPECT_NE(WaitWindow("查看资料"), nullptr) << "9030";
}

// The owner deletes a member (asked first; the service told) but not
// himself.
TEST_F(GroupCommandsTest, OwnerDeletesAMemberButNotHimself)
{
    CKivDlgChatGroup* chat = OpenGroupChat(kOwnGroup, 3);
    ASSERT_NE(chat, nullptr);
    CKivGroupUsersListCtrl& members = chat->m_dlgMsgList.m_listMembers;
    // (The menu posts its command: its box may come after the menu went.)
    ASSERT_TRUE(RowCommand(members, kOwn, IDM_DELETE_MEMBER));
    EXPECT_TRUE(lumui::PumpUntil([&] { return !boxes_.empty(); }, 10000));
    EXPECT_EQ(boxes_, std::vector<std::string>{"您是此群的群主，不能删除自己！"});
    ASSERT_TRUE(RowCommand(members, kChen, IDM_DELETE_MEMBER));
    EXPECT_TRUE(lumui::PumpUntil([&] { return boxes_.size() == 2 && RowOf(members, kChen) == -1; }, 10000));
    EXPECT_EQ(boxes_.back(), "您确认要删除成员 陈静(10005)吗?");
    EXPECT_EQ(RowOf(members, kChen), -1);
    ASSERT_TRUE(WaitServiceCalls("DeleteUser", 1));
    EXPECT_EQ(ServiceCalls("DeleteUser")[0].Arg(2).i, kChen);
    EXPECT_EQ(ServiceCalls("DeleteUser")[0].Arg(3).i, kOwnGroup);
    EXPECT_TRUE(lumui::PumpUntil([&] { return !service_.GroupHasMember(kOwnGroup, kChen); }, 5000));
}

// In a group the user does not own, a member's menu offers adding as a
// friend and the black list.
TEST_F(GroupCommandsTest, MemberMenuOfAnotherOwnersGroupAddsAsFriendAndBlackLists)
{
    CKivDlgChatGroup* chat = OpenGroupChat(kBadminton, 3);
    ASSERT_NE(chat, nullptr);
    CKivGroupUsersListCtrl& members = chat->m_dlgMsgList.m_listMembers;
    std::vector<UINT> offered;
    ASSERT_TRUE(RowCommand(members, kChen, IDM_ADD_AS_FRIEND, &offered));
    EXPECT_EQ(offered, (std::vector<UINT>{IDM_SEND_MESSAGE, IDM_SMS_NOTICE, IDM_ADD_AS_FRIEND, IDM_MOVE_TO_BLACK,
                                          IDM_VIEW_INFO, IDM_VIEW_HISTORY}));
    CWnd* add = WaitWindow("加为好友");
    ASSERT_NE(add, nullptr) << "9043";
    EXPECT_TRUE(WaitEval(PageOf(add), "friendId", "10005"));
    ASSERT_TRUE(RowCommand(members, kChen, IDM_MOVE_TO_BLACK));
    EXPECT_EQ(boxes_, std::vector<std::string>{"您确认要把 陈静(10005) 移至黑名单中吗?"});
    ASSERT_TRUE(WaitServiceCalls("MoveUserToBlack", 1));
    EXPECT_EQ(ServiceCalls("MoveUserToBlack")[0].Arg(3).i, kChen);
    EXPECT_TRUE(Main().m_book.BlackList().count(kChen));
}

}  // namespace commands

namespace commands {

// A group chat that flashed for a line while behind the panel can go at
// once (here with the program): nothing of it runs later, in the next
// session.
TEST_F(GroupCommandsTest, AChatThatFlashedCanGoAtOnce)
{
    CKivDlgChatGroup* chat = OpenGroupChat(kOwnGroup, 3);
    ASSERT_NE(chat, nullptr);
    ASSERT_TRUE(WaitPage(chat->m_dlgMsgList));
    Main().SetForegroundWindow();
    ReceiveGroup(kLina, kOwnGroup, "<span>有人吗</span>");
    ASSERT_TRUE(WaitHistory(chat->m_dlgMsgList, "有人吗"));
    Quit();
    ASSERT_NO_FATAL_FAILURE(OpenMain());
    // The next session runs for longer than the toolkit's attention request.
    CKivDlgChatGroup* next = OpenGroupChat(kOwnGroup, 3);
    ASSERT_NE(next, nullptr);
    ASSERT_TRUE(WaitPage(next->m_dlgMsgList));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            History(next->m_dlgMsgList);  // pages yield to the toolkit as a session does
            return std::chrono::steady_clock::now() > until;
        },
        8000));
    EXPECT_TRUE(next->IsWindowVisible());
}

}  // namespace commands
