// Two copies of the real program against one stand-in service and web
// server: each client runs from a folder of its own with its own Lum.ini and
// is logged in by typing into its login dialog.
#pragma once

#include "platform/uiapp.h"
#include "Lum/LumResource.h"
#include "tests/e2e/Clipboard.h"
#include "tests/e2e/Desktop.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace e2e {

// In the main window: the drop-down under the quick-search box is as wide
// as the box.
const int kDropDownWidth = 157;
// A chat window is at least this large.
const int kChatMinWidth = 540, kChatMinHeight = 450;

inline bool IsChat(const ScreenWindow& w) { return w.width >= kChatMinWidth && w.height >= kChatMinHeight; }

// Settings rows (user id, key, value) written into a program folder's system
// store before the program starts, as an earlier run on the same computer
// left them (the program adds its other tables).
inline bool WriteSettings(const std::string& folder,
                          const std::vector<std::tuple<int, std::string, std::string>>& rows)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open((folder + "/KivSys.dll").c_str(), &db) == SQLITE_OK;
    ok = ok && sqlite3_exec(db,
                            "CREATE TABLE IF NOT EXISTS Prefor (userid INTEGER,key TEXT ,value TEXT, "
                            "PRIMARY KEY (userid, key) )",
                            nullptr, nullptr, nullptr) == SQLITE_OK;
    for (const auto& row : rows) {
        sqlite3_stmt* st = nullptr;
        ok = ok && sqlite3_prepare_v2(db, "insert or replace into Prefor values (?,?,?)", -1, &st, nullptr) == SQLITE_OK;
        if (!st) break;
        sqlite3_bind_int(st, 1, std::get<0>(row));
        sqlite3_bind_text(st, 2, std::get<1>(row).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, std::get<2>(row).c_str(), -1, SQLITE_TRANSIENT);
        ok = ok && sqlite3_step(st) == SQLITE_DONE;
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return ok;
}

// Gives `uid` the read-message hotkey Ctrl+Alt+Z in a program folder.
inline bool GiveReadMsgHotKey(const std::string& folder, int uid)
{
    return WriteSettings(folder, {{uid, "Hotkey_ReadMsg", "Ctrl+Alt+Z"}});
}

struct Client {
    std::string folder;
    pid_t pid = -1;
    ScreenWindow main;
};

class TwoClientsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service_.LoadSeedFile(LUM_SEED_FILE));
        ASSERT_GT(service_.Start(0), 0);
        // Files (heads, topic line) and the web API over the service's data.
        standin::RegisterWebApi(web_, service_);
        ASSERT_GT(web_.Start(0, LUM_STANDIN_WWW), 0);
        ASSERT_TRUE(lumui::Start());
        std::filesystem::create_directories(LUM_SCREENSHOT_DIR);
    }

    void TearDown() override
    {
        for (Client* c : {&a_, &b_}) {
            Stop(c->pid, 500);
            RemoveFolder(c->folder);
        }
        web_.Stop();
    }

    // Starts a copy of the program in a folder of its own (`prepare` may put
    // files there first), types the account and password into its login
    // dialog and waits for its main window.
    void LogIn(Client& c, const std::string& account, int32_t uid,
               const std::function<void(const std::string&)>& prepare = nullptr)
    {
        c.folder = CopyProgramFolder(LUM_BIN_DIR);
        ASSERT_FALSE(c.folder.empty());
        // Each client is a desktop user of its own: the files it used last,
        // on which the toolkit's file dialogs open, stay in its folder, so
        // that another client's or an earlier run's choices never change
        // how its dialogs open.
        setenv("XDG_DATA_HOME", (c.folder + "/.local/share").c_str(), 1);
        if (prepare) prepare(c.folder);
        {
            std::ofstream ini(c.folder + "/Lum.ini");
            ini << "[Service]\nHost=127.0.0.1\nPort=" << service_.Port() << "\n[Web]\nBaseUrl=" << web_.BaseUrl()
                << "\n";
        }
        c.pid = Start(c.folder + "/Lum");
        ASSERT_GT(c.pid, 0);
        ScreenWindow login;
        ASSERT_TRUE(WaitForWindow(kLoginWidth, kLoginHeight, 20000, &login)) << "no login dialog for " << account;
        ASSERT_TRUE(TypeLogin(login, account, "123456"));
        ASSERT_TRUE(waitFor([&] { return service_.IsOnline(uid); }, 15000)) << account << " did not log in";
        // The main window that is not the other client's, once it stands
        // where the login put it: at the login window's place.
        const unsigned long other = (&c == &a_ ? b_ : a_).main.id;
        ASSERT_TRUE(WaitForWindowWhere(
            [&](const ScreenWindow& w) {
                return w.width == kMainWidth && w.height == kMainHeight && w.id != other && w.x == login.x &&
                       w.y == login.y;
            },
            15000, &c.main))
            << "no main window for " << account;
    }

    // Closes the main window as a person does and waits up to `timeoutMs` for
    // the program to end; its wait status in `status` when asked for.
    void Quit(Client& c, int timeoutMs = 8000, int* status = nullptr)
    {
        ASSERT_TRUE(CloseWindow(c.main.id));
        int ended = -1;
        ASSERT_TRUE(waitFor(
            [&] {
                const pid_t done = waitpid(c.pid, &ended, WNOHANG);
                return done == c.pid || done < 0;
            },
            timeoutMs))
            << "the program did not end";
        c.pid = -1;
        // Its window is gone (the display may give its id to the next window).
        c.main = ScreenWindow();
        if (status) *status = ended;
    }

    // A picture of the whole screen in the screenshot folder.
    void Screenshot(const std::string& name)
    {
        lumui::SaveScreenImage((std::string(LUM_SCREENSHOT_DIR) + "/" + name).c_str());
    }

    // A chat window other than `except`, waited for up to `timeoutMs`.
    static bool WaitForChat(unsigned long except, ScreenWindow* chat, int timeoutMs = 10000)
    {
        return WaitForWindowWhere([&](const ScreenWindow& w) { return IsChat(w) && w.id != except; }, timeoutMs,
                                  chat);
    }

    // Shows a tab of the client's main window (its button `tab`),
    // double-clicks the first row of the tab's list (`list`) as a person
    // does and waits for the chat window that opens.
    void OpenChatOfFirstRow(const Client& c, int tab, int list, ScreenWindow* chat)
    {
        const std::set<unsigned long> before = VisibleIds();
        ASSERT_TRUE(ClickControl(c.main, tab));
        // The list shows once its tab is chosen, its rows once the replies are in.
        Control shown;
        ASSERT_TRUE(FindControl(c.main, list, &shown, 10000)) << "the list did not show";
        Item row;
        ASSERT_TRUE(WaitForItem(
            c.main, list, [&](const Item& i) { return i.y >= shown.y && i.y + i.height <= shown.y + shown.height; },
            10000, &row))
            << "the list has no row";
        auto opened = [&](int timeoutMs) {
            return WaitForWindowWhere([&](const ScreenWindow& w) { return !before.count(w.id) && IsChat(w); },
                                      timeoutMs, chat);
        };
        ASSERT_TRUE(DoubleClick(row.x + row.width / 2, row.y + row.height / 2));
        // Two clicks a busy program reads too far apart are no double click:
        // then the row is double-clicked again, as a person would.
        if (!opened(10000)) {
            ASSERT_TRUE(DoubleClick(row.x + row.width / 2, row.y + row.height / 2));
            if (!opened(10000)) Screenshot("e2e_no_chat.png");
        }
        ASSERT_TRUE(IsChat(*chat) && !before.count(chat->id)) << "no chat window opened for " << row.text;
    }

    // Clicks the middle of a page element of a window and waits until the
    // window has the keyboard, to type into the element.
    static bool ClickToTypeInto(const ScreenWindow& window, const std::string& selector)
    {
        ScreenWindow box;
        return ElementRect(window, selector, &box, 20000) &&
               ClickToType(window, box.x + box.width / 2, box.y + box.height / 2);
    }

    // The text a page element of a window shows ("frame >>> body" for the
    // page of a frame) contains `text`, waiting up to `timeoutMs`.
    static bool PageShows(const ScreenWindow& window, const std::string& selector, const std::string& text,
                          int timeoutMs = 10000)
    {
        return waitFor([&] { return ElementText(window, selector).find(text) != std::string::npos; }, timeoutMs);
    }

    // A click that never lands on the pointer's own spot (xdotool would wait
    // for a move that does not come): a pixel left, on and right in turn.
    bool Click(int x, int y) { return e2e::Click(x + NextShift(), y); }
    bool PointAt(int x, int y) { return e2e::PointAt(x + NextShift(), y); }

    // Types a full path into a file dialog and returns once the dialog's
    // location entry holds exactly that path. The "/" it starts with opens
    // the location entry in the dialog's folder view, whichever view the
    // dialog opened in; keys typed while the dialog still sets the entry up
    // can be lost, and TypeLanded types the path again then.
    static bool TypeLocation(const ScreenWindow& dialog, const std::string& path)
    {
        if (!Focus(dialog.id) || !waitFor([&] { return HasFocus(dialog.id); }, 5000) || !Type(path)) return false;
        std::string shown;
        if (TypeLanded(path, &shown)) return true;
        ADD_FAILURE() << "the dialog's location shows [" << shown << "], not [" << path << "]";
        return false;
    }

    // Clicks the entry of a popup menu window that `match` takes.
    template <class Match> void ClickEntry(const ScreenWindow& menu, Match match)
    {
        Item entry;
        ASSERT_TRUE(WaitForItem(menu, 0, match, 5000, &entry)) << "no such menu entry";
        ASSERT_TRUE(Click(entry.x + entry.width / 2, entry.y + entry.height / 2));
    }

    // Gives a box the keyboard, as the window manager does for the window a
    // person clicks, and presses Enter (its default button); true once the
    // box has gone.
    static bool AnswerBox(const ScreenWindow& box)
    {
        return Focus(box.id) && waitFor([&] { return HasFocus(box.id); }, 5000) && Key("Return") &&
               WaitForGone(box.id, 5000);
    }

    standin::StandinService service_;
    standin::StandinWeb web_{&service_};
    Client a_, b_;

private:
    int NextShift() { return (clicks_++ % 3) - 1; }
    int clicks_ = 0;
};

}  // namespace e2e
