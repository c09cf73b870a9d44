// The group list's menus, the member list of a group chat and its menus.
#include "Lum/DlgChatMsgList.h"
#include "Lum/KivGroupListCtrl.h"
#include "Lum/KivGroupUsersListCtrl.h"
#include "base/MenuCommands.h"
#include "tests/commands/CommandFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace commands {
namespace {

class GroupCommandsTest : public CommandTest {
protected:
    CKivGroupListCtrl& Groups() { return Main().m_listGroup; }

    // Opens a group's chat with a double click on its row and waits for its
    // member list.
    CKivDlgChatGroup* OpenGroupChat(int gid, size_t members)
    {
        Main().SelectTab(IDC_BTN_TAB_GROUPS);
        DoubleClick(Groups(), RowOf(Groups(), gid));
        CKivDlgChatGroup* chat = nullptr;
        lumui::PumpUntil(
            [&] {
                chat = GroupChatOf(gid);
                return chat && chat->IsWindowVisible() &&
                       static_cast<size_t>(chat->m_dlgMsgList.m_listMembers.GetItemCount()) == members;
            },
            5000);
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

    ASSERT_NO_FATAL_FAILURE(LogIn());
    lumui::Pump(300);
    EXPECT_FALSE(Shown(caption)) << "the member's chat came into the next session";
}

}  // namespace commands
