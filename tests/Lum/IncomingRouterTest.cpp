// The router of received lines, with plain records and a window side that
// writes down what a person would see and hear: which chat shows a line,
// what the history keeps, what waits and in which order it comes back, and
// what is dropped (black-listed senders, groups the user is not in).
#include "Lum/IncomingRouter.h"
#include "tests/Lum/CoreRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using core::Group;
using core::Line;
using core::Rec;
using core::User;
using Router = IncomingRouter<core::Records>;
using Lines = std::vector<std::string>;

// The window side: chat windows, the history, the sound, the waiting records
// (their lines and the unread stack, newest on top) and the lists that take
// new strangers and members.
class Windows : public RouterObserver<core::Records> {
public:
    explicit Windows(core::Shelves& shelves) : shelves_(shelves) {}

    Router* router = nullptr;
    Lines seen;                                  // in order
    std::map<const Rec*, std::vector<Line>> waiting;
    std::vector<Rec*> stack;                     // the newest first
    bool listsStrangers = true;                  // the stranger list takes new ones
    std::vector<const Rec*> noWindow;            // chats that cannot be made

    Lines Take()
    {
        Lines taken;
        taken.swap(seen);
        return taken;
    }
    std::vector<std::string> WaitingIn(const Rec* rec) const
    {
        std::vector<std::string> texts;
        auto it = waiting.find(rec);
        if (it != waiting.end())
            for (const Line& line : it->second) texts.push_back(line.content);
        return texts;
    }

    bool ChatShown(const Rec* rec) override { return rec->chatShown; }
    bool HasWaiting(const Rec* rec) override { return !WaitingIn(rec).empty(); }
    std::vector<Line> WaitingLines(const Rec* rec) override
    {
        auto it = waiting.find(rec);
        return it != waiting.end() ? it->second : std::vector<Line>();
    }
    Rec* NewestWaiting() override { return stack.empty() ? nullptr : stack.front(); }

    void ListStranger(int id) override
    {
        seen.push_back("new stranger " + std::to_string(id));
        if (listsStrangers) shelves_.AddStranger(id);
    }
    void ListMember(Group* group, int id) override
    {
        seen.push_back("new member " + std::to_string(id) + " of " + std::to_string(group->id));
        group->members[id] = shelves_.NewUser(id);
    }
    void PlaySound(bool group) override { seen.push_back(group ? "group sound" : "sound"); }
    void ShowLine(User* rec, const Line& line) override { seen.push_back(Of(rec) + " shows " + line.content); }
    bool ShowLine(Group* group, const Line& line, bool newMember) override
    {
        seen.push_back(Of(group) + " shows " + std::to_string(line.fromid) + ": " + line.content +
                       (newMember ? " (members anew)" : ""));
        return !line.content.empty();
    }
    void ShowJoinRequest(Group* group, const Line& line) override
    {
        seen.push_back(Of(group) + " asks: " + std::to_string(line.fromid) + " would join");
    }
    void StoreLine(User* rec, const Line& line, bool onWorker) override
    {
        seen.push_back("history of " + std::to_string(rec->id) + ": " + line.content + (onWorker ? " (worker)" : ""));
    }
    void StoreLine(Group* group, const Line& line, bool onWorker) override
    {
        seen.push_back("history of group " + std::to_string(group->id) + ": " + line.content +
                       (onWorker ? " (worker)" : ""));
    }
    void Wait(Rec* rec, const Line& line) override
    {
        waiting[rec].push_back(line);
        stack.erase(std::remove(stack.begin(), stack.end(), rec), stack.end());
        stack.insert(stack.begin(), rec);
    }
    void StopWaiting(Rec* rec) override
    {
        waiting.erase(rec);
        stack.erase(std::remove(stack.begin(), stack.end(), rec), stack.end());
    }
    bool OpenChatWindow(Rec* rec) override
    {
        if (std::find(noWindow.begin(), noWindow.end(), rec) != noWindow.end()) return false;
        rec->chatOpen = rec->chatShown = true;
        seen.push_back("opens " + Of(rec));
        return true;
    }
    void Deliver(const Line& line) override
    {
        if (line.kind == core::kUserLine) router->RouteUserLine(line);
        else if (line.kind == core::kGroupLine) router->RouteGroupLine(line);
        else router->RouteJoinRequest(line);
    }

private:
    std::string Of(const Rec* rec) const
    {
        for (const auto& entry : shelves_.groups)
            if (entry.second == rec) return "group " + std::to_string(rec->id);
        return "chat " + std::to_string(rec->id);
    }

