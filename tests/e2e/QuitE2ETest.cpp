// The real program quits cleanly after its lists opened feature windows:
// a friend's card opened from the friend list's menu ("查看资料") is still
// open when the user closes the main window, and the program ends with exit
// code 0 (its card module is unloaded while the window layer still stands,
// so the card's module does not close its window after the layer is gone).
#include "tests/e2e/TwoClients.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

using e2e::kFirstRowX;
using e2e::kFirstRowY;
using e2e::kFriendsTabX;
using e2e::kFriendsTabY;
using e2e::waitFor;

class QuitTest : public e2e::TwoClientsTest {};

}  // namespace

TEST_F(QuitTest, QuittingWithACardOpenFromTheFriendListEndsCleanly)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    ASSERT_TRUE(Click(a_.main.x + kFriendsTabX, a_.main.y + kFriendsTabY));
    // The rows are filled in after the tab shows: the first row is drawn
    // (not one plain colour any more).
    ASSERT_TRUE(waitFor(
        [&] {
            const std::vector<uint32_t> row = Area(a_, e2e::kListX, e2e::kListY, e2e::kListWidth, e2e::kRowHeight);
            const long plain = std::count(row.begin(), row.end(), row.empty() ? 0u : row.front());
            return !row.empty() && plain < static_cast<long>(row.size()) * 19 / 20;
        },
        10000))
        << "no friend row";

    // The friend menu: 发送私聊信息, 发送通知短信, a separator, 修改备注名称,
    // 删除好友, a separator, 查看资料, 查看历史记录; rows of 24 pixels,
    // separators of 8, a border of 3.
    const std::set<unsigned long> before = e2e::VisibleIds();
    ASSERT_TRUE(e2e::RightClick(a_.main.x + kFirstRowX, a_.main.y + kFirstRowY));
    e2e::ScreenWindow menu;
    ASSERT_TRUE(e2e::WaitForWindowWhere([&](const e2e::ScreenWindow& w) { return !before.count(w.id); }, 5000, &menu))
        << "no menu";
    ASSERT_EQ(menu.height, 3 + 6 * 24 + 2 * 8 + 3) << "not the friend menu";
    const int cardRow = 3 + 4 * 24 + 2 * 8;
    ASSERT_TRUE(Click(menu.x + menu.width / 2, menu.y + cardRow + 12));
    // The card: a new window of 500 x 400.
    e2e::ScreenWindow card;
    ASSERT_TRUE(e2e::WaitForWindowWhere(
        [&](const e2e::ScreenWindow& w) { return !before.count(w.id) && w.width == 500 && w.height == 400; }, 15000,
        &card))
        << "no card opened";
    Screenshot("quit-e2e-card.png");

    int status = -1;
    ASSERT_NO_FATAL_FAILURE(Quit(a_, 15000, &status));
    ASSERT_TRUE(WIFEXITED(status)) << "the program ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
