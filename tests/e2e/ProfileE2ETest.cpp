// The own profile, the head photo and the group information of the real
// program against the stand-ins, driven as a person drives them: a profile
// edit is saved, shown in the own main window and, through the service, in
// another client's friend list; a head photo is uploaded through the web
// server's page (a file too large and a broken file refused, the shown head
// kept); a group's owner edits its name and the group list shows it, while a
// member who does not own the group cannot change it.
#include "base/MenuCommands.h"
#include "plugins/Clanor/ClanorResource.h"
#include "plugins/Mievo/MievoResource.h"
#include "tests/e2e/Clipboard.h"
#include "tests/e2e/TwoClients.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using e2e::Client;
using e2e::Item;
using e2e::ScreenWindow;
using e2e::VisibleIds;
using e2e::VisibleIdsOfSize;
using e2e::WaitForGone;
using e2e::waitFor;

// Where the main window paints the own head, and the own name and note
// (from its top-left corner): places to look at, not controls.
const int kHeadX = 6, kHeadY = 24, kHeadSize = 40;
const int kNameX = 60, kNameY = 36, kNameWidth = 130, kNameHeight = 40;
// The plug-in windows: 500 x 400.
const int kFrameWidth = 500, kFrameHeight = 400;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ProfileTest : public e2e::TwoClientsTest {
protected:
    // A window of that size (any size when negative) that is none of `known`.
    static bool NewWindow(int width, int height, const std::set<unsigned long>& known, int timeoutMs,
                          ScreenWindow* found)
    {
        return e2e::WaitForWindowWhere(
            [&](const ScreenWindow& w) {
                return !known.count(w.id) && w.width > 60 && (width < 0 || (w.width == width && w.height == height));
            },
            timeoutMs, found);
    }

    // A box the program shows (a small window that was not there), answered
    // with Enter after its picture was taken.
    bool AnswerNewBox(const std::set<unsigned long>& before, const std::string& shot)
    {
        ScreenWindow box;
        const bool shown = e2e::WaitForWindowWhere(
            [&](const ScreenWindow& w) {
                return !before.count(w.id) && w.width < 480 && w.height < 300 && w.width > 100;
            },
            10000, &box);
        if (!shown) {
            // What was there instead, for the person reading the failure.
            Screenshot("e2e_no_box_" + shot);
            return false;
        }
        if (!shot.empty()) Screenshot(shot);
        return AnswerBox(box);
    }

    // The rectangle of the main window's painted area, once it has settled.
    static std::vector<uint32_t> Painted(const Client& c, int x, int y, int w, int h, bool settled = true)
    {
        return settled ? e2e::SettledScreen(c.main.x + x, c.main.y + y, w, h)
                       : e2e::GrabScreen(c.main.x + x, c.main.y + y, w, h);
    }

    // Waits until the page's form field `selector` holds `text` (a form the
    // page fills from the web server after it shows).
    static bool WaitForField(const ScreenWindow& frame, const std::string& selector, const std::string& text)
    {
        std::string last;
        const bool shown = waitFor([&] { return (last = e2e::ElementText(frame, selector)) == text; }, 15000);
        if (!shown) ADD_FAILURE() << selector << " shows [" << last << "], not [" << text << "]";
        return shown;
    }

    // Opens the own profile from the status menu; the window's place. It
    // returns once the form shows the own name as the web server gave it.
    void OpenProfile(const Client& c, int32_t uid, ScreenWindow* frame)
    {
        standin::SeedUser own;
        ASSERT_TRUE(service_.User(uid, &own));
        const std::set<unsigned long> known = VisibleIdsOfSize(kFrameWidth, kFrameHeight);
        std::set<unsigned long> before = VisibleIds();
        ASSERT_TRUE(e2e::ClickControl(c.main, IDC_BTN_STATUS));
        ScreenWindow menu;
        ASSERT_TRUE(NewWindow(-1, -1, before, 5000, &menu)) << "no status menu";
        ASSERT_NO_FATAL_FAILURE(ClickEntry(menu, [](const Item& i) { return i.command == IDM_PROFILE; }));
        if (!NewWindow(kFrameWidth, kFrameHeight, known, 15000, frame)) {
            Screenshot("e2e_no_profile.png");
            FAIL() << "no profile window";
        }
        ASSERT_TRUE(e2e::PageLoaded(*frame));
        ASSERT_TRUE(WaitForField(*frame, "#name", own.name)) << "the profile was not filled";
    }

    // Replaces the text of a page's form field and returns once the page
    // holds the new text, so that a click on a button of the window that
    // follows cannot overtake the typed keys.
    void Retype(const ScreenWindow& frame, const std::string& selector, const std::string& text)
    {
        ASSERT_TRUE(ClickToTypeInto(frame, selector));
        std::string shown;
        ASSERT_TRUE(e2e::TypeLanded(text, &shown)) << "the page holds [" << shown << "], not " << text;
    }

    // The row of the client's list control `list` whose text holds `text`.
    static bool Row(const Client& c, int list, const std::string& text, Item* row, int timeoutMs = 10000)
    {
        return e2e::WaitForItem(
            c.main, list, [&](const Item& i) { return i.text.find(text) != std::string::npos; }, timeoutMs, row);
    }

    // Right-clicks a row of a list and returns the menu that opens.
    void RowMenu(const Item& row, ScreenWindow* menu)
    {
        ASSERT_TRUE(Click(row.x + row.width / 2, row.y + row.height / 2));
        const std::set<unsigned long> before = VisibleIds();
        ASSERT_TRUE(e2e::RightClick(row.x + row.width / 2 + 2, row.y + row.height / 2));
        ASSERT_TRUE(NewWindow(-1, -1, before, 5000, menu)) << "no menu on " << row.text;
    }
};

}  // namespace


