// Group creation with invitations in the real program: the owner creates a
// group from the main menu (the group-creation plug-in over the web API
// stand-in), the new group shows in the group list, the owner opens the
// member-import window from the group's menu, ticks a friend in the tree and
// invites; the friend's client, logged in beside it, receives the invitation.
#include "tests/e2e/Clipboard.h"
#include "tests/e2e/TwoClients.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using e2e::kListY;
using e2e::kRowHeight;
using e2e::ScreenWindow;
using e2e::VisibleIds;
using e2e::WaitForGone;
using e2e::waitFor;

// In the main window: the main-menu button, the "创建群" item of its menu
// (from the button).
const int kMenuButtonX = 20, kMenuButtonY = 505;
// In the main menu (from its top-left corner): "服务"; in its popup: "创建群".
const int kServiceItemY = 14;
const int kCreateItemY = 42;
// A group row's owner menu (from its top-left corner): "添加群成员".
const int kAddMembersDX = 66, kAddMembersDY = 95;
// The group-creation window (500 x 400): name, note and its OK button.
const int kFrameWidth = 500, kFrameHeight = 400;
const int kNameX = 270, kNameY = 63, kNoteX = 270, kNoteY = 160, kCreateOkX = 355, kCreateOkY = 385;
// The member-import window (570 x 400): the first friend's box in the tree,
// the add arrow, and "确定" (from its top-left corner).
const int kImportWidth = 570, kImportHeight = 400;
const int kTreeBoxX = 47, kSecondFriendY = 122, kAddArrowX = 285, kAddArrowY = 175, kImportOkX = 418, kImportOkY = 380;

class GroupCreateTest : public e2e::TwoClientsTest {
protected:
    GroupCreateTest() { screenshotDelayMs_ = 400; }

    // A window that is none of `known` (of that size when given).
    static bool NewWindow(const std::set<unsigned long>& known, int width, int height, int timeoutMs,
                          ScreenWindow* found)
    {
        return e2e::WaitForWindowWhere(
            [&](const ScreenWindow& w) {
                return !known.count(w.id) && w.width > 60 && (width < 0 || (w.width == width && w.height == height));
            },
            timeoutMs, found);
    }
};

}  // namespace

