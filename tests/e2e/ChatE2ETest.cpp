// Two copies of the real program chatting through the stand-in service: A
// opens a chat with friend B from the friend list, types a line into the
// chat page and sends it with Enter; B's heartbeat fetches it and queues it
// (no chat open), and B's read-message hotkey opens the chat with A, which
// replays it. Both quit the way a person closes the main window, and each
// one's history holds the line (sent by A, received by B).
#include "platform/uiapp.h"
#include "tests/e2e/TwoClients.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <utility>
// Last: its macros (None, Success, ...) clash with names in the headers above.
#include <X11/Xlib.h>

extern char** environ;

namespace {

using e2e::Client;
using e2e::kFriendsTabX;
using e2e::kFriendsTabY;
using e2e::waitFor;

// In the main window: the first row of the list.
const int kFirstRowX = 100, kFirstRowY = 158 + 26;
// A chat window is at least this large.
const int kChatMinWidth = 540, kChatMinHeight = 450;
// The write box of the chat page lies above the bottom bar (关闭/发送).
const int kWriteX = 150, kWriteFromBottom = 80;

const char kLine[] = "It's e2e hello";

bool DoubleClick(int x, int y)
{
    std::vector<std::string> args = {"xdotool",  "mousemove", "--sync", std::to_string(x), std::to_string(y), "click",
                                     "--repeat", "2",         "--delay", "80",             "1"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The window's UTF-8 title (_NET_WM_NAME, else WM_NAME).
std::string Title(unsigned long id)
{
    std::string title;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return title;
    for (const char* name : {"_NET_WM_NAME", "WM_NAME"}) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, id, XInternAtom(display, name, False), 0, 1024, False, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            data) {
            if (format == 8) title.assign(reinterpret_cast<char*>(data), count);
            XFree(data);
        }
        if (!title.empty()) break;
    }
    XCloseDisplay(display);
    return title;
}

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

// A settings store in the program folder that gives `uid` the
// read-message hotkey Ctrl+Alt+Z (the program adds its other tables).
bool GiveReadMsgHotKey(const std::string& folder, int uid)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open((folder + "/KivSys.dll").c_str(), &db) == SQLITE_OK;
    const std::string sql =
        "CREATE TABLE Prefor (userid INTEGER,key TEXT ,value TEXT, PRIMARY KEY (userid, key) );"
        "insert into Prefor values (" +
        std::to_string(uid) + ",'Hotkey_ReadMsg','Ctrl+Alt+Z')";
    ok = ok && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

class ChatTest : public e2e::TwoClientsTest {
protected:
    // A chat window other than `except`, waited for up to 10 s.
    static bool WaitForChat(unsigned long except, e2e::ScreenWindow* chat)
    {
        return waitFor(
            [&] {
                for (const e2e::ScreenWindow& w : e2e::VisibleWindows())
                    if (w.width >= kChatMinWidth && w.height >= kChatMinHeight && w.id != except) {
                        *chat = w;
                        return true;
                    }
                return false;
            },
            10000);
    }

    // Double-clicks the first friend in the client's friend list and waits
    // for its chat window.
    void OpenFirstFriendChat(const Client& c, e2e::ScreenWindow* chat)
    {
        ASSERT_TRUE(e2e::Click(c.main.x + kFriendsTabX, c.main.y + kFriendsTabY));
        // The rows are filled in after the tab shows.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ASSERT_TRUE(DoubleClick(c.main.x + kFirstRowX, c.main.y + kFirstRowY));
        ASSERT_TRUE(WaitForChat(0, chat)) << "no chat window opened";
    }

    // Closes the main window as a person does and waits for the program to end.
    void Quit(Client& c)
    {
        ASSERT_TRUE(e2e::CloseWindow(c.main.id));
        ASSERT_TRUE(waitFor([&] { return !e2e::IsRunning(c.pid); }, 8000)) << "the program did not end";
        c.pid = -1;
    }

    void Screenshot(const std::string& name)
    {
        lumui::SaveScreenImage((std::string(LUM_SCREENSHOT_DIR) + "/" + name).c_str());
    }

};

}  // namespace

TEST_F(ChatTest, ALineTypedByOneFriendReachesTheOtherAndBothHistories)
{
    // A (10001) moves aside, so that both main windows are in sight.
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    ASSERT_TRUE(e2e::MoveWindow(a_.main.id, a_.main.x - 320, a_.main.y));
    a_.main.x -= 320;
    ASSERT_NO_FATAL_FAILURE(LogIn(b_, "13800000002", 10002, [](const std::string& folder) {
        ASSERT_TRUE(GiveReadMsgHotKey(folder, 10002));
    }));

    // A opens the chat with B (the first of A's friends).
    e2e::ScreenWindow chatA;
    ASSERT_NO_FATAL_FAILURE(OpenFirstFriendChat(a_, &chatA));
    EXPECT_EQ(Title(chatA.id).rfind("与 好友 ", 0), 0u) << "title: " << Title(chatA.id);

    // The page loads after the window shows; then the line is typed into the
    // write box and sent with Enter.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ASSERT_TRUE(e2e::Click(chatA.x + kWriteX, chatA.y + chatA.height - kWriteFromBottom));
    ASSERT_TRUE(e2e::Type(kLine));
    ASSERT_TRUE(e2e::Key("Return"));
    ASSERT_TRUE(waitFor([&] { return !service_.Pending(10002).empty(); }, 5000)) << "A's line did not reach the service";
    Screenshot("chat-e2e-a.png");

    // B's heartbeat (every 7.2 s) takes the line from the service; with no
    // chat open it is queued. B's hotkey opens the newest unread sender's
    // chat, which replays it.
    ASSERT_TRUE(waitFor([&] { return service_.Pending(10002).empty(); }, 10000)) << "B did not fetch the line";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(e2e::Key("ctrl+alt+z"));
    e2e::ScreenWindow chatB;
    ASSERT_TRUE(WaitForChat(chatA.id, &chatB)) << "the hotkey opened no chat on B";
    EXPECT_EQ(Title(chatB.id).rfind("与 好友 ", 0), 0u) << "title: " << Title(chatB.id);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Screenshot("chat-e2e-b.png");

    // Both quit; then their history stores are read.
    ASSERT_NO_FATAL_FAILURE(Quit(a_));
    ASSERT_NO_FATAL_FAILURE(Quit(b_));
    const auto sent = HistoryRows(a_.folder + "/10001/MsgRecords.dll");
    EXPECT_TRUE(HasLine(sent, 1)) << "A's history:" << Describe(sent);
    const auto received = HistoryRows(b_.folder + "/10002/MsgRecords.dll");
    EXPECT_TRUE(HasLine(received, 0)) << "B's history:" << Describe(received);
}
