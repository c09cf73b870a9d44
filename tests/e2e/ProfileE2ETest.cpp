// The own profile, the head photo and the group information of the real
// program against the stand-ins, driven as a person drives them: a profile
// edit is saved, shown in the own main window and, through the service, in
// another client's friend list; a head photo is uploaded through the web
// server's page (a file too large and a broken file refused, the shown head
// kept); a group's owner edits its name and the group list shows it, while a
// member who does not own the group cannot change it.
#include "tests/e2e/Clipboard.h"
#include "tests/e2e/TwoClients.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using e2e::Client;
using e2e::kListHeight;
using e2e::kListWidth;
using e2e::kListX;
using e2e::kListY;
using e2e::kRowHeight;
using e2e::ScreenWindow;
using e2e::VisibleIds;
using e2e::VisibleIdsOfSize;
using e2e::WaitForGone;
using e2e::waitFor;

// In the main window (from its top-left corner): the own-status button and
// the "我的资料" item of its menu, the own head, the own name and note.
const int kStatusX = 70, kStatusY = 36, kProfileItemX = 120, kProfileItemY = 120;
const int kHeadX = 6, kHeadY = 24, kHeadSize = 40;
const int kNameX = 60, kNameY = 36, kNameWidth = 130, kNameHeight = 40;
// A group row's menu, from the point clicked: "修改群资料" for the owner.
const int kEditInfoDX = 66, kEditInfoDY = 73;
// The plug-in windows: 500 x 400; places in them (from the top-left corner).
const int kFrameWidth = 500, kFrameHeight = 400;
const int kProfileNameX = 244, kProfileNameY = 104, kProfileNoteX = 330, kProfileNoteY = 250;
const int kProfileOkX = 355, kProfileOkY = 385, kChangeHeadX = 66, kChangeHeadY = 186;
const int kChooseFileX = 115, kChooseFileY = 160, kUploadX = 316, kUploadY = 221;
const int kGroupNameX = 302, kGroupNameY = 113, kGroupOkX = 265, kGroupOkY = 385;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ProfileTest : public e2e::TwoClientsTest {
protected:
    ProfileTest() { screenshotDelayMs_ = 300; }

    // A window of that size that is none of `known`.
    static bool NewWindow(int width, int height, const std::set<unsigned long>& known, int timeoutMs,
                          ScreenWindow* found)
    {
        return e2e::WaitForWindowWhere(
            [&](const ScreenWindow& w) { return w.width == width && w.height == height && !known.count(w.id); },
            timeoutMs, found);
    }

    // A box the program shows (a small window that was not there), answered
    // with Enter after its picture was taken.
    bool AnswerBox(const std::set<unsigned long>& before, const std::string& shot)
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
        // Keys go to the window under the pointer.
        PointAt(box.x + box.width / 2, box.y + 8);
        e2e::Key("Return");
        return WaitForGone(box.id, 5000);
    }

    // A popup menu (a window that is none of `before`), waited for after
    // the click that opens it.
    bool WaitForMenu(const std::set<unsigned long>& before, ScreenWindow* menu, const std::string& shot)
    {
        const bool shown =
            e2e::WaitForWindowWhere([&](const ScreenWindow& w) { return !before.count(w.id); }, 10000, menu);
        if (!shown) Screenshot("e2e_no_menu_" + shot);
        return shown;
    }

    // Opens the own profile from the status menu; the window's place. It
    // returns once the form shows the own name as the web server gave it.
    bool OpenProfile(const Client& c, int32_t uid, ScreenWindow* frame)
    {
        standin::SeedUser own;
        if (!service_.User(uid, &own)) return false;
        const std::set<unsigned long> known = VisibleIdsOfSize(kFrameWidth, kFrameHeight);
        const std::set<unsigned long> before = VisibleIds();
        ScreenWindow menu;
        if (!Click(c.main.x + kStatusX, c.main.y + kStatusY) || !WaitForMenu(before, &menu, "status.png")) return false;
        if (!Click(c.main.x + kProfileItemX, c.main.y + kProfileItemY)) return false;
        if (!NewWindow(kFrameWidth, kFrameHeight, known, 15000, frame)) {
            Screenshot("e2e_no_profile.png");
            return false;
        }
        if (!WaitForInput(*frame, kProfileNameX, kProfileNameY, own.name)) {
            Screenshot("e2e_profile_not_filled.png");
            return false;
        }
        return true;
    }

    // The text of the page input at (x, y) of a frame, copied out through
    // the clipboard: the page copies only after it has handled every key
    // typed before, so a text read this way has landed.
    std::string InputText(const ScreenWindow& frame, int x, int y)
    {
        if (!Click(frame.x + x, frame.y + y) || !e2e::Key("ctrl+a") || !e2e::Key("ctrl+c")) return std::string();
        std::string text;
        waitFor([&] { return !(text = e2e::ClipboardText()).empty(); }, 2000);
        return text;
    }

    // Waits until the page input at (x, y) holds `text` (a form the page
    // fills from the web server after it shows).
    bool WaitForInput(const ScreenWindow& frame, int x, int y, const std::string& text)
    {
        std::string last;
        const bool shown = waitFor([&] { return (last = InputText(frame, x, y)) == text; }, 15000);
        if (!shown) ADD_FAILURE() << "the input shows [" << last << "], not [" << text << "]";
        return shown;
    }

    // Replaces the text of the page input at (x, y) of a frame and returns
    // once the page holds the new text, so that a click on a button of the
    // window that follows cannot overtake the typed keys.
    void Retype(const ScreenWindow& frame, int x, int y, const std::string& text)
    {
        ASSERT_TRUE(e2e::ClickToType(frame, frame.x + x, frame.y + y));
        std::string shown;
        ASSERT_TRUE(e2e::TypeLanded(text, &shown)) << "the page holds [" << shown << "], not " << text;
    }
};

}  // namespace


