// The message manager opened from the real program's main window: the
// history button loads it from the history module beside the program, over
// the user's own history; the window can be used, closed and opened again,
// and the program still ends cleanly with it open (the module's windows go
// before the module does).
#include "Common/stores/FileDbMsg.h"
#include "platform/files.h"
#include "tests/e2e/TwoClients.h"
#include "tests/platform/TestServices.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

using e2e::waitFor;

const int kManagerWidth = 650, kManagerHeight = 500;

// Lines between the user and friend 10002 over the last days, in the store
// the program will open for `uid` in `folder`.
void SeedHistory(const std::string& folder, int uid)
{
    TestServices services;
    services.SetProgramFolder(folder + "/");
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
}

class HistoryTest : public e2e::TwoClientsTest {
protected:
    bool WaitForManager(e2e::ScreenWindow* found) { return e2e::WaitForWindow(kManagerWidth, kManagerHeight, 15000, found); }

    // The manager's page has loaded and filled its tree of contacts.
    static bool Filled(const e2e::ScreenWindow& manager)
    {
        return e2e::PageLoaded(manager) &&
               waitFor([&] { return e2e::ElementText(manager, "#treeType").find("我的好友") != std::string::npos; },
                       15000);
    }
};

}  // namespace

TEST_F(HistoryTest, ManagerOpensFromTheMainWindowOverTheUsersHistory)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001, [](const std::string& folder) {
        ASSERT_NO_FATAL_FAILURE(SeedHistory(folder, 10001));
    }));

    ASSERT_TRUE(e2e::ClickControl(a_.main, IDC_BTN_HISTORY));
    e2e::ScreenWindow manager;
    ASSERT_TRUE(WaitForManager(&manager)) << "the message manager did not open";
    // Its page loads and fills its tree after the window shows.
    ASSERT_TRUE(Filled(manager)) << "the manager's tree stayed empty";
    Screenshot("history-e2e-manager.png");

    // The time tab: the last days' lines are under "今天" / "1周以内".
    ASSERT_TRUE(e2e::ClickElement(manager, "#tabTime"));
    EXPECT_TRUE(waitFor(
        [&] {
            const std::string tree = e2e::ElementText(manager, "#treeTime");
            return tree.find("今天") != std::string::npos || tree.find("1周以内") != std::string::npos;
        },
        10000))
        << e2e::ElementText(manager, "#treeTime");
    Screenshot("history-e2e-time.png");

    // Closed and opened again from the same button.
    ASSERT_TRUE(e2e::CloseWindow(manager.id));
    ASSERT_TRUE(waitFor([&] { return !e2e::WaitForWindow(kManagerWidth, kManagerHeight, 0, &manager); }, 5000));
    ASSERT_TRUE(e2e::ClickControl(a_.main, IDC_BTN_HISTORY));
    ASSERT_TRUE(WaitForManager(&manager)) << "the message manager did not open a second time";
    ASSERT_TRUE(Filled(manager)) << "the manager's tree stayed empty the second time";

    // The program quits with the manager open, and ends cleanly.
    int status = -1;
    ASSERT_NO_FATAL_FAILURE(Quit(a_, 10000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
