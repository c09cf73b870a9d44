// A search typed into the real program's main window and carried on to the
// service: the words go into the quick-search box, the drop-down's "more
// users" link opens the search results (the search plug-in, over the web
// API stand-in), a result is selected and added as friend with the results
// window's button. The friend reaches the service, the other side's pending
// notices, the program's contact store and its friend list.
#include "Lum/contacts/KivSearchList.h"
#include "tests/e2e/TwoClients.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using e2e::kDropDownWidth;
using e2e::waitFor;

// The results window and its add button.
const int kResultWidth = 500, kResultHeight = 400;
const int kAddButton = 7004;
// The colour of a selected result row.
const uint32_t kSelectedRow = 0xFFEFB1;

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
    web_.ClearRequests();

    // The words go into the search box; the button searches.
    e2e::Control searchBox;
    ASSERT_TRUE(e2e::FindControl(a_.main, IDC_EDIT_SEARCH, &searchBox)) << "no search box";
    ASSERT_TRUE(e2e::ClickToType(a_.main, searchBox.x + searchBox.width / 2, searchBox.y + searchBox.height / 2));
    ASSERT_TRUE(e2e::Type("陈静"));
    // The box shows the words before the button is pressed, as a person sees them.
    ASSERT_TRUE(waitFor(
        [&] { return e2e::FindControl(a_.main, IDC_EDIT_SEARCH, &searchBox) && searchBox.text == "陈静"; }, 5000))
        << "the search box shows '" << searchBox.text << "'";
    ASSERT_TRUE(e2e::ClickControl(a_.main, IDC_BTN_SEARCH));
    e2e::ScreenWindow drop;
    ASSERT_TRUE(FindWindow(kDropDownWidth, -1, 0, &drop, 5000)) << "no search drop-down";
    Screenshot("search-e2e-dropdown.png");

    // More users: the service search for the same words.
    ASSERT_TRUE(e2e::ClickControl(drop, IDC_LINK_MORE_USERS));
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
    // The page lists the user found.
    const std::string row = "[id='10005'] .name";
    e2e::ScreenWindow name;
    ASSERT_TRUE(e2e::ElementRect(results, row, &name, 10000)) << "the results list no 10005";
    EXPECT_EQ(e2e::ElementText(results, row), "陈静");
    Screenshot("search-e2e-results.png");

    // The row is selected (drawn in the selection's colour) and added.
    ASSERT_TRUE(e2e::ClickElement(results, row));
    EXPECT_TRUE(waitFor(
        [&] {
            for (uint32_t p : e2e::GrabScreen(name.x, name.y, name.width, name.height))
                if (p == kSelectedRow) return true;
            return false;
        },
        5000))
        << "the row is not drawn selected";
    ASSERT_TRUE(e2e::ClickControl(results, kAddButton));
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
    ASSERT_TRUE(e2e::ClickControl(a_.main, IDC_BTN_TAB_FRIENDS));
    EXPECT_TRUE(e2e::WaitForItem(
        a_.main, IDC_LIST_FRIENDS, [](const e2e::Item& i) { return i.text.find("陈静") != std::string::npos; }, 10000,
        nullptr))
        << "the friend list does not show 陈静";
    Screenshot("search-e2e-friends.png");
}