    core::Shelves& shelves_;
};

Line UserLine(int from, int gid, const std::string& text)
{
    return Line{from, gid, text, core::kUserLine};
}

Line GroupLine(int from, int gid, const std::string& text)
{
    return Line{from, gid, text, core::kGroupLine};
}

Line JoinRequest(int from, int gid)
{
    return Line{from, gid, "join", core::kJoinRequest};
}

class IncomingRouterTest : public ::testing::Test {
protected:
    // A chat window shows bodies of up to 8 bytes whole.
    IncomingRouterTest() : windows(shelves), router(book, windows, 8)
    {
        book.SetShelves(&shelves.friends, &shelves.strangers, &shelves.groups);
        windows.router = &router;
    }

    static User* Shown(User* rec)
    {
        rec->chatOpen = rec->chatShown = true;
        return rec;
    }

    core::Shelves shelves;
    ContactBook<core::Records> book;
    Windows windows;
    Router router;
};

TEST_F(IncomingRouterTest, ABlackListedSendersLineIsDroppedEvenFromAFriend)
{
    User* li = Shown(shelves.AddFriend(5));
    book.Block(5);
    router.RouteUserLine(UserLine(5, 1, "hello"));
    Shown(shelves.AddStranger(7));
    book.Block(7);
    router.RouteUserLine(UserLine(7, 2, "hello"));
    // No sound, no line, nothing waits, nobody is listed.
    EXPECT_EQ(windows.Take(), Lines{});
    EXPECT_TRUE(windows.stack.empty());

    // Lines without a sender or a list are dropped too.
    router.RouteUserLine(UserLine(0, 1, "x"));
    router.RouteUserLine(UserLine(9, 0, "x"));
    EXPECT_EQ(windows.Take(), Lines{});

    book.Unblock(5);
    router.RouteUserLine(UserLine(5, 1, "again"));
    EXPECT_EQ(windows.Take(), (Lines{"sound", "chat 5 shows again", "history of 5: again"}));
    EXPECT_EQ(book.Friend(5), li);
}

TEST_F(IncomingRouterTest, ALineForAShownChatIsShownAndStoredForAClosedOneItWaits)
{
    Shown(shelves.AddFriend(5));
    User* na = shelves.AddFriend(6);
    User* hidden = shelves.AddFriend(7);
    hidden->chatOpen = true;  // a chat window that is not shown

    router.RouteUserLine(UserLine(5, 1, "short"));
    router.RouteUserLine(UserLine(5, 1, "12345678"));
    router.RouteUserLine(UserLine(5, 1, "123456789"));
    EXPECT_EQ(windows.Take(), (Lines{"sound", "chat 5 shows short", "history of 5: short", "sound",
                                     "chat 5 shows 12345678", "history of 5: 12345678", "sound",
                                     "chat 5 shows 123456789", "history of 5: 123456789 (worker)"}));

    router.RouteUserLine(UserLine(6, 1, "one"));
    router.RouteUserLine(UserLine(7, 1, "two"));
    router.RouteUserLine(UserLine(6, 1, "three"));
    // Heard, not shown, not stored; the last sender on top.
    EXPECT_EQ(windows.Take(), (Lines{"sound", "sound", "sound"}));
    EXPECT_EQ(windows.WaitingIn(na), (std::vector<std::string>{"one", "three"}));
    EXPECT_EQ(windows.WaitingIn(hidden), std::vector<std::string>{"two"});
    EXPECT_EQ(windows.stack, (std::vector<Rec*>{na, hidden}));
}

