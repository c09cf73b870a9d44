// The contact book: which record an id resolves to when a user is on more
// than one shelf, what the black list changes (nothing the lists hold), and
// which pointers count as held once a list has let go of a record.
#include "Lum/ContactBook.h"
#include "tests/Lum/CoreRecords.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using Book = ContactBook<core::Records>;
using core::Group;
using core::Rec;
using core::User;

class ContactBookTest : public ::testing::Test {
protected:
    void SetUp() override { book.SetShelves(&shelves.friends, &shelves.strangers, &shelves.groups); }

    core::Shelves shelves;
    Book book;
};

TEST_F(ContactBookTest, ALineGoesToTheFriendThenTheMemberThenTheStranger)
{
    // 5 is a friend and (left over) a stranger; 6 is in two groups and a
    // stranger; 7 is only a stranger.
    User* friend5 = shelves.AddFriend(5);
    shelves.AddStranger(5);
    Group* chess = shelves.AddGroup(2001, {6});
    Group* choir = shelves.AddGroup(2002, {5, 6});
    User* stranger6 = shelves.AddStranger(6);
    User* stranger7 = shelves.AddStranger(7);

    EXPECT_EQ(book.SenderOf(5, 1), friend5);
    EXPECT_EQ(book.SenderOf(5, 2002), friend5);
    // Through a group: that group's member record, not another's.
    EXPECT_EQ(book.SenderOf(6, 2002), choir->members.at(6));
    // Through a group he is not in: the stranger.
    EXPECT_EQ(book.SenderOf(6, 2003), stranger6);
    // Through the stranger list: the member record, the first group's...
    EXPECT_EQ(book.SenderOf(6, 2), chess->members.at(6));
    // ... unless another one's chat window is open.
    choir->members.at(6)->chatOpen = true;
    EXPECT_EQ(book.SenderOf(6, 2), choir->members.at(6));
    EXPECT_EQ(book.MemberFor(6, 2001), chess->members.at(6));
    EXPECT_EQ(book.SenderOf(7, 2001), stranger7);
    EXPECT_EQ(book.SenderOf(8, 1), nullptr);
    EXPECT_EQ(book.MemberFor(8, 1), nullptr);
}

TEST_F(ContactBookTest, ABlackListedFriendStaysOnHisShelf)
{
    User* friend5 = shelves.AddFriend(5);
    EXPECT_FALSE(book.IsBlocked(5));
    book.Block(5);
    book.Block(5);
    EXPECT_TRUE(book.IsBlocked(5));
    EXPECT_EQ(book.BlackList().size(), 1u);
    // The lists keep the record until they are told: the book still finds
    // him, and leaves his line to the router.
    EXPECT_EQ(book.Friend(5), friend5);
    EXPECT_EQ(book.SenderOf(5, 1), friend5);
    EXPECT_TRUE(book.Holds(friend5));
    book.Unblock(5);
    book.Unblock(9);
    EXPECT_FALSE(book.IsBlocked(5));
    EXPECT_TRUE(book.BlackList().empty());
}

TEST_F(ContactBookTest, AGroupsTransferIsWithItsMemberOnly)
{
    User* friend5 = shelves.AddFriend(5);
    User* stranger8 = shelves.AddStranger(8);
    Group* choir = shelves.AddGroup(2002, {6});
    EXPECT_EQ(book.PeerOf(6, 2002), choir->members.at(6));
    // A friend who is not in the group is not whom the group's transfer is with.
    EXPECT_EQ(book.PeerOf(5, 2002), nullptr);
    EXPECT_EQ(book.PeerOf(5, 1), friend5);
    EXPECT_EQ(book.PeerOf(8, 2), stranger8);
    // Below the groups' ids a member is no peer.
    EXPECT_EQ(book.PeerOf(6, 2), nullptr);
    EXPECT_EQ(book.Member(2002, 6), choir->members.at(6));
    EXPECT_EQ(book.Member(2003, 6), nullptr);
}

TEST_F(ContactBookTest, EveryRecordOfAUserFriendFirstStrangerLast)
{
    User* friend6 = shelves.AddFriend(6);
    User* stranger6 = shelves.AddStranger(6);
    Group* choir = shelves.AddGroup(2002, {6});
    Group* chess = shelves.AddGroup(2001, {6, 7});
    shelves.AddGroup(2003, {7});
    std::vector<std::pair<Book::Shelf, User*>> seen;
    book.ForEachRecordOf(6, [&](Book::Shelf shelf, User* rec) { seen.emplace_back(shelf, rec); });
    const std::vector<std::pair<Book::Shelf, User*>> expected = {{Book::Shelf::kFriend, friend6},
                                                                 {Book::Shelf::kMember, chess->members.at(6)},
                                                                 {Book::Shelf::kMember, choir->members.at(6)},
                                                                 {Book::Shelf::kStranger, stranger6}};
    EXPECT_EQ(seen, expected);
    seen.clear();
    book.ForEachRecordOf(9, [&](Book::Shelf shelf, User* rec) { seen.emplace_back(shelf, rec); });
    EXPECT_TRUE(seen.empty());
}

TEST_F(ContactBookTest, ARecordAListLetGoOfIsNotHeld)
{
    User* friend5 = shelves.AddFriend(5);
    User* stranger7 = shelves.AddStranger(7);
    Group* choir = shelves.AddGroup(2002, {6});
    User* member6 = choir->members.at(6);
    for (const Rec* rec : {static_cast<Rec*>(friend5), static_cast<Rec*>(stranger7), static_cast<Rec*>(choir),
                           static_cast<Rec*>(member6)})
        EXPECT_TRUE(book.Holds(rec));
    EXPECT_TRUE(book.HoldsContact(friend5));
    EXPECT_TRUE(book.HoldsContact(stranger7));
    EXPECT_FALSE(book.HoldsContact(member6));
    EXPECT_TRUE(book.HoldsGroup(choir));
    EXPECT_FALSE(book.Holds(nullptr));

    // A record of the same id that no list keeps (a copy) is not held.
    User* copy = shelves.NewUser(5);
    EXPECT_FALSE(book.Holds(copy));
    EXPECT_FALSE(book.HoldsContact(copy));

    // The lists let go: the friend leaves, the member leaves the group, the
    // group goes.
    shelves.friends.erase(5);
    choir->members.erase(6);
    EXPECT_FALSE(book.Holds(friend5));
    EXPECT_FALSE(book.Holds(member6));
    EXPECT_TRUE(book.Holds(choir));
    shelves.groups.erase(2002);
    EXPECT_FALSE(book.Holds(choir));
    EXPECT_FALSE(book.HoldsGroup(choir));
    EXPECT_EQ(book.GroupOf(2002), nullptr);
    EXPECT_EQ(book.Friend(5), nullptr);
}

TEST(ContactBookWithoutShelves, FindsAndHoldsNothing)
{
    Book book;
    User nobody;
    EXPECT_EQ(book.SenderOf(5, 1), nullptr);
    EXPECT_EQ(book.MemberFor(5, 2), nullptr);
    EXPECT_EQ(book.PeerOf(5, 2001), nullptr);
    EXPECT_FALSE(book.Holds(&nobody));
    EXPECT_FALSE(book.HoldsGroup(nullptr));
    int visits = 0;
    book.ForEachRecordOf(5, [&](Book::Shelf, User*) { ++visits; });
    EXPECT_EQ(visits, 0);
}

}  // namespace
