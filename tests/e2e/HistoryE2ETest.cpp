// The message manager opened from the real program's main window: the
// history button loads it from the history module beside the program, over
// the user's own history; the window can be used, closed and opened again,
// and the program still ends cleanly with it open (the module's windows go
// before the module does).
#include "Common/FileDbMsg.h"
#include "platform/files.h"
#include "tests/e2e/TwoClients.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <thread>

namespace {

using e2e::waitFor;

// The history button of the main window's tool bar (its centre).
const int kHistoryX = 74, kHistoryY = 87;
const int kManagerWidth = 650, kManagerHeight = 500;
// In the manager: the page starts 4 pixels in and 30 down; the time tab.
const int kTimeTabX = 4 + 132, kTimeTabY = 30 + 12;

// Lines between the user and friend 10002 over the last days, in the store
// the program will open for `uid` in `folder`.
void SeedHistory(const std::string& folder, int uid)
{
    SetProgramFolderForTests((folder + "/").c_str());
    {
        CFileDbMsg history;
        ASSERT_EQ(history.Connect(uid), 1);
        history.BeginBatch();
        const time_t now = time(nullptr);
        for (int i = 0; i < 45; ++i) {
            char when[32];
            const time_t at = now - (45 - i) * 3600;
            struct tm tm;
            localtime_r(&at, &tm);
            strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
            const std::string text = "明天的作业 It's line " + std::to_string(i);
            ASSERT_EQ(history.InsertMsg(10002, 1, ("<p>" + text + "</p>").c_str(), i % 2, when, 1, text.c_str()), 1);
        }
        history.EndBatch();
    }
    SetProgramFolderForTests("");
}

class HistoryTest : public e2e::TwoClientsTest {
protected:
    bool WaitForManager(e2e::ScreenWindow* found) { return e2e::WaitForWindow(kManagerWidth, kManagerHeight, 15000, found); }
};

}  // namespace

TEST_F(HistoryTest, ManagerOpensFromTheMainWindowOverTheUsersHistory)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001, [](const std::string& folder) {
        ASSERT_NO_FATAL_FAILURE(SeedHistory(folder, 10001));
    }));

    ASSERT_TRUE(e2e::Click(a_.main.x + kHistoryX, a_.main.y + kHistoryY));
    e2e::ScreenWindow manager;
    ASSERT_TRUE(WaitForManager(&manager)) << "the message manager did not open";
    // Its page loads and fills its tree after the window shows.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    Screenshot("history-e2e-manager.png");

    // The time tab: the last days' lines are under "今天" / "1周以内".
    ASSERT_TRUE(e2e::Click(manager.x + kTimeTabX, manager.y + kTimeTabY));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Screenshot("history-e2e-time.png");

    // Closed and opened again from the same button.
    ASSERT_TRUE(e2e::CloseWindow(manager.id));
    ASSERT_TRUE(waitFor([&] { return !e2e::WaitForWindow(kManagerWidth, kManagerHeight, 0, &manager); }, 5000));
    ASSERT_TRUE(e2e::Click(a_.main.x + kHistoryX, a_.main.y + kHistoryY));
    ASSERT_TRUE(WaitForManager(&manager)) << "the message manager did not open a second time";
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    // The program quits with the manager open, and ends cleanly.
    int status = -1;
    ASSERT_NO_FATAL_FAILURE(Quit(a_, 10000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
