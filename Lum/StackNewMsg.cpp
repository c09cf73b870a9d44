#include "Lum/StackNewMsg.h"

#include <algorithm>

CStackNewMsg::~CStackNewMsg()
{
    // The elements go with the list; the records belong to the lists.
    m_list.clear();
}

void CStackNewMsg::Push(CData* record)
{
    if (!record) return;
    if (!m_list.empty() && m_list.front() == record) return;
    auto it = std::find(m_list.begin(), m_list.end(), record);
    if (it != m_list.end()) {
        m_list.erase(it);
    }
    m_list.push_front(record);
}

void CStackNewMsg::Remove(CData* record)
{
    auto it = std::find(m_list.begin(), m_list.end(), record);
    if (it == m_list.end()) return;
    m_list.erase(it);
    record->ClearUnreadNews();
}

CData* CStackNewMsg::Top() const
{
    return m_list.empty() ? nullptr : m_list.front();
}

void CStackNewMsg::Pop()
{
    if (m_list.empty()) return;
    m_list.pop_front();
}

bool CStackNewMsg::Contains(const CData* record) const
{
    return std::find(m_list.begin(), m_list.end(), record) != m_list.end();
}

int IsInBlackList(const std::set<int>& blackList, int id)
{
    return blackList.count(id) ? 1 : 0;
}
