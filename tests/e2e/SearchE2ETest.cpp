// The local search of the real program's main window: words typed into the
// quick-search box find the user's own friends and groups (by name, Chinese
// included, and by id digits) in the drop-down under the box, sized for its
// rows; a click on a row opens that friend's or group's chat window and
// closes the drop-down.
#include "tests/e2e/TwoClients.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using e2e::kDropDownWidth;
using e2e::kSearchBoxX;
using e2e::kSearchBoxY;
using e2e::kSearchButtonX;
using e2e::kSearchButtonY;
using e2e::waitFor;

// The drop-down's rows: 27 pixels each, plus 60 for the links.
const int kRowHeight = 27;

class LocalSearchE2E : public e2e::TwoClientsTest {
protected:
    // The visible drop-down, when there is one.
    static bool DropDown(e2e::ScreenWindow* found, int timeoutMs)
    {
        return e2e::WaitForWindowWhere([](const e2e::ScreenWindow& w) { return w.width == kDropDownWidth; },
                                       timeoutMs, found);
    }

    // Types `words` into the search box (its hint goes when it gets the
    // focus) and presses the search button.
    void Search(const std::string& words)
    {
        ASSERT_TRUE(e2e::ClickToType(a_.main, a_.main.x + kSearchBoxX, a_.main.y + kSearchBoxY));
        ASSERT_TRUE(e2e::Key("ctrl+a"));
        ASSERT_TRUE(e2e::Key("BackSpace"));
        ASSERT_TRUE(e2e::Type(words));
        ASSERT_TRUE(e2e::Click(a_.main.x + kSearchButtonX, a_.main.y + kSearchButtonY));
    }
};

}  // namespace

TEST_F(LocalSearchE2E, DropDownFindsFriendsAndGroupsAndOpensTheirChats)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    // The main window stays where the program put it, so that the program's
    // idea of where its search box is matches the screen.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));

    // Id digits: the three friends 10002 to 10004 (the own id is no friend).
    ASSERT_NO_FATAL_FAILURE(Search("1000"));
    e2e::ScreenWindow drop;
    ASSERT_TRUE(DropDown(&drop, 5000)) << "no search drop-down";
    // Under the box: from 21 pixels below its top to the rows and 60
    // pixels below its bottom (the box is 17 pixels high).
    EXPECT_EQ(drop.x, a_.main.x + 10);
    EXPECT_EQ(drop.y, a_.main.y + 108 + 21);
    EXPECT_EQ(drop.y + drop.height, a_.main.y + 108 + 17 + 3 * kRowHeight + 60);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Screenshot("localsearch-e2e-digits.png");

    // A Chinese name found nowhere: no rows, the links stay.
    ASSERT_NO_FATAL_FAILURE(Search("赵六"));
    ASSERT_TRUE(waitFor([&] { return DropDown(&drop, 100) && drop.y + drop.height == a_.main.y + 108 + 17 + 60; }, 5000));

    // A friend's name; a click on the row opens the chat and closes the drop-down.
    ASSERT_NO_FATAL_FAILURE(Search("刘洋"));
    ASSERT_TRUE(waitFor(
        [&] { return DropDown(&drop, 100) && drop.y + drop.height == a_.main.y + 108 + 17 + kRowHeight + 60; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Screenshot("localsearch-e2e-friend.png");
    ASSERT_TRUE(e2e::Click(drop.x + 60, drop.y + 1 + kRowHeight / 2));
    e2e::ScreenWindow chat;
    ASSERT_TRUE(WaitForChat(0, &chat)) << "no chat window for the friend";
    EXPECT_TRUE(waitFor([&] { return !DropDown(&drop, 0); }, 3000)) << "the drop-down stayed";
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    Screenshot("localsearch-e2e-chat.png");
    ASSERT_TRUE(e2e::CloseWindow(chat.id));
    ASSERT_TRUE(waitFor([&] { return !WaitForChat(0, &chat, 0); }, 5000));

    // Part of a group's name: the group's chat opens.
    ASSERT_NO_FATAL_FAILURE(Search("一班"));
    ASSERT_TRUE(waitFor(
        [&] { return DropDown(&drop, 100) && drop.y + drop.height == a_.main.y + 108 + 17 + kRowHeight + 60; }, 5000));
    ASSERT_TRUE(e2e::Click(drop.x + 60, drop.y + 1 + kRowHeight / 2));
    ASSERT_TRUE(WaitForChat(0, &chat)) << "no chat window for the group";
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    Screenshot("localsearch-e2e-group-chat.png");
}
