// Settings seen from outside the program: each account on one computer gets
// its own skin, chat font and message sound back at login; a skin chosen in
// the skin chooser reaches the main window and an open chat window at once
// and is kept for the next run; a friend the client puts on the black list
// shows in the web API's black list, and removals through the web API leave
// the server's lists.
#include "tests/e2e/Clipboard.h"
#include "tests/e2e/TwoClients.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace {

using e2e::Client;
using e2e::waitFor;
using e2e::WriteSettings;

// The skin chooser (300 x 230) hangs below the skin button, its right edge
// at the button's.
const int kChooserWidth = 300, kChooserHeight = 230;
// The chat window's black-list button.
const int kBlockButton = 1025;
// A point of a window's skin (below the caption's glow, inside the frame's
// edge lines).
const int kSkinX = 3, kSkinY = 20;

std::string Setting(const std::string& folder, int uid, const std::string& key)
{
    std::string value = "(none)";
    sqlite3* db = nullptr;
    if (sqlite3_open_v2((folder + "/KivSys.dll").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "select value from Prefor where userid=? and key=?", -1, &st, nullptr) == SQLITE_OK) {
            sqlite3_bind_int(st, 1, uid);
            sqlite3_bind_text(st, 2, key.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(st) == SQLITE_ROW) value = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return value;
}

// The message sound as a link in the program folder: following the link to
// play it marks the link as read (its access time), which is how the test
// sees from outside whether the program asked for the sound.
std::string MakeRing(const std::string& folder)
{
    // The data folders beside the program: the skins and the sounds.
    for (const char* data : {"theme", "voice"})
        std::filesystem::copy(std::string(LUM_BIN_DIR) + "/" + data, folder + "/" + data,
                              std::filesystem::copy_options::recursive | std::filesystem::copy_options::skip_existing);
    const std::string link = folder + "/ring.wav";
    std::filesystem::create_symlink(folder + "/voice/MsgSound.wav", link);
    return link;
}

void ResetRing(const std::string& link)
{
    struct timespec old[2] = {{1577836800, 0}, {1577836800, 0}};  // 2020-01-01
    utimensat(AT_FDCWD, link.c_str(), old, AT_SYMLINK_NOFOLLOW);
}

bool RingPlayed(const std::string& link)
{
    struct stat st {};
    return lstat(link.c_str(), &st) == 0 && st.st_atim.tv_sec > 1577836800;
}

uint32_t Pixel(int x, int y)
{
    const std::vector<uint32_t> p = e2e::GrabScreen(x, y, 1, 1);
    return p.empty() ? 0xFFFFFFFFu : p[0];
}

// How many pixels of a rectangle are clearly red.
int RedPixels(int x, int y, int w, int h)
{
    int n = 0;
    for (uint32_t p : e2e::GrabScreen(x, y, w, h)) {
        const int r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
        if (r > 150 && g < 80 && b < 80) ++n;
    }
    return n;
}

class SettingsTest : public e2e::TwoClientsTest {
protected:
    // A one-to-one message for `uid` from `from` (or in group `gid`),
    // handed over with the client's next heartbeat; waits until the client
    // took it.
    void Deliver(int uid, int from, int gid = 1)
    {
        standin::PendingMessage m;
        m.fromid = from;
        m.toid = uid;
        m.gid = gid;
        m.sendTime = "2026-01-01 10:00:00";
        m.content = "%3Cspan%3Ehello%3C%2Fspan%3E";
        m.msgType = gid == 1 ? 0 : 1;
        service_.AddPending(uid, m);
        ASSERT_TRUE(waitFor([&] { return service_.Pending(uid).empty(); }, 20000)) << "not delivered";
    }

    static uint32_t Skin(const e2e::ScreenWindow& w) { return Pixel(w.x + kSkinX, w.y + kSkinY); }
    static bool SkinIs(const e2e::ScreenWindow& w, uint32_t colour)
    {
        return waitFor([&] { return Skin(w) == colour; }, 10000);
    }
};

}  // namespace