TEST_F(IncomingRouterTest, ASenderNobodyKnewIsListedAsAStrangerOnce)
{
    router.RouteUserLine(UserLine(8, 2, "hi"));
    router.RouteUserLine(UserLine(8, 2, "there"));
    EXPECT_EQ(windows.Take(), (Lines{"new stranger 8", "sound", "sound"}));
    EXPECT_EQ(windows.WaitingIn(book.Stranger(8)), (std::vector<std::string>{"hi", "there"}));

    // A stranger the list did not take: the line goes nowhere, unheard.
    windows.listsStrangers = false;
    router.RouteUserLine(UserLine(9, 2, "lost"));
    EXPECT_EQ(windows.Take(), Lines{"new stranger 9"});
    EXPECT_EQ(windows.stack.size(), 1u);
}

TEST_F(IncomingRouterTest, AGroupLineForAGroupNotKnownIsDropped)
{
    shelves.AddGroup(2001, {6});
    EXPECT_FALSE(router.RouteGroupLine(GroupLine(6, 2009, "hi")));
    router.RouteJoinRequest(JoinRequest(7, 2009));
    EXPECT_EQ(windows.Take(), Lines{});
    EXPECT_TRUE(windows.stack.empty());
    // A member's one-to-one line through a group that is not known goes to
    // him as a stranger.
    router.RouteUserLine(UserLine(6, 2009, "psst"));
    EXPECT_EQ(windows.Take(), (Lines{"new stranger 6", "sound"}));
}

TEST_F(IncomingRouterTest, GroupLinesAndJoinRequestsShownOrWaiting)
{
    Group* chess = shelves.AddGroup(2001, {6});
    chess->chatOpen = chess->chatShown = true;
    EXPECT_TRUE(router.RouteGroupLine(GroupLine(6, 2001, "e4")));
    EXPECT_TRUE(router.RouteGroupLine(GroupLine(7, 2001, "e5")));
    EXPECT_TRUE(router.RouteGroupLine(GroupLine(7, 2001, "")));
    EXPECT_TRUE(router.RouteGroupLine(GroupLine(6, 2001, "Nf3456789")));
    router.RouteJoinRequest(JoinRequest(8, 2001));
    EXPECT_EQ(windows.Take(), (Lines{"group sound", "group 2001 shows 6: e4", "history of group 2001: e4",
                                     // A line from someone not yet listed lists him first.
                                     "group sound", "new member 7 of 2001", "group 2001 shows 7: e5 (members anew)",
                                     "history of group 2001: e5",
                                     // A line that shows nothing is not kept.
                                     "group sound", "group 2001 shows 7: ",
                                     "group sound", "group 2001 shows 6: Nf3456789",
                                     "history of group 2001: Nf3456789 (worker)",
                                     // A join request is shown, unheard and not kept.
                                     "group 2001 asks: 8 would join"}));
    EXPECT_NE(book.Member(2001, 7), nullptr);

    Group* choir = shelves.AddGroup(2002, {6});
    router.RouteJoinRequest(JoinRequest(8, 2002));
    router.RouteGroupLine(GroupLine(6, 2002, "la"));
    EXPECT_EQ(windows.Take(), Lines{"group sound"});
    EXPECT_EQ(windows.WaitingIn(choir), (std::vector<std::string>{"join", "la"}));
}

TEST_F(IncomingRouterTest, OpeningAChatBringsItsWaitingLinesOldestFirst)
{
    User* li = shelves.AddFriend(5);
    User* na = shelves.AddFriend(6);
    Group* choir = shelves.AddGroup(2002, {6});
    router.RouteUserLine(UserLine(5, 1, "older"));
    router.RouteUserLine(UserLine(6, 1, "a"));
    router.RouteJoinRequest(JoinRequest(8, 2002));
    router.RouteUserLine(UserLine(6, 1, "b"));
    router.RouteGroupLine(GroupLine(6, 2002, "la"));
    router.RouteUserLine(UserLine(6, 1, "c123456789"));
    windows.Take();

    router.OpenChat(na);
    EXPECT_EQ(windows.Take(), (Lines{"opens chat 6", "sound", "chat 6 shows a", "history of 6: a", "sound",
                                     "chat 6 shows b", "history of 6: b", "sound", "chat 6 shows c123456789",
                                     "history of 6: c123456789 (worker)"}));
    // Shown once: nothing waits in it any more, and the others still wait.
    EXPECT_TRUE(windows.WaitingIn(na).empty());
    EXPECT_EQ(windows.stack, (std::vector<Rec*>{choir, li}));

    router.OpenChat(choir);
    EXPECT_EQ(windows.Take(), (Lines{"opens group 2002", "group 2002 asks: 8 would join", "group sound",
                                     "group 2002 shows 6: la", "history of group 2002: la"}));
    EXPECT_EQ(windows.stack, std::vector<Rec*>{li});

    // A chat without waiting lines just opens (again).
    router.OpenChat(na);
    EXPECT_EQ(windows.Take(), Lines{"opens chat 6"});
}

