// The router of received lines. A line the heartbeat brings for a contact,
// a line of a group and a member's request to join a group each go to the
// chat window that shows them (and lines into the history) or wait, unread,
// in their record until its chat opens; opening the chat brings the lines
// that waited, oldest first. Lines of black-listed senders are dropped, and
// so are lines of a group the user is not in.
//
// The router decides; the window side carries it out through the
// RouterObserver it implements: asked whether a chat window is shown and
// what waits in a record, it is told to show, store, queue, open a chat,
// play the sound and list a sender nobody knew. Like the contact book, whose
// lookups it uses, the router includes no window header: it knows records
// and lines through `Records` (see ContactBook.h), and in addition
//   Records::Line   a received line, with `fromid`, `gid` and `content`
//                   (its body, whose size() counts its bytes)
#pragma once

#include "Lum/contacts/ContactBook.h"

#include <cstddef>
#include <vector>

template <class Records>
class RouterObserver {
public:
    using Record = typename Records::Record;
    using User = typename Records::User;
    using Group = typename Records::Group;
    using Line = typename Records::Line;

    virtual ~RouterObserver() = default;

    // ---- asked

    // Whether the record's chat window is open and shown.
    virtual bool ChatShown(const Record* rec) = 0;
    // Whether lines wait in the record.
    virtual bool HasWaiting(const Record* rec) = 0;
    // The lines waiting in the record, oldest first.
    virtual std::vector<Line> WaitingLines(const Record* rec) = 0;
    // The record whose line waits the newest (null when nothing waits).
    virtual Record* NewestWaiting() = 0;

    // ---- told

    // A sender nobody knew is listed as a stranger (who is asked about).
    virtual void ListStranger(int id) = 0;
    // The sender of a group's line is listed among its members (and asked
    // about).
    virtual void ListMember(Group* group, int id) = 0;
    virtual void PlaySound(bool group) = 0;
    // The line in the contact's shown chat window, which flashes while the
    // user is elsewhere.
    virtual void ShowLine(User* rec, const Line& line) = 0;
    // The line in the group's shown chat window, whose member list is shown
    // anew when the line brought a new member; false when the line shows
    // nothing.
    virtual bool ShowLine(Group* group, const Line& line, bool newMember) = 0;
    // A request to join in the group's shown chat window, with the links
    // that accept or refuse it.
    virtual void ShowJoinRequest(Group* group, const Line& line) = 0;
    // A shown line into the history; `onWorker`: too long to be read on the
    // UI thread.
    virtual void StoreLine(User* rec, const Line& line, bool onWorker) = 0;
    virtual void StoreLine(Group* group, const Line& line, bool onWorker) = 0;
    // The line waits in the record, which goes on top of the waiting ones.
    virtual void Wait(Record* rec, const Line& line) = 0;
    // The record waits no more: its lines go, and it leaves the waiting ones.
    virtual void StopWaiting(Record* rec) = 0;
    // The record's chat window, made when it has none, is shown in front;
    // false when it has none.
    virtual bool OpenChatWindow(Record* rec) = 0;
    // A line that waited comes in again, the way the heartbeat brought it.
    virtual void Deliver(const Line& line) = 0;
};

template <class Records>
class IncomingRouter {
public:
    using Record = typename Records::Record;
    using User = typename Records::User;
    using Group = typename Records::Group;
    using Line = typename Records::Line;

    // `shownBytes`: the longest body a chat window shows whole; a longer
    // line is stored in the history on a worker.
    IncomingRouter(const ContactBook<Records>& book, RouterObserver<Records>& observer, size_t shownBytes)
        : book_(book), observer_(observer), shownBytes_(shownBytes)
    {
    }

    // A one-to-one line: to the friend, the member record or the stranger
    // who sent it (a sender nobody knew is listed as a stranger first).
    void RouteUserLine(const Line& line);
    // A member's request to join a group the user owns.
    void RouteJoinRequest(const Line& line);
    // A group's line; false when the group is not the user's.
    bool RouteGroupLine(const Line& line);

    // The chat of a record the book holds, opened and shown in front; the
    // lines waiting in the record come in again, so that they are shown and
    // stored, and the record is left waiting for the caller to let go of.
    // False for a record not held or a chat window that could not be made.
    bool ShowChat(Record* rec);
    // A chat opened by the user from a list, the search or the message
    // centre: with lines waiting, ShowChat, after which the record waits no
    // more; without, the chat window opened and shown.
    void OpenChat(Record* rec);
    // The tray's and the hotkey's: the chat of the newest waiting record,
    // which then waits no more; false when nothing waits.
    bool OpenNewestWaiting();

private:
    bool Long(const Line& line) const { return line.content.size() > shownBytes_; }

    const ContactBook<Records>& book_;
    RouterObserver<Records>& observer_;
    size_t shownBytes_;
};

template <class Records>
void IncomingRouter<Records>::RouteUserLine(const Line& line)
{
    if (book_.IsBlocked(line.fromid) || line.fromid <= 0 || line.gid <= 0) return;
    User* rec = book_.SenderOf(line.fromid, line.gid);
    if (!rec) {
        observer_.ListStranger(line.fromid);
        rec = book_.Stranger(line.fromid);
        if (!rec) return;
    }
    observer_.PlaySound(false);
    if (observer_.ChatShown(rec)) {
        observer_.ShowLine(rec, line);
        observer_.StoreLine(rec, line, Long(line));
        return;
    }
    observer_.Wait(rec, line);
}

template <class Records>
void IncomingRouter<Records>::RouteJoinRequest(const Line& line)
{
    Group* group = book_.GroupOf(line.gid);
    if (!group) return;
    if (observer_.ChatShown(group)) {
        observer_.ShowJoinRequest(group, line);
        return;
    }
    observer_.Wait(group, line);
}

template <class Records>
bool IncomingRouter<Records>::RouteGroupLine(const Line& line)
{
    Group* group = book_.GroupOf(line.gid);
    if (!group) return false;
    observer_.PlaySound(true);
    bool joined = false;
    if (line.fromid > 0 && !Records::MembersOf(group).count(line.fromid)) {
        observer_.ListMember(group, line.fromid);
        joined = true;
    }
    if (observer_.ChatShown(group)) {
        if (observer_.ShowLine(group, line, joined)) observer_.StoreLine(group, line, Long(line));
        return true;
    }
    observer_.Wait(group, line);
    return true;
}

template <class Records>
bool IncomingRouter<Records>::ShowChat(Record* rec)
{
    if (!book_.Holds(rec)) return false;
    if (!observer_.OpenChatWindow(rec)) return false;
    // The window is shown now: each line that waited is shown and stored.
    for (const Line& line : observer_.WaitingLines(rec)) observer_.Deliver(line);
    return true;
}

template <class Records>
void IncomingRouter<Records>::OpenChat(Record* rec)
{
    if (!rec) return;
    if (observer_.HasWaiting(rec)) {
        ShowChat(rec);
        observer_.StopWaiting(rec);
        return;
    }
    observer_.OpenChatWindow(rec);
}

template <class Records>
bool IncomingRouter<Records>::OpenNewestWaiting()
{
    Record* top = observer_.NewestWaiting();
    if (!top || !book_.Holds(top)) return false;
    ShowChat(top);
    // The record opened waits no more. Its lines may have gone to another
    // record as they came in again (a member who became a friend): that one
    // waits on top now, for the next click.
    if (book_.Holds(top)) observer_.StopWaiting(top);
    return true;
}
