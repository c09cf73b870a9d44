// Two copies of the real program chatting through the stand-in service: A
// opens a chat with friend B from the friend list, types a line into the
// chat page and sends it with Enter; B's heartbeat fetches it and queues it
// (no chat open), and B's read-message hotkey opens the chat with A, which
// replays it. Both quit the way a person closes the main window, and each
// one's history holds the line (sent by A, received by B).
#include "tests/e2e/Clipboard.h"
#include "tests/e2e/TwoClients.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using e2e::Client;
using e2e::kFriendsTabX;
using e2e::kFriendsTabY;
using e2e::Title;
using e2e::waitFor;

// The write box of the chat page lies above the bottom bar (关闭/发送).
const int kWriteX = 150, kWriteFromBottom = 80;

const char kLine[] = "It's e2e hello";

// The (type, tagmsg) rows of a history store.
std::vector<std::pair<int, std::string>> HistoryRows(const std::string& file)
{
    std::vector<std::pair<int, std::string>> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "select type, tagmsg from history_msg", -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                const unsigned char* text = sqlite3_column_text(st, 1);
                rows.emplace_back(sqlite3_column_int(st, 0), text ? reinterpret_cast<const char*>(text) : "");
            }
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows;
}

bool HasLine(const std::vector<std::pair<int, std::string>>& rows, int type)
{
    for (const auto& row : rows)
        if (row.first == type && row.second.find(kLine) != std::string::npos) return true;
    return false;
}

std::string Describe(const std::vector<std::pair<int, std::string>>& rows)
{
    std::string out;
    for (const auto& row : rows) out += "\n  type " + std::to_string(row.first) + ": " + row.second;
    return out.empty() ? " (none)" : out;
}

class ChatTest : public e2e::TwoClientsTest {};

}  // namespace

TEST_F(ChatTest, ALineTypedByOneFriendReachesTheOtherAndBothHistories)
{
    // A (10001) moves aside, so that both main windows are in sight.
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    ASSERT_TRUE(e2e::MoveWindow(a_.main, a_.main.x - 320, a_.main.y));
    ASSERT_NO_FATAL_FAILURE(LogIn(b_, "13800000002", 10002, [](const std::string& folder) {
        ASSERT_TRUE(e2e::GiveReadMsgHotKey(folder, 10002));
    }));

    // A opens the chat with B (the first of A's friends).
    e2e::ScreenWindow chatA;
    ASSERT_NO_FATAL_FAILURE(OpenFirstChat(a_, kFriendsTabX, kFriendsTabY, &chatA));
    EXPECT_EQ(Title(chatA.id).rfind("与 好友 ", 0), 0u) << "title: " << Title(chatA.id);

    // The page loads after the window shows; then the line is typed into the
    // write box and, once the box holds it, sent with Enter (the window
    // takes Enter before the page has handled keys still on their way).
    std::string shown;
    ASSERT_TRUE(waitFor(
        [&] {
            return e2e::ClickToType(chatA, chatA.x + kWriteX, chatA.y + chatA.height - kWriteFromBottom) &&
                   e2e::TypeLanded(kLine, &shown);
        },
        20000))
        << "the write box holds [" << shown << "]";
    ASSERT_TRUE(e2e::Key("Return"));
    // (The line waits at the service only until B's next heartbeat, which
    // may take it before the test looks.)
    ASSERT_TRUE(waitFor([&] { return !service_.Pending(10002).empty() || !service_.Fetched(10002).empty(); }, 5000))
        << "A's line did not reach the service";
    Screenshot("chat-e2e-a.png");

    // B's heartbeat (every 7.2 s) takes the line from the service; with no
    // chat open it is queued. B's hotkey opens the newest unread sender's
    // chat, which replays it.
    ASSERT_TRUE(waitFor([&] { return !service_.Fetched(10002).empty(); }, 10000)) << "B did not fetch the line";
    // B has the line once its heartbeat has handed it to the main window,
    // which the service does not see: a hotkey pressed before that finds no
    // unread line and opens nothing, and is pressed again, as a person would.
    e2e::ScreenWindow chatB;
    bool opened = false;
    for (int press = 0; press < 3 && !opened; ++press) {
        ASSERT_TRUE(e2e::Key("ctrl+alt+z"));
        opened = WaitForChat(chatA.id, &chatB, 5000);
    }
    ASSERT_TRUE(opened) << "the hotkey opened no chat on B";
    EXPECT_EQ(Title(chatB.id).rfind("与 好友 ", 0), 0u) << "title: " << Title(chatB.id);
    e2e::SettledScreen(chatB.x, chatB.y, chatB.width, chatB.height);
    Screenshot("chat-e2e-b.png");

    // Both quit; then their history stores are read.
    ASSERT_NO_FATAL_FAILURE(Quit(a_));
    ASSERT_NO_FATAL_FAILURE(Quit(b_));
    const auto sent = HistoryRows(a_.folder + "/10001/MsgRecords.dll");
    EXPECT_TRUE(HasLine(sent, 1)) << "A's history:" << Describe(sent);
    const auto received = HistoryRows(b_.folder + "/10002/MsgRecords.dll");
    EXPECT_TRUE(HasLine(received, 0)) << "B's history:" << Describe(received);
}