TEST_F(ProfileTest, AProfileEditShowsInTheOwnMainWindowAndInAFriendsList)
{
    // A (10003) is online throughout; its friend B (10001) looks at its
    // friend list before and after the edit.
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000003", 10003));
    standin::SeedUser seeded;
    ASSERT_TRUE(service_.User(10003, &seeded));
    // B's friend list shows A's row by the name the service gives.
    auto friendsOfB = [&](const std::string& name, Item* row) {
        ASSERT_NO_FATAL_FAILURE(LogIn(b_, "13800000001", 10001));
        ASSERT_TRUE(e2e::ClickControl(b_.main, IDC_BTN_TAB_FRIENDS));
        ASSERT_TRUE(Row(b_, IDC_LIST_FRIENDS, name, row)) << "B's friend list shows no " << name;
    };
    Item row;
    ASSERT_NO_FATAL_FAILURE(friendsOfB(seeded.name, &row));
    const int rowTop = row.y - b_.main.y;
    Screenshot("e2e_profile_friend_before.png");
    e2e::Stop(b_.pid, 500);
    e2e::RemoveFolder(b_.folder);
    b_ = Client();
    // Its session ends as the service ends one that times out.
    service_.DropSession(10001, false);

    // A edits name and note in the profile window and saves with OK.
    const std::vector<uint32_t> ownBefore = Painted(a_, kNameX, kNameY, kNameWidth, kNameHeight);
    ScreenWindow profile;
    ASSERT_NO_FATAL_FAILURE(OpenProfile(a_, 10003, &profile));
    Screenshot("e2e_profile_open.png");
    ASSERT_NO_FATAL_FAILURE(Retype(profile, "#name", "芳芳 2026"));
    ASSERT_NO_FATAL_FAILURE(Retype(profile, "#note", "周末去图书馆"));
    Screenshot("e2e_profile_typed.png");
    const std::set<unsigned long> windows = VisibleIds();
    ASSERT_TRUE(e2e::ClickControl(profile, IDC_BTN_MIEVO_OK));
    ASSERT_TRUE(AnswerNewBox(windows, "e2e_profile_saved_box.png")) << "no box after the save";
    EXPECT_TRUE(WaitForGone(profile.id, 5000)) << "OK after a save closes the window";
    standin::SeedUser saved;
    ASSERT_TRUE(service_.User(10003, &saved));
    EXPECT_EQ(saved.name, "芳芳 2026");
    EXPECT_EQ(saved.note, "周末去图书馆");

    // A's own main window shows the new name and note.
    EXPECT_TRUE(waitFor([&] { return Painted(a_, kNameX, kNameY, kNameWidth, kNameHeight, false) != ownBefore; },
                        5000));
    Screenshot("e2e_profile_main_window.png");

    // B, logging in again, gets the new name from the service: A's row
    // shows it, in the place the old name had.
    Item after;
    ASSERT_NO_FATAL_FAILURE(friendsOfB("芳芳 2026", &after));
    Screenshot("e2e_profile_friend_after.png");
    EXPECT_EQ(after.y - b_.main.y, rowTop);
    for (const Item& i : e2e::Items(b_.main, IDC_LIST_FRIENDS))
        EXPECT_EQ(i.text.find(seeded.name), std::string::npos) << "a row still shows the old name: " << i.text;
}

