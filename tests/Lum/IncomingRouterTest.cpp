// The router of received lines, with plain records and a window side that
// writes down what a person would see and hear: which chat shows a line,
// what the history keeps, what waits and in which order it comes back, and
// what is dropped.
#include "Lum/chat/IncomingRouter.h"
#include "tests/Lum/CoreRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using core::Group;
using core::Line;
using core::Rec;
using core::User;
using Router = IncomingRouter<core::Records>;
using Lines = std::vector<std::string>;

// Chat windows, the history, the sound, the waiting records (newest on top)
// and the lists that take new strangers and members.
class Windows : public RouterObserver<core::Records> {
public:
    explicit Windows(core::Shelves& shelves) : shelves_(shelves) {}

    Router* router = nullptr;
    Lines seen;
    std::map<const Rec*, std::vector<Line>> waiting;
    std::vector<Rec*> stack;
    bool listsStrangers = true;
    const Rec* noWindow = nullptr;  // a chat window that cannot be made

    Lines Take() { return std::exchange(seen, {}); }
    Lines WaitingIn(const Rec* rec)
    {
        Lines texts;
        for (const Line& line : waiting[rec]) texts.push_back(line.content);
        return texts;
    }

    bool ChatShown(const Rec* rec) override { return rec->chatShown; }
    bool HasWaiting(const Rec* rec) override { return !waiting[rec].empty(); }
    std::vector<Line> WaitingLines(const Rec* rec) override { return waiting[rec]; }
    Rec* NewestWaiting() override { return stack.empty() ? nullptr : stack.front(); }
    void ListStranger(int id) override
    {
        Note(id, "is a stranger");
        if (listsStrangers) shelves_.AddStranger(id);
    }
    void ListMember(Group* group, int id) override
    {
        Note(id, "is a member");
        group->members[id] = shelves_.NewUser(id);
    }
    void PlaySound(bool) override { seen.push_back("sound"); }
    void ShowLine(User* rec, const Line& line) override { Note(rec->id, "shows " + line.content); }
    bool ShowLine(Group* group, const Line& line, bool newMember) override
    {
        Note(group->id, "shows " + line.content + (newMember ? " with members anew" : ""));
        return !line.content.empty();
    }
    void ShowJoinRequest(Group* group, const Line& line) override
    {
        Note(group->id, "asks to let " + std::to_string(line.fromid) + " in");
    }
    void StoreLine(User* rec, const Line& line, bool worker) override { Keep(rec, line, worker); }
    void StoreLine(Group* group, const Line& line, bool worker) override { Keep(group, line, worker); }
    void Wait(Rec* rec, const Line& line) override
    {
        waiting[rec].push_back(line);
        Unstack(rec);
        stack.insert(stack.begin(), rec);
    }
    void StopWaiting(Rec* rec) override
    {
        waiting.erase(rec);
        Unstack(rec);
    }
    bool OpenChatWindow(Rec* rec) override
    {
        if (rec == noWindow) return false;
        rec->chatOpen = rec->chatShown = true;
        Note(rec->id, "opens");
        return true;
    }
    void Deliver(const Line& line) override
    {
        if (line.kind == core::kUserLine) router->RouteUserLine(line);
        else if (line.kind == core::kGroupLine) router->RouteGroupLine(line);
        else router->RouteJoinRequest(line);
    }

private:
    void Note(int id, const std::string& what) { seen.push_back(std::to_string(id) + " " + what); }
    void Keep(const Rec* rec, const Line& line, bool worker)
    {
        Note(rec->id, "keeps " + line.content + (worker ? " on a worker" : ""));
    }
    void Unstack(Rec* rec) { stack.erase(std::remove(stack.begin(), stack.end(), rec), stack.end()); }

    core::Shelves& shelves_;
};

Line From(int from, int gid, const std::string& text, core::LineKind kind = core::kUserLine)
{
    return Line{from, gid, text, kind};
}

class IncomingRouterTest : public ::testing::Test {
protected:
    // A chat window shows bodies of up to 8 bytes whole.
    IncomingRouterTest() : windows(shelves), router(book, windows, 8)
    {
        book.SetShelves(&shelves.friends, &shelves.strangers, &shelves.groups);
        windows.router = &router;
    }

    core::Shelves shelves;
    ContactBook<core::Records> book;
    Windows windows;
    Router router;
};

TEST_F(IncomingRouterTest, ABlackListedFriendsLineIsDroppedUnheard)
{
    User* li = shelves.AddFriend(5);
    li->chatOpen = li->chatShown = true;
    book.Block(5);
    router.RouteUserLine(From(5, 1, "hello"));
    router.RouteUserLine(From(0, 1, "no sender"));
    router.RouteUserLine(From(9, 0, "no list"));
    EXPECT_EQ(windows.Take(), Lines{});
    EXPECT_TRUE(windows.stack.empty());
    book.Unblock(5);
    router.RouteUserLine(From(5, 1, "again"));
    EXPECT_EQ(windows.Take(), (Lines{"sound", "5 shows again", "5 keeps again"}));
}

