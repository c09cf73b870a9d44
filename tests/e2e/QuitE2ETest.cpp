// The real program quits cleanly after its lists opened feature windows:
// a friend's card opened from the friend list's menu ("查看资料") is still
// open when the user closes the main window, and the program ends with exit
// code 0 (its card module is unloaded while the window layer still stands,
// so the card's module does not close its window after the layer is gone).
#include "base/MenuCommands.h"
#include "tests/e2e/TwoClients.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <set>

namespace {

using e2e::Item;
using e2e::ScreenWindow;

class QuitTest : public e2e::TwoClientsTest {};

}  // namespace

TEST_F(QuitTest, QuittingWithACardOpenFromTheFriendListEndsCleanly)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    ASSERT_TRUE(e2e::ClickControl(a_.main, IDC_BTN_TAB_FRIENDS));
    // The rows are filled in once the replies are in.
    Item row;
    ASSERT_TRUE(e2e::WaitForItem(a_.main, IDC_LIST_FRIENDS, [](const Item& i) { return !i.text.empty(); }, 10000, &row))
        << "no friend row";

    // The friend menu's "查看资料" opens the friend's card: a new window of 500 x 400.
    ASSERT_TRUE(Click(row.x + row.width / 2, row.y + row.height / 2));
    const std::set<unsigned long> before = e2e::VisibleIds();
    ASSERT_TRUE(e2e::RightClick(row.x + row.width / 2 + 2, row.y + row.height / 2));
    ScreenWindow menu;
    ASSERT_TRUE(e2e::WaitForWindowWhere([&](const ScreenWindow& w) { return !before.count(w.id); }, 5000, &menu))
        << "no menu on " << row.text;
    ASSERT_NO_FATAL_FAILURE(ClickEntry(menu, [](const Item& i) { return i.command == IDM_VIEW_INFO; }));
    ScreenWindow card;
    ASSERT_TRUE(e2e::WaitForWindowWhere(
        [&](const ScreenWindow& w) { return !before.count(w.id) && w.width == 500 && w.height == 400; }, 15000,
        &card))
        << "no card opened";
    Screenshot("quit-e2e-card.png");

    int status = -1;
    ASSERT_NO_FATAL_FAILURE(Quit(a_, 15000, &status));
    ASSERT_TRUE(WIFEXITED(status)) << "the program ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
