// Plain records and lines for the tests of the client's core (the contact
// book, the router of received lines), and the shelves they are kept on:
// the friend, stranger and group maps the lists keep in the client.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace core {

struct Rec {
    int id = 0;
    bool chatOpen = false;  // has a chat window
    bool chatShown = false;  // ... which is shown
};
struct User : Rec {};
struct Group : Rec {
    std::map<int, User*> members;
};

// 0 a one-to-one line, 1 a group's line, 2 a request to join a group.
enum LineKind { kUserLine, kGroupLine, kJoinRequest };

struct Line {
    int fromid = 0;
    int gid = 0;
    std::string content;
    LineKind kind = kUserLine;
};

struct Records {
    using Record = Rec;
    using User = core::User;
    using Group = core::Group;
    using Line = core::Line;

    static const std::map<int, User*>& MembersOf(const Group* group) { return group->members; }
    static bool ChatOpen(const User* rec) { return rec->chatOpen; }
};

// The lists' maps, and the records on them (owned here, as the lists own
// theirs).
struct Shelves {
    std::map<int, User*> friends, strangers;
    std::map<int, Group*> groups;

    User* AddFriend(int id) { return friends[id] = NewUser(id); }
    User* AddStranger(int id) { return strangers[id] = NewUser(id); }
    Group* AddGroup(int gid, const std::vector<int>& members = {})
    {
        groups_.push_back(std::make_unique<Group>());
        Group* group = groups_.back().get();
        group->id = gid;
        for (int id : members) group->members[id] = NewUser(id);
        return groups[gid] = group;
    }
    User* NewUser(int id)
    {
        users_.push_back(std::make_unique<User>());
        users_.back()->id = id;
        return users_.back().get();
    }

private:
    std::vector<std::unique_ptr<User>> users_;
    std::vector<std::unique_ptr<Group>> groups_;
};

}  // namespace core
