// Two copies of the real program against one stand-in service: user B's
// friend list shows friend A online; A quits, and B's heartbeat brings the
// change, so that B's list draws A as offline.
#include "platform/uiapp.h"
#include "tests/e2e/Desktop.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

const int kLoginWidth = 237, kLoginHeight = 589, kMainWidth = 202, kMainHeight = 521;
// In the main window: the friends tab, and the list below the tabs.
const int kFriendsTabX = 99, kFriendsTabY = 144;
const int kListX = 2, kListY = 158, kListWidth = 197, kListHeight = 335, kRowHeight = 52;

template <class F> bool waitFor(F done, int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

struct Client {
    std::string folder;
    pid_t pid = -1;
    e2e::ScreenWindow main;
};

class PresenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service_.LoadSeedFile(LUM_SEED_FILE));
        ASSERT_GT(service_.Start(0), 0);
        // The web server only reads its folder: heads, topic line.
        ASSERT_GT(web_.Start(0, LUM_STANDIN_WWW), 0);
        ASSERT_TRUE(lumui::Start());
        std::filesystem::create_directories(LUM_SCREENSHOT_DIR);
    }

    void TearDown() override
    {
        for (Client* c : {&a_, &b_}) {
            e2e::Stop(c->pid, 500);
            if (!c->folder.empty()) std::filesystem::remove_all(c->folder);
        }
        web_.Stop();
    }

    // Starts a copy of the program in a folder of its own, types the account
    // and password into its login dialog and waits for its main window.
    void LogIn(Client& c, const std::string& account, int32_t uid)
    {
        c.folder = e2e::CopyProgramFolder(LUM_BIN_DIR);
        ASSERT_FALSE(c.folder.empty());
        {
            std::ofstream ini(c.folder + "/Lum.ini");
            ini << "[Service]\nHost=127.0.0.1\nPort=" << service_.Port() << "\n[Web]\nBaseUrl=" << web_.BaseUrl()
                << "\n";
        }
        c.pid = e2e::Start(c.folder + "/Lum");
        ASSERT_GT(c.pid, 0);
        e2e::ScreenWindow login;
        ASSERT_TRUE(e2e::WaitForWindow(kLoginWidth, kLoginHeight, 20000, &login)) << "no login dialog for " << account;
        ASSERT_TRUE(e2e::Click(login.x + 110, login.y + 222));
        ASSERT_TRUE(e2e::Type(account));
        ASSERT_TRUE(e2e::Click(login.x + 110, login.y + 262));
        ASSERT_TRUE(e2e::Type("123456"));
        ASSERT_TRUE(e2e::Click(login.x + 118, login.y + 340));
        ASSERT_TRUE(waitFor([&] { return service_.IsOnline(uid); }, 15000)) << account << " did not log in";
        // The main window that is not the other client's.
        const unsigned long other = (&c == &a_ ? b_ : a_).main.id;
        ASSERT_TRUE(waitFor(
            [&] {
                for (const e2e::ScreenWindow& w : e2e::VisibleWindows())
                    if (w.width == kMainWidth && w.height == kMainHeight && w.id != other) {
                        c.main = w;
                        return true;
                    }
                return false;
            },
            15000))
            << "no main window for " << account;
    }

    // The rows of the list whose pixels differ between two pictures of it.
    static std::vector<int> ChangedRows(const std::vector<uint32_t>& before, const std::vector<uint32_t>& after)
    {
        std::vector<int> rows;
        for (size_t k = 0; k < before.size() && k < after.size(); ++k) {
            const int row = static_cast<int>(k / kListWidth) / kRowHeight;
            if (before[k] != after[k] && (rows.empty() || rows.back() != row)) rows.push_back(row);
        }
        return rows;
    }

    std::vector<uint32_t> FriendList(const Client& c)
    {
        return e2e::GrabScreen(c.main.x + kListX, c.main.y + kListY, kListWidth, kListHeight);
    }

    // The friend list once it has stopped changing (rows and heads arrive
    // after the main window shows).
    std::vector<uint32_t> SettledFriendList(const Client& c)
    {
        std::vector<uint32_t> last = FriendList(c);
        auto since = std::chrono::steady_clock::now();
        const auto until = since + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::vector<uint32_t> now = FriendList(c);
            if (now != last) {
                last = now;
                since = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - since > std::chrono::milliseconds(800)) {
                break;
            }
        }
        return last;
    }

    void Screenshot(const std::string& name)
    {
        lumui::SaveScreenImage((std::string(LUM_SCREENSHOT_DIR) + "/" + name).c_str());
    }

    standin::StandinService service_;
    standin::StandinWeb web_;
    Client a_, b_;
};

}  // namespace

TEST_F(PresenceTest, AFriendWhoQuitsIsDrawnOfflineByTheOther)
{
    // A (10001) first; its window moves aside, so that both are in sight.
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    ASSERT_TRUE(e2e::MoveWindow(a_.main.id, a_.main.x - 320, a_.main.y));
    a_.main.x -= 320;
    ASSERT_NO_FATAL_FAILURE(LogIn(b_, "13800000002", 10002));
    ASSERT_GE(b_.main.x, a_.main.x + kMainWidth) << "the two main windows overlap";

    // B's friends: A (online) and 10005 (never logged in).
    ASSERT_TRUE(e2e::Click(b_.main.x + kFriendsTabX, b_.main.y + kFriendsTabY));
    const std::vector<uint32_t> online = SettledFriendList(b_);
    ASSERT_FALSE(online.empty());
    Screenshot("presence-online.png");

    // A quits the way a person closes the window; its exit call takes it
    // offline in the service at once, and B hears of it on a heartbeat
    // (every 7.2 s).
    ASSERT_TRUE(e2e::CloseWindow(a_.main.id));
    ASSERT_TRUE(waitFor([&] { return !service_.IsOnline(10001); }, 10000)) << "A's exit did not reach the service";
    const bool redrawn = waitFor([&] { return FriendList(b_) != online; }, 12000);
    Screenshot("presence-offline.png");
    EXPECT_TRUE(redrawn) << "B's friend list did not change after A went offline";
    // Only A's row (the first: the list keeps the order of the reply) is
    // drawn anew; 10005's row stays as it was.
    EXPECT_EQ(ChangedRows(online, SettledFriendList(b_)), std::vector<int>{0});
    EXPECT_TRUE(e2e::IsRunning(b_.pid));
}
