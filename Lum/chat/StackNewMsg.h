// The contacts and groups with messages waiting in their records because no
// chat window was open when the messages came, the most recent sender on
// top. The tray flashes the top sender's head while the stack is not empty
// and a tray click opens the top sender's chat.
//
// The records are not owned: they belong to the friend, stranger and group
// lists. Used on the UI thread only.
#pragma once

#include "Common/records/Data.h"

#include <list>
#include <unordered_map>

class CStackNewMsg {
public:
    CStackNewMsg() = default;
    virtual ~CStackNewMsg();
    CStackNewMsg(const CStackNewMsg&) = delete;
    CStackNewMsg& operator=(const CStackNewMsg&) = delete;

    // Puts the record on top; a record further down is moved up, the top
    // record stays where it is.
    void Push(CData* record);
    // Removes the record's element and clears its unread messages; a record
    // that is not on the stack is left alone.
    void Remove(CData* record);
    // The top record (null when empty).
    CData* Top() const;
    // Removes the top element (the record is not touched).
    void Pop();
    // Counted from the list itself: the message centre empties the list
    // through GetList.
    int GetCount() const { return static_cast<int>(m_list.size()); }
    bool IsEmpty() const { return m_list.empty(); }
    bool Contains(const CData* record) const;
    // The records from the top down, as the message centre reads them (and
    // empties the list when it has shown them).
    std::list<CData*>* GetList() { return &m_list; }

private:
    // Where each record stands in the list, so that a record is found at
    // once however many senders wait (a heartbeat may bring hundreds); made
    // anew when the list was changed through GetList.
    void Reindex() const;

    std::list<CData*> m_list;  // front is the top
    mutable std::unordered_map<const CData*, std::list<CData*>::const_iterator> m_where;
};
