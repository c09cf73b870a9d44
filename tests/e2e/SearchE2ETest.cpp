// The local search of the real program's main window: words typed into the
// quick-search box find the user's own friends and groups (by name, Chinese
// included, and by id digits) in the drop-down under the box, sized for its
// rows; a click on a row opens that friend's or group's chat window and
// closes the drop-down.
#include "Lum/contacts/KivSearchList.h"
#include "tests/e2e/TwoClients.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using e2e::kDropDownWidth;
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
        ASSERT_TRUE(e2e::FindControl(a_.main, IDC_EDIT_SEARCH, &box_)) << "no search box";
        ASSERT_TRUE(e2e::ClickToType(a_.main, box_.x + box_.width / 2, box_.y + box_.height / 2));
        ASSERT_TRUE(e2e::Key("ctrl+a"));
        ASSERT_TRUE(e2e::Key("BackSpace"));
        ASSERT_TRUE(e2e::Type(words));
        ASSERT_TRUE(e2e::ClickControl(a_.main, IDC_BTN_SEARCH));
    }

    // The drop-down's bottom is `rows` rows and 60 pixels below the box's.
    bool Holds(const e2e::ScreenWindow& drop, int rows) const
    {
        return drop.y + drop.height == box_.y + box_.height + rows * kRowHeight + 60;
    }

    // Clicks the drop-down's first row, once it is listed.
    static void ClickFirstRow(const e2e::ScreenWindow& drop)
    {
        e2e::Item row;
        ASSERT_TRUE(e2e::WaitForItem(drop, IDC_LIST_SEARCH, [](const e2e::Item&) { return true; }, 5000, &row));
        ASSERT_TRUE(e2e::Click(row.x + row.width / 2, row.y + row.height / 2)) << row.text;
    }

    e2e::Control box_;
};

}  // namespace

TEST_F(LocalSearchE2E, DropDownFindsFriendsAndGroupsAndOpensTheirChats)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));

    // Id digits: the three friends 10002 to 10004 (the own id is no friend).
    ASSERT_NO_FATAL_FAILURE(Search("1000"));
    e2e::ScreenWindow drop;
    ASSERT_TRUE(DropDown(&drop, 5000)) << "no search drop-down";
    // Under the box: from 21 pixels below its top to the rows and 60
    // pixels below its bottom.
    EXPECT_EQ(drop.x, box_.x);
    EXPECT_EQ(drop.y, box_.y + 21);
    EXPECT_TRUE(Holds(drop, 3)) << drop.y + drop.height;
    EXPECT_EQ(e2e::Items(drop, IDC_LIST_SEARCH).size(), 3u);
    Screenshot("localsearch-e2e-digits.png");

    // A Chinese name found nowhere: no rows, the links stay.
    ASSERT_NO_FATAL_FAILURE(Search("赵六"));
    ASSERT_TRUE(waitFor([&] { return DropDown(&drop, 100) && Holds(drop, 0); }, 5000));

    // A friend's name; a click on the row opens the chat and closes the drop-down.
    ASSERT_NO_FATAL_FAILURE(Search("刘洋"));
    ASSERT_TRUE(waitFor([&] { return DropDown(&drop, 100) && Holds(drop, 1); }, 5000));
    Screenshot("localsearch-e2e-friend.png");
    ASSERT_NO_FATAL_FAILURE(ClickFirstRow(drop));
    e2e::ScreenWindow chat;
    ASSERT_TRUE(WaitForChat(0, &chat)) << "no chat window for the friend";
    EXPECT_EQ(e2e::Title(chat.id).rfind("与 好友 ", 0), 0u) << e2e::Title(chat.id);
    EXPECT_TRUE(waitFor([&] { return !DropDown(&drop, 0); }, 3000)) << "the drop-down stayed";
    EXPECT_TRUE(e2e::PageLoaded(chat));
    Screenshot("localsearch-e2e-chat.png");
    ASSERT_TRUE(e2e::CloseWindow(chat.id));
    ASSERT_TRUE(waitFor([&] { return !WaitForChat(0, &chat, 0); }, 5000));

    // Part of a group's name: the group's chat opens.
    ASSERT_NO_FATAL_FAILURE(Search("一班"));
    ASSERT_TRUE(waitFor([&] { return DropDown(&drop, 100) && Holds(drop, 1); }, 5000));
    ASSERT_NO_FATAL_FAILURE(ClickFirstRow(drop));
    ASSERT_TRUE(WaitForChat(0, &chat)) << "no chat window for the group";
    EXPECT_NE(e2e::Title(chat.id).find("一班"), std::string::npos) << e2e::Title(chat.id);
    EXPECT_TRUE(e2e::PageLoaded(chat));
    Screenshot("localsearch-e2e-group-chat.png");
}
