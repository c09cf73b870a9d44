// The contact book: the user's friends, strangers, black list and groups
// with their members, and the one place where an id is resolved to the
// record it belongs to.
//
// The records are not the book's. The friend, stranger and group lists own
// them (a group owns its members), draw them and free them; the book looks
// them up in the lists' own maps, its shelves, so it never holds on to a
// record a list has let go of. The black list is ids only and is the book's.
//
// The book knows the records through `Records`:
//   Records::Record            what contacts and groups have in common; the
//                              book compares such pointers, never reads them
//   Records::User              a contact (friend, stranger, group member)
//   Records::Group             a group
//   Records::MembersOf(group)  the group's members by id, a
//                              const std::map<int, User*>&
//   Records::ChatOpen(user)    whether the contact has a chat window
// so that it needs no window or toolkit header: the client names its record
// types, and the tests plain ones of their own.
#pragma once

#include <map>
#include <set>

// Ids from here on are groups' (below are the friend and stranger lists'
// numbers).
constexpr int kFirstGroupId = 101;

template <class Records>
class ContactBook {
public:
    using Record = typename Records::Record;
    using User = typename Records::User;
    using Group = typename Records::Group;
    using Users = std::map<int, User*>;
    using Groups = std::map<int, Group*>;

    // Where a contact's record is kept.
    enum class Shelf { kFriend, kMember, kStranger };

    // The lists' maps the book looks in (a null one is an empty shelf).
    // They stay the lists' and must outlive the book's use of them.
    void SetShelves(const Users* friends, const Users* strangers, const Groups* groups)
    {
        friends_ = friends;
        strangers_ = strangers;
        groups_ = groups;
    }

    // ---- the black list: lines of its ids are not taken

    bool IsBlocked(int id) const { return blackList_.count(id) != 0; }
    void Block(int id) { blackList_.insert(id); }
    void Unblock(int id) { blackList_.erase(id); }
    std::set<int>& BlackList() { return blackList_; }
    const std::set<int>& BlackList() const { return blackList_; }

    // ---- one shelf (null when the id is not on it)

    User* Friend(int id) const { return Find(friends_, id); }
    User* Stranger(int id) const { return Find(strangers_, id); }
    Group* GroupOf(int gid) const { return Find(groups_, gid); }
    User* Member(int gid, int id) const;

    // ---- the client's rules

    // The member record a one-to-one line from `id` through `gid` goes to:
    // the one in group `gid` when that is a group's id; otherwise the one
    // whose chat window is open, else the first in ascending group order.
    User* MemberFor(int id, int gid) const;
    // The record a one-to-one line from `id` (through `gid`) belongs to: the
    // friend, else the member record (MemberFor), else the stranger; null for
    // a sender the client does not know. The black list is not looked at:
    // what becomes of a blocked sender's line is the router's to decide.
    User* SenderOf(int id, int gid) const;
    // The contact a file or picture transfer (through `gid`) is with: the
    // member record for a group's id, else the friend, else the stranger.
    User* PeerOf(int id, int gid) const;
    // Calls visit(Shelf, User*) for every record of the user: the friend,
    // the member record in each group (ascending group order), the stranger.
    template <class Visit>
    void ForEachRecordOf(int id, Visit visit) const;

    // Whether a pointer is a record the book holds now: a friend, a
    // stranger, a group or a member of one. It is compared only, never read,
    // so a pointer to a record freed since it was handed out may be asked
    // about.
    bool Holds(const Record* rec) const;
    // A friend or stranger only; a group only.
    bool HoldsContact(const User* rec) const;
    bool HoldsGroup(const Group* rec) const;

private:
    template <class Map>
    static typename Map::mapped_type Find(const Map* map, int id)
    {
        if (!map) return nullptr;
        auto it = map->find(id);
        return it != map->end() ? it->second : nullptr;
    }
    static bool On(const Users* shelf, const Record* rec)
    {
        if (!shelf) return false;
        for (const auto& entry : *shelf)
            if (static_cast<const Record*>(entry.second) == rec) return true;
        return false;
    }

    const Users* friends_ = nullptr;
    const Users* strangers_ = nullptr;
    const Groups* groups_ = nullptr;
    std::set<int> blackList_;
};

template <class Records>
typename ContactBook<Records>::User* ContactBook<Records>::Member(int gid, int id) const
{
    const Group* group = GroupOf(gid);
    return group ? Find(&Records::MembersOf(group), id) : nullptr;
}

template <class Records>
typename ContactBook<Records>::User* ContactBook<Records>::MemberFor(int id, int gid) const
{
    if (gid >= kFirstGroupId) return Member(gid, id);
    if (!groups_) return nullptr;
    User* first = nullptr;
    for (const auto& entry : *groups_) {
        User* member = Find(&Records::MembersOf(entry.second), id);
        if (!member) continue;
        // The record whose chat window is open takes the line.
        if (Records::ChatOpen(member)) return member;
        if (!first) first = member;
    }
    return first;
}

template <class Records>
typename ContactBook<Records>::User* ContactBook<Records>::SenderOf(int id, int gid) const
{
    if (User* rec = Friend(id)) return rec;
    if (User* rec = MemberFor(id, gid)) return rec;
    return Stranger(id);
}

template <class Records>
typename ContactBook<Records>::User* ContactBook<Records>::PeerOf(int id, int gid) const
{
    if (gid >= kFirstGroupId) return Member(gid, id);
    if (User* rec = Friend(id)) return rec;
    return Stranger(id);
}

template <class Records>
template <class Visit>
void ContactBook<Records>::ForEachRecordOf(int id, Visit visit) const
{
    if (User* rec = Friend(id)) visit(Shelf::kFriend, rec);
    if (groups_)
        for (const auto& entry : *groups_)
            if (User* member = Find(&Records::MembersOf(entry.second), id)) visit(Shelf::kMember, member);
    if (User* rec = Stranger(id)) visit(Shelf::kStranger, rec);
}

template <class Records>
bool ContactBook<Records>::Holds(const Record* rec) const
{
    if (!rec) return false;
    if (On(friends_, rec) || On(strangers_, rec)) return true;
    if (!groups_) return false;
    for (const auto& entry : *groups_) {
        if (static_cast<const Record*>(entry.second) == rec) return true;
        if (On(&Records::MembersOf(entry.second), rec)) return true;
    }
    return false;
}

template <class Records>
bool ContactBook<Records>::HoldsContact(const User* rec) const
{
    return rec && (On(friends_, rec) || On(strangers_, rec));
}

template <class Records>
bool ContactBook<Records>::HoldsGroup(const Group* rec) const
{
    if (!rec || !groups_) return false;
    for (const auto& entry : *groups_)
        if (entry.second == rec) return true;
    return false;
}
