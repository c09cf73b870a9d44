// A search typed into the real program's main window and carried on to the
// service: the words go into the quick-search box, the drop-down's "more
// users" link opens the search results (the search plug-in, over the web
// API stand-in), a result is selected and added as friend with the results
// window's button. The friend reaches the service, the other side's pending
// notices, the program's contact store and its friend list.
#include "tests/e2e/TwoClients.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using e2e::kDropDownWidth;
using e2e::kSearchBoxX;
using e2e::kSearchBoxY;
using e2e::kSearchButtonX;
using e2e::kSearchButtonY;
using e2e::waitFor;

// The results window, its first row and its add button.
const int kResultWidth = 500, kResultHeight = 400;
const int kFirstRowX = 4 + 150, kFirstRowY = 30 + 56 + 20;
const int kAddButtonX = 500 - 87 + 35, kAddButtonY = 400 - 33 + 13;

// Whether the user store in `file` lists `id` among the friends (list 1).
bool StoreHasFriend(const std::string& file, int id)
{
    sqlite3* db = nullptr;
    bool found = false;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "select count(*) from GroupUser where gid=1 and id=?", -1, &st, nullptr) ==
            SQLITE_OK) {
            sqlite3_bind_int(st, 1, id);
            found = sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) > 0;
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return found;
}

class SearchResultsTest : public e2e::TwoClientsTest {
protected:
    // A visible window of that size other than `except`.
    static bool FindWindow(int width, int height, unsigned long except, e2e::ScreenWindow* found, int timeoutMs)
    {
        return e2e::WaitForWindowWhere(
            [&](const e2e::ScreenWindow& w) {
                return w.width == width && (height < 0 || w.height == height) && w.id != except;
            },
            timeoutMs, found);
    }

    // A top-level window that none of `known` is (a message box).
    static bool FindNewWindow(const std::vector<unsigned long>& known, e2e::ScreenWindow* found, int timeoutMs)
    {
        return e2e::WaitForWindowWhere(
            [&](const e2e::ScreenWindow& w) {
                return std::find(known.begin(), known.end(), w.id) == known.end() && w.width > 60 &&
                       w.width != kDropDownWidth;
            },
            timeoutMs, found);
    }
};

}  // namespace

TEST_F(SearchResultsTest, SearchTypedInTheMainWindowAddsAFriend)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    ASSERT_TRUE(e2e::MoveWindow(a_.main, 20, 60));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    web_.ClearRequests();

    // The words go into the search box; the button searches.
    ASSERT_TRUE(e2e::ClickToType(a_.main, a_.main.x + kSearchBoxX, a_.main.y + kSearchBoxY));
    ASSERT_TRUE(e2e::Type("陈静"));
    ASSERT_TRUE(e2e::Click(a_.main.x + kSearchButtonX, a_.main.y + kSearchButtonY));
    e2e::ScreenWindow drop;
    ASSERT_TRUE(FindWindow(kDropDownWidth, -1, 0, &drop, 5000)) << "no search drop-down";
    Screenshot("search-e2e-dropdown.png");

    // More users: the service search for the same words.
    ASSERT_TRUE(e2e::Click(drop.x + drop.width - 35, drop.y + drop.height - 42));
    e2e::ScreenWindow results;
    ASSERT_TRUE(FindWindow(kResultWidth, kResultHeight, 0, &results, 10000)) << "no results window";
    ASSERT_TRUE(waitFor(
        [&] {
            for (const auto& r : web_.Requests())
                if (r.path == "/api/friend/searchUserList.jsp") return true;
            return false;
        },
        15000))
        << "the results page searched nothing";
    standin::WebRequest search;
    for (const auto& r : web_.Requests())
        if (r.path == "/api/friend/searchUserList.jsp") search = r;
    EXPECT_EQ(search.Param("search_key"), "陈静");
    EXPECT_EQ(search.Param("phone"), "13800000001");
    EXPECT_EQ(search.Param("page_index"), "1");
    EXPECT_EQ(search.Param("key").size(), 32u);
    // The page draws its rows.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Screenshot("search-e2e-results.png");

    // The row is selected and added.
    ASSERT_TRUE(e2e::Click(results.x + kFirstRowX, results.y + kFirstRowY));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(e2e::Click(results.x + kAddButtonX, results.y + kAddButtonY));
    ASSERT_TRUE(waitFor([&] { return service_.IsFriend(10001, 10005); }, 10000)) << "no friend request reached the service";
    EXPECT_TRUE(service_.IsFriend(10005, 10001));
    EXPECT_FALSE(service_.Pending(10005).empty());

    // The program says so in a box; it is closed as a person closes it.
    e2e::ScreenWindow box;
    ASSERT_TRUE(FindNewWindow({a_.main.id, results.id}, &box, 10000)) << "no message box";
    Screenshot("search-e2e-added.png");
    ASSERT_TRUE(e2e::CloseWindow(box.id));
    ASSERT_TRUE(waitFor([&] { return StoreHasFriend(a_.folder + "/10001/User.dll", 10005); }, 10000))
        << "the friend is not in the contact store";

    // The friend list shows the new friend.
    ASSERT_TRUE(e2e::Click(a_.main.x + e2e::kFriendsTabX, a_.main.y + e2e::kFriendsTabY));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    Screenshot("search-e2e-friends.png");
}
