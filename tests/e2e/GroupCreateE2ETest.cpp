// Group creation with invitations in the real program: the owner creates a
// group from the main menu (the group-creation plug-in over the web API
// stand-in), the new group shows in the group list, the owner opens the
// member-import window from the group's menu, ticks a friend in the tree and
// invites; the friend's client, logged in beside it, receives the invitation.
#include "tests/e2e/Clipboard.h"
#include "base/MenuCommands.h"
#include "tests/e2e/TwoClients.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

using e2e::Item;
using e2e::ScreenWindow;
using e2e::VisibleIds;
using e2e::WaitForGone;
using e2e::waitFor;

// The group-creation window and its OK button; the member-import window.
const int kFrameWidth = 500, kFrameHeight = 400;
const int kCreateOk = 4000;
const int kImportWidth = 570, kImportHeight = 400;
const char kGroupName[] = "e2e测试群";

class GroupCreateTest : public e2e::TwoClientsTest {
protected:
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

    // The main menu's "服务" (its first submenu) holds "创建群".
    std::set<unsigned long> known = VisibleIds();
    ASSERT_TRUE(e2e::ClickControl(a_.main, IDC_BTN_MAIN_MENU));
    ScreenWindow menu;
    ASSERT_TRUE(NewWindow(known, -1, -1, 5000, &menu)) << "no main menu";
    Screenshot("e2e-group-main-menu.png");
    known = VisibleIds();
    ASSERT_NO_FATAL_FAILURE(ClickEntry(menu, [](const Item& i) { return i.command == -1; }));
    ScreenWindow services;
    ASSERT_TRUE(NewWindow(known, -1, -1, 5000, &services)) << "no service popup";
    Screenshot("e2e-group-service-menu.png");
    ASSERT_NO_FATAL_FAILURE(ClickEntry(services, [](const Item& i) { return i.command == IDM_CREATE_GROUP; }));
    ScreenWindow create;
    const bool opened = NewWindow(known, kFrameWidth, kFrameHeight, 15000, &create);
    Screenshot("e2e-group-create-opened.png");
    ASSERT_TRUE(opened) << "no group-creation window";
    ASSERT_TRUE(e2e::PageLoaded(create));
    // Each field is typed until the page holds it, so that the OK click
    // cannot overtake keys still on their way.
    std::string shown;
    ASSERT_TRUE(ClickToTypeInto(create, "#grpName"));
    ASSERT_TRUE(e2e::TypeLanded(kGroupName, &shown)) << "the name box holds [" << shown << "]";
    ASSERT_TRUE(ClickToTypeInto(create, "#grpNote"));
    ASSERT_TRUE(e2e::TypeLanded("一起学习", &shown)) << "the note box holds [" << shown << "]";
    Screenshot("e2e-group-create.png");
    known = VisibleIds();
    ASSERT_TRUE(e2e::ClickControl(create, kCreateOk));
    ScreenWindow box;
    ASSERT_TRUE(NewWindow(known, -1, -1, 10000, &box)) << "no box after creating";
    Screenshot("e2e-group-created-box.png");
    ASSERT_TRUE(AnswerBox(box));
    // The service has the group, owned by 10001.
    int32_t gid = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            for (const standin::SeedGroup& g : service_.Groups())
                if (g.name == kGroupName) {
                    gid = g.gid;
                    return true;
                }
            return false;
        },
        5000));
    EXPECT_EQ(service_.MemberRole(gid, 10001), 1);
    // Once its box is answered the page tells the program of the new group,
    // and the program empties the page's fields: the window is closed after
    // that (closed before, the page never told it).
    ScreenWindow nameBox;
    ASSERT_TRUE(waitFor(
        [&] { return e2e::ElementRect(create, "#grpName", &nameBox) && e2e::ElementText(create, "#grpName").empty(); },
        10000))
        << "the page kept the group's name: the program was not told of the group";
    ASSERT_TRUE(e2e::CloseWindow(create.id));
    ASSERT_TRUE(WaitForGone(create.id, 5000));

    // The new group's row in the group list, and its owner menu: "添加群成员".
    ASSERT_TRUE(e2e::ClickControl(a_.main, IDC_BTN_TAB_GROUPS));
    Item row;
    ASSERT_TRUE(e2e::WaitForItem(
        a_.main, IDC_LIST_GROUPS, [](const Item& i) { return i.text.find(kGroupName) != std::string::npos; }, 10000,
        &row))
        << "the group list does not show the new group";
    Screenshot("e2e-group-list.png");
    ASSERT_TRUE(Click(row.x + row.width / 2, row.y + row.height / 2));
    known = VisibleIds();
    ASSERT_TRUE(e2e::RightClick(row.x + row.width / 2 + 2, row.y + row.height / 2));
    ScreenWindow ownerMenu;
    ASSERT_TRUE(NewWindow(known, -1, -1, 5000, &ownerMenu)) << "no group menu";
    Screenshot("e2e-group-owner-menu.png");
    known = VisibleIds();
    ASSERT_NO_FATAL_FAILURE(ClickEntry(ownerMenu, [](const Item& i) { return i.command == IDM_ADD_GROUP_MEMBERS; }));
    ScreenWindow import;
    ASSERT_TRUE(NewWindow(known, kImportWidth, kImportHeight, 15000, &import)) << "no member-import window";
    ASSERT_TRUE(e2e::PageLoaded(import));
    Screenshot("e2e-group-import.png");

    // The friend 王芳 (10003) ticked in the tree, moved into the list, invited.
    ASSERT_TRUE(e2e::ClickElement(import, "#tree input[data-id='10003']"));
    ASSERT_TRUE(e2e::ClickElement(import, "#btnAdd"));
    ASSERT_TRUE(waitFor([&] { return e2e::ElementText(import, "#added").find("王芳") != std::string::npos; }, 5000))
        << "the list of those added holds [" << e2e::ElementText(import, "#added") << "]";
    Screenshot("e2e-group-import-ticked.png");
    web_.ClearRequests();
    known = VisibleIds();
    ASSERT_TRUE(e2e::ClickControl(import, IDOK));
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
    ASSERT_TRUE(AnswerBox(box));

    // 王芳's client asks her on its next heartbeat, beside her main window;
    // she agrees ("Yes", the box's default) and joins.
    ScreenWindow question;
    ASSERT_TRUE(e2e::WaitForWindowWhere(
        [&](const ScreenWindow& w) {
            return w.id != b_.main.id && w.width > 60 && w.x + w.width > b_.main.x &&
                   w.x < b_.main.x + b_.main.width && w.height < 200;
        },
        25000, &question))
        << "the invited client was not asked";
    Screenshot("e2e-group-invitation-received.png");
    ASSERT_TRUE(AnswerBox(question));
    EXPECT_TRUE(waitFor([&] { return service_.GroupHasMember(gid, 10003); }, 15000))
        << "the invited user did not join";
    // Her list learns the group from the "joined" notice of a later heartbeat.
    ASSERT_TRUE(e2e::ClickControl(b_.main, IDC_BTN_TAB_GROUPS));
    EXPECT_TRUE(e2e::WaitForItem(
        b_.main, IDC_LIST_GROUPS, [](const Item& i) { return i.text.find(kGroupName) != std::string::npos; }, 20000,
        nullptr))
        << "her group list does not show the group";
    Screenshot("e2e-group-joined.png");
}
