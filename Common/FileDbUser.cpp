#include "Common/FileDbUser.h"

#include "Common/Data.h"

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
    CString where;
    where.Format("GroupUser where id=%d and gid=%d", user->m_nId, user->m_nGroupId);
    const bool exists = GetCount(where) > 0;
    const CString name = trailingBlank(user->m_bstrName), note = trailingBlank(user->m_bstrSign);
    CString sqlImage, sqlPlain;
    if (exists) {
        sqlImage.Format("update GroupUser set name=?,phone=?,note=?,rtime=?,headimg=? where id=%d and gid=%d",
                        user->m_nId, user->m_nGroupId);
        sqlPlain.Format("update GroupUser set name=?,phone=?,note=? where id=%d and gid=%d", user->m_nId,
                        user->m_nGroupId);
        return WriteRow(user->m_imgHead, sqlImage, {name, user->m_strPhone, note, user->m_strRTime}, 5, sqlPlain,
                        {name, user->m_strPhone, note});
    }
    sqlImage.Format("insert into GroupUser (id,gid,name,phone,note,rtime,headimg) values (%d,%d,?,?,?,?,?)",
                    user->m_nId, user->m_nGroupId);
    sqlPlain.Format("insert into GroupUser (id,gid,name,phone,note) values (%d,'%d',?,?,?)", user->m_nId,
                    user->m_nGroupId);
    return WriteRow(user->m_imgHead, sqlImage, {name, user->m_strPhone, note, user->m_strRTime}, 5, sqlPlain,
                    {name, user->m_strPhone, note});
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
    CString where;
    where.Format("GroupList where id=%d", group->m_nId);
    const bool exists = GetCount(where) > 0;
    const CString name = trailingBlank(group->m_bstrName), note = trailingBlank(group->m_bstrSign);
    CString sqlImage, sqlPlain;
    if (exists) {
        sqlImage.Format("update GroupList set name=?,style=%d,isMaster=%d,note=?,rtime=?,headimg=? where id=%d",
                        group->m_nStyle, group->m_nIsMaster, group->m_nId);
        sqlPlain.Format("update GroupList set name=?,style=%d,isMaster=%d,note=? where id=%d", group->m_nStyle,
                        group->m_nIsMaster, group->m_nId);
    } else {
        sqlImage.Format("insert into GroupList (id,name,style,isMaster,note,rtime,headimg) values (%d,?,%d,%d,?,?,?)",
                        group->m_nId, group->m_nStyle, group->m_nIsMaster);
        sqlPlain.Format("insert into GroupList (id,name,style,isMaster,note) values (%d,?,%d,%d,?)", group->m_nId,
                        group->m_nStyle, group->m_nIsMaster);
    }
    return WriteRow(group->m_imgHead, sqlImage, {name, note, group->m_strGroupRTime}, 4, sqlPlain, {name, note});
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