TEST_F(ProfileTest, AProfileEditShowsInTheOwnMainWindowAndInAFriendsList)
{
    // A (10003) is online throughout; its friend B (10001) looks at its
    // friend list before and after the edit.
    // (B's window opens over A's, in the same place: the windows are not
    // moved, as a moved window's menus open where it was.)
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000003", 10003));
    auto friendsOfB = [&] {
        std::vector<uint32_t> list;
        LogIn(b_, "13800000001", 10001);
        if (HasFatalFailure()) return list;
        EXPECT_TRUE(Click(b_.main.x + e2e::kFriendsTabX, b_.main.y + e2e::kFriendsTabY));
        list = Settled(b_, kListX, kListY, kListWidth, kListHeight);
        return list;
    };
    const std::vector<uint32_t> before = friendsOfB();
    ASSERT_FALSE(before.empty());
    Screenshot("e2e_profile_friend_before.png");
    e2e::Stop(b_.pid, 500);
    std::filesystem::remove_all(b_.folder);
    b_ = Client();
    // Its session ends as the service ends one that times out.
    service_.DropSession(10001, false);

    // A edits name and note in the profile window and saves with OK.
    const std::vector<uint32_t> ownBefore = Settled(a_, kNameX, kNameY, kNameWidth, kNameHeight);
    ScreenWindow profile;
    ASSERT_TRUE(OpenProfile(a_, 10003, &profile));
    Screenshot("e2e_profile_open.png");
    ASSERT_NO_FATAL_FAILURE(Retype(profile, kProfileNameX, kProfileNameY, "芳芳 2026"));
    ASSERT_NO_FATAL_FAILURE(Retype(profile, kProfileNoteX, kProfileNoteY, "周末去图书馆"));
    Screenshot("e2e_profile_typed.png");
    const std::set<unsigned long> windows = VisibleIds();
    ASSERT_TRUE(Click(profile.x + kProfileOkX, profile.y + kProfileOkY));
    ASSERT_TRUE(AnswerBox(windows, "e2e_profile_saved_box.png")) << "no box after the save";
    EXPECT_TRUE(WaitForGone(profile.id, 5000)) << "OK after a save closes the window";
    standin::SeedUser saved;
    ASSERT_TRUE(service_.User(10003, &saved));
    EXPECT_EQ(saved.name, "芳芳 2026");
    EXPECT_EQ(saved.note, "周末去图书馆");

    // A's own main window shows the new name and note.
    EXPECT_TRUE(waitFor([&] { return Area(a_, kNameX, kNameY, kNameWidth, kNameHeight) != ownBefore; }, 5000));
    Screenshot("e2e_profile_main_window.png");

    // B, logging in again, gets the new name from the service: only A's row
    // (the second: 10002, 10003, 10004) is drawn differently.
    const std::vector<uint32_t> after = friendsOfB();
    ASSERT_FALSE(after.empty());
    Screenshot("e2e_profile_friend_after.png");
    EXPECT_EQ(ChangedRows(before, after), std::vector<int>{1});
}

