// The contacts and groups with messages waiting in their records because no
// chat window was open when the messages came, the most recent sender on
// top. The tray flashes the top sender's head while the stack is not empty
// and a tray click opens the top sender's chat.
//
// The records are not owned: they belong to the friend, stranger and group
// lists. Used on the UI thread only.
#pragma once

#include "Common/Data.h"

#include <list>
#include <set>

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
    // The records from the top down, as the message centre reads them.
    std::list<CData*>* GetList() { return &m_list; }

private:
    std::list<CData*> m_list;  // front is the top
};

// 1 when `id` is in the black-list set, else 0.
int IsInBlackList(const std::set<int>& blackList, int id);