TEST_F(GroupCreateTest, TheOwnerCreatesAGroupAndInvitesAFriendWhoIsAsked)
{
    // 张伟 (10001) creates; 王芳 (10003), a friend, is invited.
    ASSERT_NO_FATAL_FAILURE(LogIn(b_, "13800000003", 10003));
    ASSERT_TRUE(e2e::MoveWindow(b_.main, 1000, 60));
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    ASSERT_TRUE(e2e::MoveWindow(a_.main, 20, 60));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // The main menu's "创建群".
    std::set<unsigned long> known = VisibleIds();
    ASSERT_TRUE(Click(a_.main.x + kMenuButtonX, a_.main.y + kMenuButtonY));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    Screenshot("e2e-group-main-menu.png");
    ScreenWindow menu;
    ASSERT_TRUE(NewWindow(known, -1, -1, 5000, &menu)) << "no main menu";
    // "服务" opens its popup, which holds "创建群".
    known = VisibleIds();
    ASSERT_TRUE(Click(menu.x + 40, menu.y + kServiceItemY));
    ScreenWindow services;
    ASSERT_TRUE(NewWindow(known, -1, -1, 5000, &services)) << "no service popup";
    Screenshot("e2e-group-service-menu.png");
    ASSERT_TRUE(Click(services.x + 40, services.y + kCreateItemY));
    ScreenWindow create;
    const bool opened = NewWindow(known, kFrameWidth, kFrameHeight, 15000, &create);
    Screenshot("e2e-group-create-opened.png");
    ASSERT_TRUE(opened) << "no group-creation window";
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // Each field is typed until the page holds it, so that the OK click
    // cannot overtake keys still on their way.
    std::string shown;
    ASSERT_TRUE(e2e::ClickToType(create, create.x + kNameX, create.y + kNameY));
    ASSERT_TRUE(e2e::TypeLanded("e2e测试群", &shown)) << "the name box holds [" << shown << "]";
    ASSERT_TRUE(e2e::ClickToType(create, create.x + kNoteX, create.y + kNoteY));
    ASSERT_TRUE(e2e::TypeLanded("一起学习", &shown)) << "the note box holds [" << shown << "]";
    Screenshot("e2e-group-create.png");
    known = VisibleIds();
    ASSERT_TRUE(Click(create.x + kCreateOkX, create.y + kCreateOkY));
    ScreenWindow box;
    ASSERT_TRUE(NewWindow(known, -1, -1, 10000, &box)) << "no box after creating";
    Screenshot("e2e-group-created-box.png");
    ASSERT_TRUE(e2e::Key("Return"));
    ASSERT_TRUE(WaitForGone(box.id, 5000));
    // The service has the group, owned by 10001.
    standin::SeedGroup group;
    int32_t gid = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            for (const standin::SeedGroup& g : service_.Groups())
                if (g.name == "e2e测试群") {
                    group = g;
                    gid = g.gid;
                    return true;
                }
            return false;
        },
        5000));
    EXPECT_EQ(service_.MemberRole(gid, 10001), 1);
    ASSERT_TRUE(e2e::CloseWindow(create.id));
    ASSERT_TRUE(WaitForGone(create.id, 5000));
    Screenshot("e2e-group-list.png");

    // The new group's row (the third) and its owner menu: "添加群成员".
    const int rowY = kListY + 2 * kRowHeight + 26;
    ASSERT_TRUE(Click(a_.main.x + 100, a_.main.y + rowY));
    known = VisibleIds();
    ASSERT_TRUE(e2e::RightClick(a_.main.x + 102, a_.main.y + rowY));
    ScreenWindow ownerMenu;
    ASSERT_TRUE(NewWindow(known, -1, -1, 5000, &ownerMenu)) << "no group menu";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Screenshot("e2e-group-owner-menu.png");
    known = VisibleIds();
    ASSERT_TRUE(Click(ownerMenu.x + kAddMembersDX, ownerMenu.y + kAddMembersDY));
    ScreenWindow import;
    ASSERT_TRUE(NewWindow(known, kImportWidth, kImportHeight, 15000, &import)) << "no member-import window";
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    Screenshot("e2e-group-import.png");

    // The second friend (王芳, 10003) ticked, moved into the list, invited.
    ASSERT_TRUE(Click(import.x + kTreeBoxX, import.y + kSecondFriendY));
    ASSERT_TRUE(Click(import.x + kAddArrowX, import.y + kAddArrowY));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Screenshot("e2e-group-import-ticked.png");
    web_.ClearRequests();
    known = VisibleIds();
    ASSERT_TRUE(Click(import.x + kImportOkX, import.y + kImportOkY));
    // The page's box over the import window says how many were invited.
    ASSERT_TRUE(e2e::WaitForWindowWhere(
        [&](const ScreenWindow& w) { return !known.count(w.id) && w.x > import.x && w.x < import.x + import.width; },
        10000, &box))
        << "no box after inviting";
    Screenshot("e2e-group-invited-box.png");
    standin::WebRequest invite;
    for (const auto& r : web_.Requests())
        if (r.path == "/api/group/batchAddGroupUser.jsp") invite = r;
    EXPECT_EQ(invite.Param("friend_id"), "10003");
    EXPECT_EQ(invite.Param("group_id"), std::to_string(gid));
    EXPECT_EQ(invite.Param("phone"), "13800000001");
    EXPECT_EQ(invite.Param("key").size(), 32u);
    // Its OK button.
    ASSERT_TRUE(Click(box.x + box.width / 2, box.y + box.height - 16));
    ASSERT_TRUE(WaitForGone(box.id, 5000));

    // 王芳's client asks her on its next heartbeat, beside her main window;
    // she agrees ("Yes", the right button) and joins.
    ScreenWindow question;
    ASSERT_TRUE(e2e::WaitForWindowWhere(
        [&](const ScreenWindow& w) {
            return w.id != b_.main.id && w.width > 60 && w.x + w.width > b_.main.x &&
                   w.x < b_.main.x + b_.main.width && w.height < 200;
        },
        25000, &question))
        << "the invited client was not asked";
    Screenshot("e2e-group-invitation-received.png");
    ASSERT_TRUE(Click(question.x + question.width * 3 / 4, question.y + question.height - 16));
    EXPECT_TRUE(waitFor([&] { return service_.GroupHasMember(gid, 10003); }, 15000))
        << "the invited user did not join";
    // Her list learns the group from the "joined" notice of a later heartbeat.
    std::this_thread::sleep_for(std::chrono::milliseconds(9000));
    Screenshot("e2e-group-joined.png");
}
