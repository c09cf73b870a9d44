// The contact book: which record an id resolves to when the user is on more
// than one shelf, what the black list leaves alone, and which pointers are
// held once a list has let go of a record.
#include "Lum/contacts/ContactBook.h"
#include "tests/Lum/CoreRecords.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using core::Group;
using core::User;
using Book = ContactBook<core::Records>;

class ContactBookTest : public ::testing::Test {
protected:
    void SetUp() override { book.SetShelves(&shelves.friends, &shelves.strangers, &shelves.groups); }

    core::Shelves shelves;
    Book book;
};

TEST_F(ContactBookTest, AnIdIsTheFriendThenTheMemberThenTheStranger)
{
    User* li = shelves.AddFriend(5);
    User* oldStranger = shelves.AddStranger(5);  // left over from before he was a friend
    Group* chess = shelves.AddGroup(2001, {6});
    Group* choir = shelves.AddGroup(2002, {5, 6});
    User* stranger6 = shelves.AddStranger(6);

    EXPECT_EQ(book.SenderOf(5, 2002), li);
    EXPECT_EQ(book.SenderOf(6, 2002), choir->members.at(6));  // through a group: its member
    EXPECT_EQ(book.SenderOf(6, 2003), stranger6);             // through a group he is not in
    EXPECT_EQ(book.SenderOf(6, 2), chess->members.at(6));     // else the first group's member...
    choir->members.at(6)->chatOpen = true;
    EXPECT_EQ(book.SenderOf(6, 2), choir->members.at(6));  // ... unless another one's chat is open
    EXPECT_EQ(book.SenderOf(7, 1), nullptr);
    // A group's transfer is with its member only.
    EXPECT_EQ(book.PeerOf(5, 2001), nullptr);
    EXPECT_EQ(book.PeerOf(6, 2001), chess->members.at(6));
    EXPECT_EQ(book.PeerOf(6, 2), stranger6);

    std::vector<User*> all;
    book.ForEachRecordOf(5, [&](Book::Shelf, User* rec) { all.push_back(rec); });
    EXPECT_EQ(all, (std::vector<User*>{li, choir->members.at(5), oldStranger}));
}

TEST_F(ContactBookTest, ABlackListedFriendStaysAFriendForTheLists)
{
    User* li = shelves.AddFriend(5);
    book.Block(5);
    EXPECT_TRUE(book.IsBlocked(5));
    // Whether his lines are taken is the router's: the book still finds him.
    EXPECT_EQ(book.SenderOf(5, 1), li);
    EXPECT_TRUE(book.Holds(li));
    book.Unblock(5);
    EXPECT_TRUE(book.BlackList().empty());
}

TEST_F(ContactBookTest, ARecordAListLetGoOfIsHeldNoMore)
{
    User* li = shelves.AddFriend(5);
    Group* choir = shelves.AddGroup(2002, {6});
    User* member = choir->members.at(6);
    EXPECT_TRUE(book.Holds(li) && book.Holds(choir) && book.Holds(member));
    EXPECT_TRUE(book.HoldsContact(li) && book.HoldsGroup(choir));
    EXPECT_FALSE(book.HoldsContact(member));
    // A copy of a record (a member list's) is not the list's record.
    EXPECT_FALSE(book.Holds(shelves.NewUser(5)));

    shelves.friends.erase(5);
    choir->members.erase(6);
    EXPECT_FALSE(book.Holds(li) || book.Holds(member));
    shelves.groups.erase(2002);
    EXPECT_FALSE(book.Holds(choir) || book.HoldsGroup(choir));

    Book empty;  // before the lists are there
    EXPECT_EQ(empty.SenderOf(6, 2), nullptr);
    EXPECT_FALSE(empty.Holds(choir));
}

}  // namespace
