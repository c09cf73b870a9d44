// The per-user message history MsgRecords.dll (table history_msg).
//
// Every chat line sent or received is one row: `id` the contact (or, in a
// group, the sender), `gid` the contact's list (1 friends, 2 strangers) or
// the group id, `tagmsg` the body with its markup, `type` 1 sent / 0
// received, `rtime` the local time "%Y-%m-%d %H:%M:%S", `gtype` the category
// (1 friend, 2 stranger, 3 group, 4 group of style 4), `msg` the plain text
// searched by keyword. Texts are stored as UTF-8; rows handed out are UTF-8.
//
// The table's key is (id, rtime). A second line of the same contact in the
// same second is stored with a sub-second suffix on its time
// ("2024-05-01 10:00:00.001", ".002", ...): SQLite's datetime() reads it as
// the same second, so the age buckets are unchanged, and the text still sorts
// in time order. Rows handed out carry the time without the suffix.
#pragma once

#include "Common/stores/FileDB.h"

#include <set>

class CDataGroup;

class CFileDbMsg : public CFileDB {
public:
    CFileDbMsg();
    ~CFileDbMsg() = default;

    // The history holds no user records: both do nothing and return 0.
    int InsertUser(CDataUser* user) override;
    int DeleteUser(int id, int gid) override;
    int Connect(int userId);

    // Stores one line (texts in the ANSI code page). 1 when stored, 0 when
    // SQLite refused it.
    int InsertMsg(int id, int gid, CString tagmsg, int type, CString rtime, int gtype, CString msg);
    // Deletes by contact or by category. 1 when the statement ran; 0 when it
    // failed or `code` is negative.
    int DeleteAllGroupMsg(int id, int code, int gtype);
    // Deletes a contact's lines, or an age bucket (codes 10 to 15).
    int DeleteTimeGroupMsg(int id, int code, int gtype);
    // One page of at most 10 lines, newest first, in SQLite's table layout
    // with the columns rtime, tagmsg, id, gid, type, gtype. Free the table
    // with FreeRecord. On failure the table is null and both counts 0.
    void getMsgRecords(int id, int code, int gtype, CString keyword, int page, char*** table, int* rows, int* cols);
    // Pages of 10 that getMsgRecords would page through (the line count is
    // kept in m_nRecordCount); 1 when the count fails.
    int GetRecordCount(int id, int code, int gtype, CString keyword);
    // Which of the given contacts and groups have lines matching `condition`
    // (one of the age-bucket conditions).
    void getTimeGroup(CString condition, std::set<CDataUser*>* friends, std::set<CDataUser*>* strangers,
                      std::set<CDataGroup*>* groups, std::set<CDataGroup*>* discussions,
                      std::set<CDataUser*>* outUsers, std::set<CDataGroup*>* outGroups);

    // The age-bucket condition of codes 10 to 15 ("" for other codes).
    CString TimeCondition(int code) const;

    int m_nRecordCount = 0;
    CString m_strTime[6];

private:
    struct Selection;
    Selection Select(int id, int code, int gtype, const CString& keyword) const;
    CString ContactCondition(int id, int gtype) const;
};