TEST_F(SettingsTest, EachAccountGetsItsOwnSettingsBackAndASkinReachesEveryWindow)
{
    std::string ring;
    std::vector<std::tuple<int, std::string, std::string>> rows;
    LogIn(a_, "13800000001", 10001, [&](const std::string& folder) {
        ring = MakeRing(folder);
        rows = {{10001, "skin", "153,102,51"},         {10001, "Sound_MsgRemind", "1"},
                {10001, "Sound_FMsgAddress", ring},     {10001, "Font_Color", "#CC0000"},
                {10001, "Font_Size", "22"},             {10001, "Font_Bold", "1"},
                {10002, "skin", "40,160,200"},          {10002, "Sound_MsgRemind", "0"},
                {10002, "Sound_FMsgAddress", ring}};
        ASSERT_TRUE(WriteSettings(folder, rows));
    });
    ResetRing(ring);

    // The own skin colour on the main window.
    EXPECT_TRUE(SkinIs(a_.main, 0x996633u)) << std::hex << Skin(a_.main);

    // Sounds are off for this account: a message comes and nothing plays
    // (by the time its chat replays it, it would have played).
    ASSERT_NO_FATAL_FAILURE(Deliver(10001, 10002));

    // A chat window shows the skin and the queued line, and text typed in
    // it the own font colour.
    e2e::ScreenWindow chat;
    ASSERT_NO_FATAL_FAILURE(OpenChatOfFirstRow(a_, IDC_BTN_TAB_FRIENDS, IDC_LIST_FRIENDS, &chat));
    EXPECT_TRUE(PageShows(chat, "#MsgHistoryIFrame >>> body", "hello")) << "the queued line is not shown";
    EXPECT_FALSE(RingPlayed(ring));
    ASSERT_TRUE(e2e::MoveWindow(chat, 100, 100));
    EXPECT_TRUE(SkinIs(chat, 0x996633u)) << std::hex << Skin(chat);
    e2e::ScreenWindow write;
    ASSERT_TRUE(e2e::ElementRect(chat, "#MsgWriteIFrame", &write));
    std::string shown;
    ASSERT_TRUE(waitFor([&] { return ClickToTypeInto(chat, "#MsgWriteIFrame") && e2e::TypeLanded("FONT CHECK WWW", &shown); },
                        20000))
        << "the write box holds [" << shown << "]";
    ASSERT_TRUE(e2e::Key("ctrl+End"));  // not shown selected
    EXPECT_TRUE(waitFor([&] { return RedPixels(write.x, write.y, write.width, write.height) > 40; }, 5000))
        << "typed text is not in the chat font";
    Screenshot("settings_skin_colour.png");

    // The skin chooser: the third picture goes to both windows at once.
    ASSERT_TRUE(e2e::ClickControl(a_.main, IDC_BTN_SKIN));
    e2e::ScreenWindow chooser;
    ASSERT_TRUE(e2e::WaitForWindow(kChooserWidth, kChooserHeight, 8000, &chooser)) << "no skin chooser";
    ASSERT_TRUE(e2e::PageLoaded(chooser));
    Screenshot("settings_skin_chooser.png");
    ASSERT_TRUE(e2e::ClickElement(chooser, "#skin3"));
    // Shown again, the chat window stands where the program last put it.
    ASSERT_TRUE(WaitForChat(0, &chat));
    // The purple picture: more blue than green, on both windows.
    for (const e2e::ScreenWindow* w : {&a_.main, &chat}) {
        EXPECT_TRUE(waitFor(
            [&] {
                const uint32_t p = Skin(*w);
                return p != 0x996633u && (p & 255) > ((p >> 8) & 255);
            },
            5000))
            << std::hex << Skin(*w);
    }
    Screenshot("settings_skin_picture.png");
    Quit(a_);
    const std::string first = a_.folder;
    EXPECT_EQ(Setting(first, 10001, "skin"), "skin-03.jpg");
    EXPECT_EQ(Setting(first, 10001, "Font_Color"), "#CC0000");
    EXPECT_EQ(Setting(first, 10002, "skin"), "40,160,200");

    // The other account on the same computer (the same store) gets its own.
    std::string ring2;
    LogIn(b_, "13800000002", 10002, [&](const std::string& folder) {
        std::filesystem::copy_file(first + "/KivSys.dll", folder + "/KivSys.dll",
                                   std::filesystem::copy_options::overwrite_existing);
        // The login box starts empty, as for an account not remembered.
        sqlite3* db = nullptr;
        if (sqlite3_open((folder + "/KivSys.dll").c_str(), &db) == SQLITE_OK)
            sqlite3_exec(db, "delete from loginer", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        ring2 = MakeRing(folder);
        ASSERT_TRUE(WriteSettings(folder, {{10002, "Sound_FMsgAddress", ring2}}));
    });
    ResetRing(ring2);
    EXPECT_TRUE(SkinIs(b_.main, 0x28A0C8u)) << std::hex << Skin(b_.main);
    ASSERT_NO_FATAL_FAILURE(Deliver(10002, 10001));
    EXPECT_TRUE(waitFor([&] { return RingPlayed(ring2); }, 10000)) << "sounds are on for this account";
    Screenshot("settings_second_account.png");
}

TEST_F(SettingsTest, BlackListAddedInTheClientAndRemovedThroughTheWebApi)
{
    std::string ring, groupRing;
    LogIn(a_, "13800000003", 10003, [&](const std::string& folder) {
        ring = MakeRing(folder);
        groupRing = folder + "/ring-group.wav";
        std::filesystem::create_symlink(folder + "/voice/MsgSound.wav", groupRing);
        ASSERT_TRUE(WriteSettings(folder, {{10003, "Sound_FMsgAddress", ring}, {10003, "Sound_GMsgAddress", groupRing}}));
    });
    ASSERT_EQ(service_.BlackList(10003), (std::set<int32_t>{10005}));
    ResetRing(ring);
    ResetRing(groupRing);
    // The client drops what a black-listed sender says: no sound. A line in
    // a group, taken after it, rings the group's sound: by then the
    // black-listed line has been dealt with.
    ASSERT_NO_FATAL_FAILURE(Deliver(10003, 10005));
    ASSERT_NO_FATAL_FAILURE(Deliver(10003, 10004, 501));
    EXPECT_TRUE(waitFor([&] { return RingPlayed(groupRing); }, 10000)) << "the group's line rang nothing";
    EXPECT_FALSE(RingPlayed(ring));

    // The only friend goes to the black list from the chat window.
    e2e::ScreenWindow chat;
    ASSERT_NO_FATAL_FAILURE(OpenChatOfFirstRow(a_, IDC_BTN_TAB_FRIENDS, IDC_LIST_FRIENDS, &chat));
    ASSERT_EQ(e2e::Items(a_.main, IDC_LIST_FRIENDS).size(), 1u);
    const std::set<unsigned long> before = e2e::VisibleIds();
    ASSERT_TRUE(e2e::ClickControl(chat, kBlockButton));
    e2e::ScreenWindow confirm;
    ASSERT_TRUE(e2e::WaitForWindowWhere([&](const e2e::ScreenWindow& w) { return !before.count(w.id); }, 8000, &confirm))
        << "no confirmation box";
    Screenshot("settings_block_confirm.png");
    ASSERT_TRUE(e2e::Key("Return"));
    ASSERT_TRUE(waitFor([&] { return service_.BlackList(10003).count(10001) == 1; }, 8000))
        << "the black list on the server did not get the friend";
    EXPECT_TRUE(waitFor([&] { return e2e::Items(a_.main, IDC_LIST_FRIENDS).empty(); }, 5000))
        << "the friend is still listed";
    Screenshot("settings_block_added.png");

    // The settings page's list, as the web API gives it: both, with names.
    httplib::Client web(web_.BaseUrl());
    auto list = web.Post("/Chirra_User/get_blackList_pc", "uID=10003", "application/x-www-form-urlencoded");
    ASSERT_TRUE(list);
    EXPECT_NE(list->body.find("\"10001\""), std::string::npos) << list->body;
    EXPECT_NE(list->body.find("\"10005\""), std::string::npos) << list->body;

    // Removed as the settings page removes them: gone from the server's lists.
    auto removed = web.Post("/Chirra_User/del_blackList_pc", "uID=10003&blackIDs=10005,10001",
                            "application/x-www-form-urlencoded");
    ASSERT_TRUE(removed);
    EXPECT_TRUE(service_.BlackList(10003).empty());
    list = web.Post("/Chirra_User/get_blackList_pc", "uID=10003", "application/x-www-form-urlencoded");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->body, "[]");
}