TEST_F(IncomingRouterTest, AChatOfARecordNoListHoldsShowsNoLines)
{
    User* li = shelves.AddFriend(5);
    router.RouteUserLine(UserLine(5, 1, "a"));
    windows.Take();

    // A copy of the record (a member list's) is not what the lines wait in:
    // it opens no chat, and stops waiting.
    User* copy = shelves.NewUser(5);
    windows.waiting[copy] = {UserLine(5, 1, "copied")};
    EXPECT_FALSE(router.ShowChat(copy));
    router.OpenChat(copy);
    EXPECT_EQ(windows.Take(), Lines{});
    EXPECT_FALSE(windows.HasWaiting(copy));
    // Without waiting lines it opens as the list would open it.
    router.OpenChat(copy);
    EXPECT_EQ(windows.Take(), Lines{"opens chat 5"});

    // A chat window that cannot be made: the lines go on waiting.
    windows.noWindow.push_back(li);
    EXPECT_FALSE(router.ShowChat(li));
    EXPECT_EQ(windows.Take(), Lines{});
    EXPECT_EQ(windows.WaitingIn(li), std::vector<std::string>{"a"});
    EXPECT_FALSE(router.ShowChat(nullptr));
}

TEST_F(IncomingRouterTest, TheTrayOpensTheNewestWaitingChat)
{
    User* li = shelves.AddFriend(5);
    shelves.AddFriend(6);
    EXPECT_FALSE(router.OpenNewestWaiting());
    router.RouteUserLine(UserLine(5, 1, "first"));
    router.RouteUserLine(UserLine(6, 1, "second"));
    windows.Take();

    EXPECT_TRUE(router.OpenNewestWaiting());
    EXPECT_EQ(windows.Take(), (Lines{"opens chat 6", "sound", "chat 6 shows second", "history of 6: second"}));
    EXPECT_EQ(windows.stack, std::vector<Rec*>{li});
    EXPECT_TRUE(router.OpenNewestWaiting());
    EXPECT_EQ(windows.Take(), (Lines{"opens chat 5", "sound", "chat 5 shows first", "history of 5: first"}));
    EXPECT_TRUE(windows.stack.empty());
    EXPECT_FALSE(router.OpenNewestWaiting());

    // A waiting record no list holds any more is not opened.
    User* gone = shelves.NewUser(9);
    windows.Wait(gone, UserLine(9, 2, "late"));
    EXPECT_FALSE(router.OpenNewestWaiting());
    EXPECT_EQ(windows.Take(), Lines{});
}

TEST_F(IncomingRouterTest, TheTrayLetsGoOfTheChatItOpened)
{
    // 6 writes through the chess group before he is a friend: the line waits
    // in his member record. Then he becomes a friend.
    Group* chess = shelves.AddGroup(2001, {6});
    User* member = chess->members.at(6);
    router.RouteUserLine(UserLine(6, 2001, "hello"));
    User* na = shelves.AddFriend(6);
    windows.Take();

    // Opening the member's chat brings the line in again, a friend's now:
    // it waits for the friend's chat, and the member's waits no more.
    EXPECT_TRUE(router.OpenNewestWaiting());
    EXPECT_EQ(windows.Take(), (Lines{"opens chat 6", "sound"}));
    EXPECT_FALSE(windows.HasWaiting(member));
    EXPECT_EQ(windows.WaitingIn(na), std::vector<std::string>{"hello"});
    EXPECT_EQ(windows.stack, std::vector<Rec*>{na});
    // The next click shows it.
    EXPECT_TRUE(router.OpenNewestWaiting());
    EXPECT_EQ(windows.Take(), (Lines{"opens chat 6", "sound", "chat 6 shows hello", "history of 6: hello"}));
    EXPECT_TRUE(windows.stack.empty());
}

}  // namespace
