// Two copies of the real program against one stand-in service: user B's
// friend list shows friend A online; A quits, and B's heartbeat brings the
// change, so that B's list draws A as offline.
#include "tests/e2e/TwoClients.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using e2e::Client;
using e2e::kMainWidth;
using e2e::waitFor;

class PresenceTest : public e2e::TwoClientsTest {
protected:
    // The friend list of a client's main window, where the program has it.
    void FindFriendList(const Client& c)
    {
        ASSERT_TRUE(e2e::FindControl(c.main, IDC_LIST_FRIENDS, &list_, 10000)) << "no friend list";
    }

    std::vector<uint32_t> FriendList() { return e2e::GrabScreen(list_.x, list_.y, list_.width, list_.height); }

    // The friend list once its rows, their heads from the web server and
    // their drawing have arrived (it stops changing).
    std::vector<uint32_t> SettledFriendList() { return e2e::SettledScreen(list_.x, list_.y, list_.width, list_.height); }

    // The rows of the list whose pixels differ between two pictures of it.
    std::vector<int> ChangedRows(const std::vector<uint32_t>& before, const std::vector<uint32_t>& after) const
    {
        std::vector<int> rows;
        for (size_t k = 0; k < before.size() && k < after.size(); ++k) {
            const int y = static_cast<int>(k) / list_.width;
            int row = -1;
            for (size_t r = 0; r < rows_.size(); ++r)
                if (list_.y + y >= rows_[r].y && list_.y + y < rows_[r].y + rows_[r].height) row = static_cast<int>(r);
            if (before[k] != after[k] && (rows.empty() || rows.back() != row)) rows.push_back(row);
        }
        return rows;
    }

    e2e::Control list_;
    std::vector<e2e::Item> rows_;
};

}  // namespace

TEST_F(PresenceTest, AFriendWhoQuitsIsDrawnOfflineByTheOther)
{
    // A (10001) first; its window moves aside, so that both are in sight.
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    ASSERT_TRUE(e2e::MoveWindow(a_.main, a_.main.x - 320, a_.main.y));
    ASSERT_NO_FATAL_FAILURE(LogIn(b_, "13800000002", 10002));
    ASSERT_GE(b_.main.x, a_.main.x + kMainWidth) << "the two main windows overlap";

    // B's friends: A (online) and 10005 (never logged in), once both rows
    // are listed and both heads were asked of the web server.
    ASSERT_TRUE(e2e::ClickControl(b_.main, IDC_BTN_TAB_FRIENDS));
    ASSERT_NO_FATAL_FAILURE(FindFriendList(b_));
    ASSERT_TRUE(waitFor([&] { return (rows_ = e2e::Items(b_.main, IDC_LIST_FRIENDS)).size() == 2; }, 10000));
    auto asked = [&](const std::string& path) {
        for (const auto& r : web_.Requests())
            if (r.path == path) return true;
        return false;
    };
    ASSERT_TRUE(waitFor([&] { return asked("/upload/face/10001.png") && asked("/upload/face/10005.png"); }, 10000));
    const std::vector<uint32_t> online = SettledFriendList();
    ASSERT_FALSE(online.empty());
    Screenshot("presence-online.png");

    // A quits the way a person closes the window; its exit call takes it
    // offline in the service at once, and B hears of it on a heartbeat
    // (every 7.2 s).
    ASSERT_TRUE(e2e::CloseWindow(a_.main.id));
    ASSERT_TRUE(waitFor([&] { return !service_.IsOnline(10001); }, 10000)) << "A's exit did not reach the service";
    const bool redrawn = waitFor([&] { return FriendList() != online; }, 12000);
    Screenshot("presence-offline.png");
    EXPECT_TRUE(redrawn) << "B's friend list did not change after A went offline";
    // Only A's row (the first: the list keeps the order of the reply) is
    // drawn anew; 10005's row stays as it was.
    EXPECT_EQ(ChangedRows(online, SettledFriendList()), std::vector<int>{0});
    EXPECT_TRUE(e2e::IsRunning(b_.pid));
}
