// The client's records as the contact book knows them.
#pragma once

#include "Common/Data.h"
#include "Lum/ContactBook.h"

#include <map>

struct KivRecords {
    using Record = CData;
    using User = CDataUser;
    using Group = CDataGroup;

    static const std::map<int, CDataUser*>& MembersOf(const CDataGroup* group) { return group->m_mapMembers; }
    static bool ChatOpen(const CDataUser* rec) { return rec->m_dlgChat && rec->m_dlgChat->m_hWnd; }
};

using KivContactBook = ContactBook<KivRecords>;