TEST_F(IncomingRouterTest, ALineForAShownChatIsShownAndKeptForAClosedOneItWaits)
{
    User* li = shelves.AddFriend(5);
    li->chatOpen = li->chatShown = true;
    User* na = shelves.AddFriend(6);
    User* hidden = shelves.AddFriend(7);
    hidden->chatOpen = true;  // a chat window, but not shown
    router.RouteUserLine(From(5, 1, "12345678"));
    router.RouteUserLine(From(5, 1, "123456789"));
    router.RouteUserLine(From(6, 1, "one"));
    router.RouteUserLine(From(7, 1, "two"));
    router.RouteUserLine(From(6, 1, "three"));
    EXPECT_EQ(windows.Take(), (Lines{"sound", "5 shows 12345678", "5 keeps 12345678", "sound", "5 shows 123456789",
                                     "5 keeps 123456789 on a worker", "sound", "sound", "sound"}));
    EXPECT_EQ(windows.WaitingIn(na), (Lines{"one", "three"}));
    EXPECT_EQ(windows.stack, (std::vector<Rec*>{na, hidden}));
}

TEST_F(IncomingRouterTest, NewSendersAreListedAndLinesOfGroupsNotKnownDropped)
{
    router.RouteUserLine(From(8, 2, "hi"));
    router.RouteUserLine(From(8, 2, "there"));
    windows.listsStrangers = false;
    router.RouteUserLine(From(9, 2, "lost"));  // the list took nobody: unheard
    EXPECT_EQ(windows.Take(), (Lines{"8 is a stranger", "sound", "sound", "9 is a stranger"}));
    EXPECT_EQ(windows.WaitingIn(book.Stranger(8)), (Lines{"hi", "there"}));

    Group* chess = shelves.AddGroup(2001, {6});
    chess->chatOpen = chess->chatShown = true;
    EXPECT_FALSE(router.RouteGroupLine(From(6, 2009, "e4", core::kGroupLine)));
    router.RouteJoinRequest(From(7, 2009, "", core::kJoinRequest));
    EXPECT_EQ(windows.Take(), Lines{});
    EXPECT_TRUE(router.RouteGroupLine(From(7, 2001, "e5", core::kGroupLine)));
    EXPECT_TRUE(router.RouteGroupLine(From(7, 2001, "", core::kGroupLine)));
    router.RouteJoinRequest(From(8, 2001, "", core::kJoinRequest));
    EXPECT_EQ(windows.Take(), (Lines{"sound", "7 is a member", "2001 shows e5 with members anew", "2001 keeps e5",
                                     "sound", "2001 shows ",  // a line that shows nothing is not kept
                                     "2001 asks to let 8 in"}));
}

TEST_F(IncomingRouterTest, OpeningAChatBringsItsWaitingLinesOldestFirst)
{
    User* li = shelves.AddFriend(5);
    User* na = shelves.AddFriend(6);
    Group* choir = shelves.AddGroup(2002, {6});
    router.RouteUserLine(From(5, 1, "older"));
    router.RouteUserLine(From(6, 1, "a"));
    router.RouteJoinRequest(From(8, 2002, "", core::kJoinRequest));
    router.RouteUserLine(From(6, 1, "b123456789"));
    router.RouteGroupLine(From(6, 2002, "la", core::kGroupLine));
    windows.Take();

    router.OpenChat(na);
    router.OpenChat(choir);
    EXPECT_EQ(windows.Take(), (Lines{"6 opens", "sound", "6 shows a", "6 keeps a", "sound", "6 shows b123456789",
                                     "6 keeps b123456789 on a worker", "2002 opens", "2002 asks to let 8 in", "sound",
                                     "2002 shows la", "2002 keeps la"}));
    EXPECT_EQ(windows.stack, std::vector<Rec*>{li});

    // A chat window that cannot be made: the lines go on waiting.
    windows.noWindow = li;
    EXPECT_FALSE(router.ShowChat(li));
    EXPECT_EQ(windows.WaitingIn(li), Lines{"older"});
    // A copy no list holds opens no chat with lines, and waits no more.
    User* copy = shelves.NewUser(6);
    windows.waiting[copy] = {From(6, 1, "copied")};
    router.OpenChat(copy);
    EXPECT_EQ(windows.Take(), Lines{});
    EXPECT_FALSE(windows.HasWaiting(copy));
}

TEST_F(IncomingRouterTest, TheTrayOpensTheNewestWaitingAndLetsGoOfIt)
{
    EXPECT_FALSE(router.OpenNewestWaiting());
    // 6 writes through the chess group before he is a friend: the line waits
    // in his member record. Then he becomes a friend.
    User* member = shelves.AddGroup(2001, {6})->members.at(6);
    router.RouteUserLine(From(6, 2001, "hello"));
    User* na = shelves.AddFriend(6);
    windows.Take();

    // The line comes in again as the member's chat opens, a friend's now: it
    // waits for the friend's chat, and the member's record waits no more.
    EXPECT_TRUE(router.OpenNewestWaiting());
    EXPECT_FALSE(windows.HasWaiting(member));
    EXPECT_EQ(windows.stack, std::vector<Rec*>{na});
    EXPECT_TRUE(router.OpenNewestWaiting());
    EXPECT_EQ(windows.Take(), (Lines{"6 opens", "sound", "6 opens", "sound", "6 shows hello", "6 keeps hello"}));
    EXPECT_TRUE(windows.stack.empty());
    EXPECT_FALSE(router.OpenNewestWaiting());
}

}  // namespace
