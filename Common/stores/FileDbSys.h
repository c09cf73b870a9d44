// The system store KivSys.dll beside the program: remembered login accounts
// (table loginer) and the settings of every account (table Prefor).
//
// Texts are stored as the ANSI bytes, unconverted. Names and notes of
// loginer carry one trailing blank and are read back with it.
#pragma once

#include "Common/stores/FileDB.h"

#include <list>
#include <map>

class CFileDbSys : public CFileDB {
public:
    CFileDbSys() = default;
    ~CFileDbSys() = default;

    // Remembers or refreshes a login account. 1 on success, 0 on failure.
    int InsertUser(CDataUser* user) override;
    // Forgets the account with this user id (`gid` is not used).
    int DeleteUser(int id, int gid) override;
    virtual int Connect();

    // The remembered accounts, most recently used first; the caller owns the
    // records. Rows with an id below 1 are skipped. 1, or 0 on failure.
    int GetLoginerList(std::list<CDataUser*>* out);
    // Fills `user` from the account's row. 1 when found.
    int GetLoginer(CString phone, CDataUser* user);

    int InsertSysSet(int userId, CString key, CString value);
    // The settings of `userId` over the common ones (user id 0).
    int GetSysSet(int userId, std::map<CString, CString>* out);
    // One setting of exactly this user id (no fall-back to 0), or "".
    CString GetSysSet(int userId, CString key);
};
