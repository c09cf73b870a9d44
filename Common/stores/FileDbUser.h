// The per-user contact and group store User.dll: contact lists and group
// members (table GroupUser) and groups (table GroupList).
//
// Texts are stored as the ANSI bytes, unconverted. Names and notes carry one
// trailing blank and are read back with it.
#pragma once

#include "Common/stores/FileDB.h"

#include <set>

class CDataGroup;

class CFileDbUser : public CFileDB {
public:
    CFileDbUser() = default;
    ~CFileDbUser() = default;

    // Writes the user's row of list m_nGroupId. 1 on success, 0 on failure.
    int InsertUser(CDataUser* user) override;
    // Deletes one row; 0 when gid is below 1 or the statement failed.
    int DeleteUser(int id, int gid) override;
    virtual int Connect(int userId);

    // Groups of a style (0 all, 1 styles 1 and 2, else that style); members
    // are not loaded. The caller owns the records.
    int GetGroupList(std::set<CDataGroup*>* out, int style);
    // The users of one list or group; m_nGroupId of the records stays 0.
    int GetGroupUserList(int gid, std::set<CDataUser*>* out);
    int InsertGroup(CDataGroup* group);
    int DeleteGroup(int id);
    int DeleteGroupUser(int gid);
};
