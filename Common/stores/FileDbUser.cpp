#include "Common/stores/FileDbUser.h"

#include "Common/records/Data.h"

namespace {

const char* kCreateGroupUser =
    "CREATE TABLE GroupUser(id INTEGER,gid INTEGER,name TEXT, phone TEXT ,note TEXT, rtime TEXT,headimg blob, "
    "PRIMARY KEY (id, gid) )";
const char* kCreateGroupList =
    "CREATE TABLE GroupList(id INTEGER PRIMARY KEY, name TEXT ,style INTEGER, isMaster INTEGER,note TEXT,"
    "rtime TEXT,headimg blob)";

CString trailingBlank(const _bstr_t& text)
{
    CString s;
    s.Format("%s ", static_cast<const char*>(text));
    return s;
}

}  // namespace

int CFileDbUser::Connect(int userId)
{
    if (userId <= 0) return 0;
    return Open(UserFolder(userId) + "/User.dll", {kCreateGroupUser, kCreateGroupList});
}

int CFileDbUser::GetGroupList(std::set<CDataGroup*>* out, int style)
{
    if (!out) return 0;
    CString sql;
    if (style == 0)
        sql = "select id,name,style,isMaster,rtime,note,headimg from GroupList order by style desc";
    else if (style == 1)
        sql.Format("select id,name,style,isMaster,rtime,note,headimg from GroupList where style=%d or style=2", style);
    else
        sql.Format("select id,name,style,isMaster,rtime,note,headimg from GroupList where style=%d", style);
    sqlite3_stmt* st = Prepare(sql, {});
    if (!st) return 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (sqlite3_column_int(st, 0) < 1) continue;
        auto* group = new CDataGroup;
        group->m_nId = sqlite3_column_int(st, 0);
        group->m_bstrName = filedb::ColumnText(st, 1);
        group->m_nStyle = sqlite3_column_int(st, 2);
        group->m_nIsMaster = sqlite3_column_int(st, 3);
        group->m_strGroupRTime = filedb::ColumnText(st, 4);
        group->m_bstrSign = filedb::ColumnText(st, 5);
        group->m_imgHead = filedb::DecodeHead(sqlite3_column_blob(st, 6), sqlite3_column_bytes(st, 6));
        out->insert(group);
    }
    sqlite3_finalize(st);
    return 1;
}

int CFileDbUser::GetGroupUserList(int gid, std::set<CDataUser*>* out)
{
    if (!out) return 0;
    CString sql;
    sql.Format("select id,name,phone,note,rtime,headimg from GroupUser where gid=%d", gid);
    sqlite3_stmt* st = Prepare(sql, {});
    if (!st) return 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (sqlite3_column_int(st, 0) < 1) continue;
        auto* user = new CDataUser;
        user->m_nId = sqlite3_column_int(st, 0);
        user->m_bstrName = filedb::ColumnText(st, 1);
        user->m_strPhone = filedb::ColumnText(st, 2);
        user->m_bstrSign = filedb::ColumnText(st, 3);
        user->m_strRTime = filedb::ColumnText(st, 4);
        user->m_imgHead = filedb::DecodeHead(sqlite3_column_blob(st, 5), sqlite3_column_bytes(st, 5));
        out->insert(user);
    }
    sqlite3_finalize(st);
    return 1;
}

int CFileDbUser::InsertUser(CDataUser* user)
{
    if (!user) return 0;
    // The same statements for every row (kept prepared), the values bound.
    const CString id = IdText(user->m_nId), gid = IdText(user->m_nGroupId);
    const bool exists = GetCount("GroupUser where id=? and gid=?", {id, gid}) > 0;
    const CString name = trailingBlank(user->m_bstrName), note = trailingBlank(user->m_bstrSign);
    if (exists)
        return WriteRow(user->m_imgHead, "update GroupUser set name=?,phone=?,note=?,rtime=?,headimg=? where id=? and gid=?",
                        {name, user->m_strPhone, note, user->m_strRTime, id, gid}, 5,
                        "update GroupUser set name=?,phone=?,note=? where id=? and gid=?",
                        {name, user->m_strPhone, note, id, gid});
    return WriteRow(user->m_imgHead, "insert into GroupUser (id,gid,name,phone,note,rtime,headimg) values (?,?,?,?,?,?,?)",
                    {id, gid, name, user->m_strPhone, note, user->m_strRTime}, 7,
                    "insert into GroupUser (id,gid,name,phone,note) values (?,?,?,?,?)",
                    {id, gid, name, user->m_strPhone, note});
}

int CFileDbUser::DeleteUser(int id, int gid)
{
    if (gid < 1) return 0;
    CString sql;
    sql.Format("delete from GroupUser where id=%d and gid=%d", id, gid);
    return Exec(sql);
}

int CFileDbUser::InsertGroup(CDataGroup* group)
{
    if (!group) return 0;
    const CString id = IdText(group->m_nId), style = IdText(group->m_nStyle), master = IdText(group->m_nIsMaster);
    const bool exists = GetCount("GroupList where id=?", {id}) > 0;
    const CString name = trailingBlank(group->m_bstrName), note = trailingBlank(group->m_bstrSign);
    if (exists)
        return WriteRow(group->m_imgHead, "update GroupList set name=?,style=?,isMaster=?,note=?,rtime=?,headimg=? where id=?",
                        {name, style, master, note, group->m_strGroupRTime, id}, 6,
                        "update GroupList set name=?,style=?,isMaster=?,note=? where id=?", {name, style, master, note, id});
    return WriteRow(group->m_imgHead,
                    "insert into GroupList (id,name,style,isMaster,note,rtime,headimg) values (?,?,?,?,?,?,?)",
                    {id, name, style, master, note, group->m_strGroupRTime}, 7,
                    "insert into GroupList (id,name,style,isMaster,note) values (?,?,?,?,?)", {id, name, style, master, note});
}

int CFileDbUser::DeleteGroup(int id)
{
    if (id < 1) return 0;
    CString sql;
    sql.Format("delete from GroupList where id=%d", id);
    return Exec(sql);
}

int CFileDbUser::DeleteGroupUser(int gid)
{
    if (gid < 1) return 0;
    CString sql;
    sql.Format("delete from GroupUser where gid=%d", gid);
    return Exec(sql);
}