TEST_F(ProfileTest, AHeadPhotoIsTakenOnlyWhenTheServerAcceptsIt)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    const std::vector<uint32_t> headBefore = Painted(a_, kHeadX, kHeadY, kHeadSize, kHeadSize);
    const std::string seedHead = ReadFile(std::string(LUM_STANDIN_WWW) + "/upload/face/10001.png");

    // The files a person might pick.
    const std::string folder = a_.folder + "/pictures";
    std::filesystem::create_directories(folder);
    const std::string good = folder + "/new.png", large = folder + "/large.png", broken = folder + "/broken.png";
    std::filesystem::copy_file(std::string(LUM_STANDIN_WWW) + "/upload/face/10004.png", good);
    std::ofstream(large, std::ios::binary) << ReadFile(good) << std::string(1100 * 1024, '\0');
    std::ofstream(broken, std::ios::binary) << ReadFile(good).substr(0, 80);

    ScreenWindow profile, head;
    ASSERT_NO_FATAL_FAILURE(OpenProfile(a_, 10001, &profile));
    ASSERT_TRUE(e2e::ClickElement(profile, "#changeHead"));
    ASSERT_TRUE(NewWindow(kFrameWidth, kFrameHeight, {profile.id}, 15000, &head)) << "no head-photo window";
    // The window's page sends it on to the web server's upload page.
    ASSERT_TRUE(e2e::PageLoaded(head));
    ScreenWindow chooser;
    ASSERT_TRUE(e2e::ElementRect(head, "#file_headPhoto", &chooser, 15000)) << "no upload page";

    httplib::Client web(web_.BaseUrl());
    auto served = [&] {
        auto r = web.Get("/upload/face/10001.png");
        return r ? r->body : std::string();
    };
    // Picks a file in the file dialog that the page's file input opens, then
    // uploads it; the box's picture is taken.
    auto upload = [&](const std::string& file, const std::string& shot) {
        const std::set<unsigned long> windows = VisibleIds();
        if (!e2e::ClickElement(head, "#file_headPhoto")) return false;
        ScreenWindow dialog;
        const bool opened = e2e::WaitForWindowWhere(
            [&](const ScreenWindow& w) { return !windows.count(w.id) && w.width > 300; }, 10000, &dialog);
        if (!opened) {
            Screenshot("e2e_head_no_dialog.png");
            return false;
        }
        if (!TypeLocation(dialog, folder + "/" + file)) return false;
        Screenshot("e2e_head_dialog_typed.png");
        e2e::Key("Return");
        if (!WaitForGone(dialog.id, 5000)) {
            Screenshot("e2e_head_dialog_stays.png");
            return false;
        }
        // The page's input holds the chosen file before it is uploaded.
        const bool chosen = waitFor(
            [&] {
                const std::string value = e2e::ElementText(head, "#file_headPhoto");
                return value.size() >= file.size() && value.compare(value.size() - file.size(), file.size(), file) == 0;
            },
            5000);
        if (!chosen) {
            ADD_FAILURE() << "the page's input holds [" << e2e::ElementText(head, "#file_headPhoto") << "]";
            return false;
        }
        const std::set<unsigned long> now = VisibleIds();
        if (!e2e::ClickElement(head, "#btnUpload")) return false;
        return AnswerNewBox(now, shot);
    };

    // Nothing chosen yet: the page says so.
    {
        const std::set<unsigned long> now = VisibleIds();
        ASSERT_TRUE(e2e::ClickElement(head, "#btnUpload"));
        EXPECT_TRUE(AnswerNewBox(now, "e2e_head_nothing_chosen.png")) << "no box without a file";
    }
    ASSERT_TRUE(upload("large.png", "e2e_head_too_large.png"));
    ASSERT_TRUE(upload("broken.png", "e2e_head_broken.png"));
    EXPECT_EQ(served(), seedHead);
    EXPECT_EQ(Painted(a_, kHeadX, kHeadY, kHeadSize, kHeadSize), headBefore);

    ASSERT_TRUE(upload("new.png", "e2e_head_taken_box.png"));
    EXPECT_TRUE(WaitForGone(head.id, 10000)) << "the head-photo window stays after an accepted head";
    EXPECT_EQ(served(), ReadFile(good));
    EXPECT_TRUE(waitFor([&] { return Painted(a_, kHeadX, kHeadY, kHeadSize, kHeadSize, false) != headBefore; }, 10000))
        << "the main window still shows the old head";
    Screenshot("e2e_head_taken.png");
}

