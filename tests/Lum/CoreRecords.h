// Plain records and lines for the tests of the client's core, and the maps
// the lists keep the records in.
#pragma once

#include <deque>
#include <initializer_list>
#include <map>
#include <string>

namespace core {

struct Rec {
    int id = 0;
    bool chatOpen = false;   // has a chat window
    bool chatShown = false;  // ... which is shown
};
struct User : Rec {};
struct Group : Rec {
    std::map<int, User*> members;
};

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

// The friend, stranger and group lists' maps; the records are owned here.
struct Shelves {
    std::map<int, User*> friends, strangers;
    std::map<int, Group*> groups;
    std::deque<User> users;
    std::deque<Group> groupRecords;

    User* NewUser(int id)
    {
        users.emplace_back();
        users.back().id = id;
        return &users.back();
    }
    User* AddFriend(int id) { return friends[id] = NewUser(id); }
    User* AddStranger(int id) { return strangers[id] = NewUser(id); }
    Group* AddGroup(int gid, std::initializer_list<int> members)
    {
        groupRecords.emplace_back();
        Group* group = &groupRecords.back();
        group->id = gid;
        for (int id : members) group->members[id] = NewUser(id);
        return groups[gid] = group;
    }
};

}  // namespace core