TEST_F(ProfileTest, AHeadPhotoIsTakenOnlyWhenTheServerAcceptsIt)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    const std::vector<uint32_t> headBefore = Settled(a_, kHeadX, kHeadY, kHeadSize, kHeadSize);
    const std::string seedHead = ReadFile(std::string(LUM_STANDIN_WWW) + "/upload/face/10001.png");

    // The files a person might pick.
    const std::string folder = a_.folder + "/pictures";
    std::filesystem::create_directories(folder);
    const std::string good = folder + "/new.png", large = folder + "/large.png", broken = folder + "/broken.png";
    std::filesystem::copy_file(std::string(LUM_STANDIN_WWW) + "/upload/face/10004.png", good);
    std::ofstream(large, std::ios::binary) << ReadFile(good) << std::string(1100 * 1024, '\0');
    std::ofstream(broken, std::ios::binary) << ReadFile(good).substr(0, 80);

    ScreenWindow profile, head;
    ASSERT_TRUE(OpenProfile(a_, 10001, &profile));
    ASSERT_TRUE(Click(profile.x + kChangeHeadX, profile.y + kChangeHeadY));
    ASSERT_TRUE(NewWindow(kFrameWidth, kFrameHeight, {profile.id}, 15000, &head)) << "no head-photo window";
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));

    httplib::Client web(web_.BaseUrl());
    auto served = [&] {
        auto r = web.Get("/upload/face/10001.png");
        return r ? r->body : std::string();
    };
    // Picks a file in the file dialog that the page's file input opens, then
    // uploads it; the box's picture is taken.
    auto upload = [&](const std::string& file, const std::string& shot) {
        const std::set<unsigned long> windows = VisibleIds();
        if (!Click(head.x + kChooseFileX, head.y + kChooseFileY)) return false;
        ScreenWindow dialog;
        const bool opened = e2e::WaitForWindowWhere(
            [&](const ScreenWindow& w) { return !windows.count(w.id) && w.width > 300; }, 10000, &dialog);
        if (!opened) {
            Screenshot("e2e_head_no_dialog.png");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        PointAt(dialog.x + dialog.width / 2, dialog.y + 10);
        // The dialog opens in the program's folder; a name from there does
        // not meet the completion of other folders' names.
        e2e::Type("./pictures/" + file, 60);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        Screenshot("e2e_head_dialog_typed.png");
        e2e::Key("Return");
        if (!WaitForGone(dialog.id, 5000)) {
            Screenshot("e2e_head_dialog_stays.png");
            return false;
        }
        const std::set<unsigned long> now = VisibleIds();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        if (!Click(head.x + kUploadX, head.y + kUploadY)) return false;
        return AnswerBox(now, shot);
    };

    // Nothing chosen yet: the page says so.
    {
        const std::set<unsigned long> now = VisibleIds();
        ASSERT_TRUE(Click(head.x + kUploadX, head.y + kUploadY));
        EXPECT_TRUE(AnswerBox(now, "e2e_head_nothing_chosen.png")) << "no box without a file";
    }
    ASSERT_TRUE(upload("large.png", "e2e_head_too_large.png"));
    ASSERT_TRUE(upload("broken.png", "e2e_head_broken.png"));
    EXPECT_EQ(served(), seedHead);
    EXPECT_EQ(Settled(a_, kHeadX, kHeadY, kHeadSize, kHeadSize), headBefore);

    ASSERT_TRUE(upload("new.png", "e2e_head_taken_box.png"));
    EXPECT_TRUE(WaitForGone(head.id, 10000)) << "the head-photo window stays after an accepted head";
    EXPECT_EQ(served(), ReadFile(good));
    EXPECT_TRUE(waitFor([&] { return Area(a_, kHeadX, kHeadY, kHeadSize, kHeadSize) != headBefore; }, 10000))
        << "the main window still shows the old head";
    Screenshot("e2e_head_taken.png");
}

