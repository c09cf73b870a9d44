// The client's records and received lines as the contact book and the
// router of received lines know them.
#pragma once

#include "Common/records/Data.h"
#include "Lum/contacts/ContactBook.h"
#include "Lum/chat/IncomingRouter.h"
#include "Lum/protocol/LumService_types.h"

#include <map>

struct KivRecords {
    using Record = CData;
    using User = CDataUser;
    using Group = CDataGroup;
    using Line = lum_thrift::StructMessage;

    static const std::map<int, CDataUser*>& MembersOf(const CDataGroup* group) { return group->m_mapMembers; }
    static bool ChatOpen(const CDataUser* rec) { return rec->m_dlgChat && rec->m_dlgChat->m_hWnd; }
};

using KivContactBook = ContactBook<KivRecords>;
using KivRouter = IncomingRouter<KivRecords>;
