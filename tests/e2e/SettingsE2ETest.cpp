// Settings seen from outside the program: each account on one computer gets
// its own skin, chat font and message sound back at login; a skin chosen in
// the skin chooser reaches the main window and an open chat window at once
// and is kept for the next run; a friend the client puts on the black list
// shows in the web API's black list, and removals through the web API leave
// the server's lists.
#include "tests/e2e/TwoClients.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using e2e::Client;
using e2e::kFirstRowX;
using e2e::kFirstRowY;
using e2e::waitFor;
using e2e::WriteSettings;

// In the main window: the skin button and the head of a list's first row.
const int kSkinButtonX = 184, kSkinButtonY = 87;
const int kFirstHeadX = 32;
// The skin chooser (300 x 230) hangs below the skin button, its right edge
// at the button's; the third theme picture in it.
const int kChooserWidth = 300, kChooserHeight = 230;
const int kThirdSkinX = 146, kThirdSkinY = 57;
// The chat window's black-list button.
const int kBlockButtonX = 345, kBlockButtonY = 46;

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
    SettingsTest() { screenshotDelayMs_ = 300; }

    // A one-to-one message for `uid` from `from`, handed over with the
    // client's next heartbeat; waits until the client took it.
    void Deliver(int uid, int from)
    {
        standin::PendingMessage m;
        m.fromid = from;
        m.toid = uid;
        m.gid = 1;
        m.sendTime = "2026-01-01 10:00:00";
        m.content = "%3Cspan%3Ehello%3C%2Fspan%3E";
        m.msgType = 0;
        service_.AddPending(uid, m);
        ASSERT_TRUE(waitFor([&] { return service_.Pending(uid).empty(); }, 20000)) << "not delivered";
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
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
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(Pixel(a_.main.x + 3, a_.main.y + 20), 0x996633u);

    // Sounds are off for this account: a message comes and nothing plays.
    Deliver(10001, 10002);
    EXPECT_FALSE(RingPlayed(ring));

    // A chat window shows the skin, and text typed in it the own font colour.
    e2e::ScreenWindow chat;
    ASSERT_NO_FATAL_FAILURE(OpenFirstChat(a_, e2e::kFriendsTabX, e2e::kFriendsTabY, &chat));
    ASSERT_TRUE(e2e::MoveWindow(chat, 100, 100));
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_EQ(Pixel(chat.x + 3, chat.y + 20), 0x996633u);
    ASSERT_TRUE(e2e::ClickToType(chat, chat.x + 150, chat.y + chat.height - 80));
    ASSERT_TRUE(e2e::Type("FONT CHECK WWW"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_GT(RedPixels(chat.x + 8, chat.y + chat.height - 125, 330, 85), 40) << "typed text is not in the chat font";
    Screenshot("settings_skin_colour.png");

    // The skin chooser: the third picture goes to both windows at once.
    ASSERT_TRUE(e2e::Click(a_.main.x + kSkinButtonX, a_.main.y + kSkinButtonY));
    e2e::ScreenWindow chooser;
    ASSERT_TRUE(e2e::WaitForWindow(kChooserWidth, kChooserHeight, 8000, &chooser)) << "no skin chooser";
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Screenshot("settings_skin_chooser.png");
    ASSERT_TRUE(e2e::Click(chooser.x + kThirdSkinX, chooser.y + kThirdSkinY));
    ASSERT_TRUE(waitFor([&] { return Pixel(a_.main.x + 3, a_.main.y + 20) != 0x996633u; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    // Shown again, the chat window stands where the program last put it.
    ASSERT_TRUE(WaitForChat(0, &chat));
    for (uint32_t p : {Pixel(a_.main.x + 3, a_.main.y + 20), Pixel(chat.x + 3, chat.y + 20)}) {
        // The purple picture: more blue than green.
        EXPECT_GT(p & 255, (p >> 8) & 255) << std::hex << p;
        EXPECT_NE(p, 0x996633u);
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
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(Pixel(b_.main.x + 3, b_.main.y + 20), 0x28A0C8u);
    Deliver(10002, 10001);
    EXPECT_TRUE(RingPlayed(ring2)) << "sounds are on for this account";
    Screenshot("settings_second_account.png");
}

TEST_F(SettingsTest, BlackListAddedInTheClientAndRemovedThroughTheWebApi)
{
    std::string ring;
    LogIn(a_, "13800000003", 10003, [&](const std::string& folder) {
        ring = MakeRing(folder);
        ASSERT_TRUE(WriteSettings(folder, {{10003, "Sound_FMsgAddress", ring}}));
    });
    ASSERT_EQ(service_.BlackList(10003), (std::set<int32_t>{10005}));
    ResetRing(ring);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // The client drops what a black-listed sender says: no sound.
    Deliver(10003, 10005);
    EXPECT_FALSE(RingPlayed(ring));

    // The only friend goes to the black list from the chat window.
    ASSERT_TRUE(e2e::Click(a_.main.x + e2e::kFriendsTabX, a_.main.y + e2e::kFriendsTabY));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // A pixel of the first row's head picture.
    const uint32_t rowBefore = Pixel(a_.main.x + kFirstHeadX, a_.main.y + kFirstRowY);
    ASSERT_TRUE(e2e::DoubleClick(a_.main.x + kFirstRowX, a_.main.y + kFirstRowY));
    e2e::ScreenWindow chat;
    ASSERT_TRUE(WaitForChat(0, &chat)) << "no chat window";
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(e2e::Click(chat.x + kBlockButtonX, chat.y + kBlockButtonY));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    Screenshot("settings_block_confirm.png");
    ASSERT_TRUE(e2e::Key("Return"));
    ASSERT_TRUE(waitFor([&] { return service_.BlackList(10003).count(10001) == 1; }, 8000))
        << "the black list on the server did not get the friend";
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_NE(rowBefore, 0xFFFFFFu);
    EXPECT_EQ(Pixel(a_.main.x + kFirstHeadX, a_.main.y + kFirstRowY), 0xFFFFFFu) << "the friend is still listed";
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
