#include "Common/stores/FileDbSys.h"

#include "Common/Common.h"
#include "Common/records/Data.h"

namespace {

const char* kCreateLoginer =
    "CREATE TABLE loginer (id,name TEXT ,phone TEXT INTEGER PRIMARY KEY , pwd TEXT,note TEXT,LatelyLoginTime TEXT,"
    "rtime TEXT,headimg blob)";
const char* kCreatePrefor = "CREATE TABLE Prefor (userid INTEGER,key TEXT ,value TEXT, PRIMARY KEY (userid, key) )";
const char* kSelectLoginer = "select id,name,phone,pwd,note,rtime,headimg from loginer";

// Fills a record from a row of kSelectLoginer.
void fillLoginer(sqlite3_stmt* st, CDataUser* user)
{
    user->m_nId = sqlite3_column_int(st, 0);
    user->m_bstrName = filedb::ColumnText(st, 1);
    user->m_strPhone = filedb::ColumnText(st, 2);
    user->m_strPwd = filedb::ColumnText(st, 3);
    user->m_bstrSign = filedb::ColumnText(st, 4);
    user->m_strRTime = filedb::ColumnText(st, 5);
    if (Gdiplus::Bitmap* head = filedb::DecodeHead(sqlite3_column_blob(st, 6), sqlite3_column_bytes(st, 6))) {
        delete user->m_imgHead;
        user->m_imgHead = head;
    }
}

}  // namespace

int CFileDbSys::Connect()
{
    // Paths are the file system's own bytes and go to SQLite unchanged.
    return Open(CCommon().GetAppPath() + "KivSys.dll", {kCreateLoginer, kCreatePrefor});
}

int CFileDbSys::GetLoginerList(std::list<CDataUser*>* out)
{
    if (!out) return 0;
    sqlite3_stmt* st = Prepare(CString(kSelectLoginer) + " order by LatelyLoginTime desc", {});
    if (!st) return 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (sqlite3_column_int(st, 0) < 1) continue;
        auto* user = new CDataUser;
        fillLoginer(st, user);
        out->push_back(user);
    }
    sqlite3_finalize(st);
    return 1;
}

int CFileDbSys::GetLoginer(CString phone, CDataUser* user)
{
    if (!user) return 0;
    sqlite3_stmt* st = Prepare(CString(kSelectLoginer) + " where phone=?", {phone});
    if (!st) return 0;
    int found = sqlite3_step(st) == SQLITE_ROW;
    if (found) fillLoginer(st, user);
    sqlite3_finalize(st);
    return found;
}

int CFileDbSys::InsertUser(CDataUser* user)
{
    if (!user) return 0;
    const bool exists = GetCount("loginer where phone=?", {user->m_strPhone}) > 0;
    CString name, note;
    name.Format("%s ", static_cast<const char*>(user->m_bstrName));
    note.Format("%s ", static_cast<const char*>(user->m_bstrSign));
    const CString now = CTime::GetCurrentTime().Format("%Y-%m-%d %H:%M:%S");
    const CString& phone = user->m_strPhone;
    const CString& pwd = user->m_strPwd;
    CString sqlImage, sqlPlain;
    if (exists) {
        sqlImage.Format("update loginer set name=?,id=%d,pwd=?,note=?,LatelyLoginTime=?,rtime=?,headimg=? "
                        "where phone=?", user->m_nId);
        sqlPlain.Format("update loginer set name=?,id=%d,pwd=?,note=?,LatelyLoginTime=? where phone=?",
                        user->m_nId);
        return WriteRow(user->m_imgHead, sqlImage, {name, pwd, note, now, user->m_strRTime, phone}, 6, sqlPlain,
                        {name, pwd, note, now, phone});
    }
    sqlImage.Format("insert into loginer (id,name,phone,pwd,note,LatelyLoginTime,rtime,headimg) "
                    "values (%d,?,?,?,?,?,?,?)", user->m_nId);
    sqlPlain.Format("insert into loginer (id,name,phone,pwd,note,LatelyLoginTime) values (%d,?,?,?,?,?)",
                    user->m_nId);
    return WriteRow(user->m_imgHead, sqlImage, {name, phone, pwd, note, now, user->m_strRTime}, 7, sqlPlain,
                    {name, phone, pwd, note, now});
}

int CFileDbSys::DeleteUser(int id, int)
{
    CString sql;
    sql.Format("delete from loginer where id=%d", id);
    return Exec(sql);
}

int CFileDbSys::InsertSysSet(int userId, CString key, CString value)
{
    CString sql;
    sql.Format("Prefor where userID=%d and key=?", userId);
    if (GetCount(sql, {key}) > 0) {
        sql.Format("update Prefor set value=? where userID=%d and key=?", userId);
        return Exec(sql, {value, key});
    }
    sql.Format("insert into Prefor (userID,key,value) values (%d,?,?)", userId);
    return Exec(sql, {key, value});
}

int CFileDbSys::GetSysSet(int userId, std::map<CString, CString>* out)
{
    if (!out) return 0;
    CString sql;
    sql.Format("select key,value,userID from Prefor where userID in ('0','%d')", userId);
    sqlite3_stmt* st = Prepare(sql, {});
    if (!st) return 0;
    // The common rows first, so that the user's own value is the one left.
    std::map<CString, CString> own;
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (sqlite3_column_type(st, 1) == SQLITE_NULL) continue;
        auto& target = sqlite3_column_int(st, 2) == 0 ? *out : own;
        target[filedb::ColumnText(st, 0)] = filedb::ColumnText(st, 1);
    }
    sqlite3_finalize(st);
    for (auto& kv : own) (*out)[kv.first] = kv.second;
    return 1;
}

CString CFileDbSys::GetSysSet(int userId, CString key)
{
    CString sql;
    sql.Format("select value from Prefor where userID=%d and key=?", userId);
    sqlite3_stmt* st = Prepare(sql, {key});
    if (!st) return CString();
    CString value = sqlite3_step(st) == SQLITE_ROW ? filedb::ColumnText(st, 0) : CString();
    sqlite3_finalize(st);
    return value;
}
