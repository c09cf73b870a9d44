// Two copies of the real program against one stand-in service: user B's
// friend list shows friend A online; A quits, and B's heartbeat brings the
// change, so that B's list draws A as offline.
#include "tests/e2e/TwoClients.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using e2e::Client;
using e2e::kFriendsTabX;
using e2e::kFriendsTabY;
using e2e::kListHeight;
using e2e::kListWidth;
using e2e::kListX;
using e2e::kListY;
using e2e::kMainWidth;
using e2e::waitFor;

class PresenceTest : public e2e::TwoClientsTest {
protected:
    std::vector<uint32_t> FriendList(const Client& c)
    {
        return Area(c, kListX, kListY, kListWidth, kListHeight);
    }

    // The friend list once it has stopped changing (rows and heads arrive
    // after the main window shows).
    std::vector<uint32_t> SettledFriendList(const Client& c)
    {
        return Settled(c, kListX, kListY, kListWidth, kListHeight);
    }
};

}  // namespace

TEST_F(PresenceTest, AFriendWhoQuitsIsDrawnOfflineByTheOther)
{
    // A (10001) first; its window moves aside, so that both are in sight.
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    ASSERT_TRUE(e2e::MoveWindow(a_.main, a_.main.x - 320, a_.main.y));
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
