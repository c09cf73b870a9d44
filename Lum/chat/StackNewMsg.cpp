#include "Lum/chat/StackNewMsg.h"

CStackNewMsg::~CStackNewMsg()
{
    // The elements go with the list; the records belong to the lists.
    m_list.clear();
}

void CStackNewMsg::Reindex() const
{
    if (m_where.size() == m_list.size()) return;
    m_where.clear();
    for (auto it = m_list.cbegin(); it != m_list.cend(); ++it) m_where[*it] = it;
}

void CStackNewMsg::Push(CData* record)
{
    if (!record) return;
    if (!m_list.empty() && m_list.front() == record) return;
    Reindex();
    auto found = m_where.find(record);
    if (found != m_where.end()) {
        m_list.splice(m_list.begin(), m_list, found->second);
        return;
    }
    m_list.push_front(record);
    m_where[record] = m_list.cbegin();
}

void CStackNewMsg::Remove(CData* record)
{
    Reindex();
    auto found = m_where.find(record);
    if (found == m_where.end()) return;
    m_list.erase(found->second);
    m_where.erase(found);
    record->ClearUnreadNews();
}

CData* CStackNewMsg::Top() const
{
    return m_list.empty() ? nullptr : m_list.front();
}

void CStackNewMsg::Pop()
{
    if (m_list.empty()) return;
    Reindex();
    m_where.erase(m_list.front());
    m_list.pop_front();
}

bool CStackNewMsg::Contains(const CData* record) const
{
    Reindex();
    return m_where.count(record) != 0;
}