TEST_F(ProfileTest, TheOwnerEditsTheGroupAndAMemberIsNotOfferedTheEditor)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000002", 10002));
    // The group tab shows at login: 501, then 502 (owned).
    const int rowY = kListY + kRowHeight + 26;
    const std::vector<uint32_t> before = Settled(a_, kListX, kListY, kListWidth, kListHeight);
    ASSERT_TRUE(Click(a_.main.x + 100, a_.main.y + rowY));
    ScreenWindow menu;
    const std::set<unsigned long> noMenu = VisibleIds();
    ASSERT_TRUE(e2e::RightClick(a_.main.x + 102, a_.main.y + rowY));
    ASSERT_TRUE(WaitForMenu(noMenu, &menu, "group_owner.png"));
    Screenshot("e2e_group_owner_menu.png");
    const std::set<unsigned long> known = VisibleIdsOfSize(kFrameWidth, kFrameHeight);
    ASSERT_TRUE(Click(a_.main.x + 102 + kEditInfoDX, a_.main.y + rowY + kEditInfoDY));
    ScreenWindow editor;
    ASSERT_TRUE(NewWindow(kFrameWidth, kFrameHeight, known, 15000, &editor)) << "no group information window";
    standin::SeedGroup group;
    ASSERT_TRUE(service_.Group(502, &group));
    ASSERT_TRUE(WaitForInput(editor, kGroupNameX, kGroupNameY, group.name)) << "the editor was not filled";
    ASSERT_NO_FATAL_FAILURE(Retype(editor, kGroupNameX, kGroupNameY, "羽毛球俱乐部"));
    Screenshot("e2e_group_edit.png");
    ASSERT_TRUE(Click(editor.x + kGroupOkX, editor.y + kGroupOkY));
    EXPECT_TRUE(WaitForGone(editor.id, 10000)) << "OK after a save closes the window";
    ASSERT_TRUE(service_.Group(502, &group));
    EXPECT_EQ(group.name, "羽毛球俱乐部");
    // The owner's group list shows the new name in the group's row only.
    EXPECT_TRUE(waitFor([&] { return Area(a_, kListX, kListY, kListWidth, kListHeight) != before; }, 5000));
    EXPECT_EQ(ChangedRows(before, Settled(a_, kListX, kListY, kListWidth, kListHeight)), std::vector<int>{1});
    Screenshot("e2e_group_owner_list.png");

    // A member (10001) sees the new name, and its menu on the group holds
    // no information editor: the group stays as its owner left it.
    ASSERT_TRUE(e2e::MoveWindow(a_.main, a_.main.x - 320, a_.main.y));
    ASSERT_NO_FATAL_FAILURE(LogIn(b_, "13800000001", 10001));
    web_.ClearRequests();
    Settled(b_, kListX, kListY, kListWidth, kListHeight);
    ASSERT_TRUE(Click(b_.main.x + 100, b_.main.y + rowY));
    const std::set<unsigned long> noMemberMenu = VisibleIds();
    ASSERT_TRUE(e2e::RightClick(b_.main.x + 102, b_.main.y + rowY));
    ASSERT_TRUE(WaitForMenu(noMemberMenu, &menu, "group_member.png"));
    Screenshot("e2e_group_member_menu.png");
    e2e::Key("Escape");
    EXPECT_EQ(VisibleIdsOfSize(kFrameWidth, kFrameHeight).size(), known.size());
    for (const auto& r : web_.Requests()) EXPECT_NE(r.path, "/api/group/editGroupInfo.jsp");
    ASSERT_TRUE(service_.Group(502, &group));
    EXPECT_EQ(group.name, "羽毛球俱乐部");
}