TEST_F(ProfileTest, TheOwnerEditsTheGroupAndAMemberIsNotOfferedTheEditor)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000002", 10002));
    standin::SeedGroup group;
    ASSERT_TRUE(service_.Group(502, &group));
    const std::string oldName = group.name;
    // The group tab shows at login; 502 is owned.
    Item row;
    ASSERT_TRUE(Row(a_, IDC_LIST_GROUPS, oldName, &row)) << "no row of group 502";
    ScreenWindow menu;
    ASSERT_NO_FATAL_FAILURE(RowMenu(row, &menu));
    Screenshot("e2e_group_owner_menu.png");
    const std::set<unsigned long> known = VisibleIdsOfSize(kFrameWidth, kFrameHeight);
    ASSERT_NO_FATAL_FAILURE(ClickEntry(menu, [](const Item& i) { return i.command == IDM_EDIT_GROUP_INFO; }));
    ScreenWindow editor;
    ASSERT_TRUE(NewWindow(kFrameWidth, kFrameHeight, known, 15000, &editor)) << "no group information window";
    ASSERT_TRUE(e2e::PageLoaded(editor));
    ASSERT_TRUE(WaitForField(editor, "#grpName", oldName)) << "the editor was not filled";
    ASSERT_NO_FATAL_FAILURE(Retype(editor, "#grpName", "羽毛球俱乐部"));
    Screenshot("e2e_group_edit.png");
    ASSERT_TRUE(e2e::ClickControl(editor, IDC_BTN_CLANOR_OK));
    EXPECT_TRUE(WaitForGone(editor.id, 10000)) << "OK after a save closes the window";
    ASSERT_TRUE(service_.Group(502, &group));
    EXPECT_EQ(group.name, "羽毛球俱乐部");
    // The owner's group list shows the new name, in the group's row.
    Item renamed;
    EXPECT_TRUE(Row(a_, IDC_LIST_GROUPS, "羽毛球俱乐部", &renamed, 5000)) << "the group list keeps the old name";
    EXPECT_EQ(renamed.y, row.y);
    Screenshot("e2e_group_owner_list.png");

    // A member (10001) sees the new name, and its menu on the group holds
    // no information editor: the group stays as its owner left it.
    ASSERT_TRUE(e2e::MoveWindow(a_.main, a_.main.x - 320, a_.main.y));
    ASSERT_NO_FATAL_FAILURE(LogIn(b_, "13800000001", 10001));
    web_.ClearRequests();
    Item memberRow;
    ASSERT_TRUE(Row(b_, IDC_LIST_GROUPS, "羽毛球俱乐部", &memberRow)) << "the member's list lacks the new name";
    ASSERT_NO_FATAL_FAILURE(RowMenu(memberRow, &menu));
    Screenshot("e2e_group_member_menu.png");
    const std::vector<Item> entries = e2e::Items(menu, 0);
    EXPECT_FALSE(entries.empty());
    for (const Item& i : entries) EXPECT_NE(i.command, IDM_EDIT_GROUP_INFO) << "the member is offered " << i.text;
    e2e::Key("Escape");
    EXPECT_EQ(VisibleIdsOfSize(kFrameWidth, kFrameHeight).size(), known.size());
    for (const auto& r : web_.Requests()) EXPECT_NE(r.path, "/api/group/editGroupInfo.jsp");
    ASSERT_TRUE(service_.Group(502, &group));
    EXPECT_EQ(group.name, "羽毛球俱乐部");
}
