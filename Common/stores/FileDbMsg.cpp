#include "Common/stores/FileDbMsg.h"

#include "Common/records/Data.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* kCreateHistory =
    "create table history_msg(id INTEGER,gid INTEGER,tagmsg TEXT,type INTEGER,rtime TEXT,gtype INTEGER,msg TEXT,"
    "PRIMARY KEY(id,rtime))";

// The sub-second suffix that follows `last` (the digits after the point of
// the contact's latest line in that second; empty for the whole second):
// groups of three digits, the last one counted up, and a further group once
// it reaches 999. Each suffix sorts after the one before it, as text and as
// a fraction of the second, and there is always a next one.
CString nextSubSecond(const CString& last)
{
    const std::string digits = last.str();
    bool groups = !digits.empty() && digits.size() % 3 == 0;
    for (char ch : digits) groups = groups && ch >= '0' && ch <= '9';
    if (!groups) return CString((digits + "001").c_str());
    const int tail = std::atoi(digits.substr(digits.size() - 3).c_str());
    if (tail >= 999) return CString((digits + "001").c_str());
    char next[16];
    std::snprintf(next, sizeof next, "%03d", tail + 1);
    return CString((digits.substr(0, digits.size() - 3) + next).c_str());
}

// A keyword as a LIKE pattern that matches it literally: '%', '_' and the
// escape character itself lose their wildcard meaning.
CString likePattern(const CString& keyword)
{
    CString escaped = keyword;
    escaped.Replace("\\", "\\\\");
    escaped.Replace("%", "\\%");
    escaped.Replace("_", "\\_");
    return "%" + escaped + "%";
}

// "gid,id,rtime desc" -> "t.gid,t.id,t.rtime desc"
CString qualify(const CString& order)
{
    CString out = "t." + order;
    out.Replace(",", ",t.");
    return out;
}

}  // namespace

struct CFileDbMsg::Selection {
    CString where;                // with '?' placeholders
    std::vector<CString> params;  // UTF-8
    CString order;
};

CFileDbMsg::CFileDbMsg()
{
    // The lines' times are local times, so the buckets start at local day
    // starts (SQLite's 'now' alone is UTC).
    m_strTime[0] = "datetime(rtime)>=datetime('now','localtime','start of day') and datetime(rtime)<datetime('now','localtime','+1 day','start of day')";
    m_strTime[1] = "datetime(rtime)>=datetime('now','localtime','-7 day','start of day') and datetime(rtime)<datetime('now','localtime','start of day')";
    m_strTime[2] = "datetime(rtime)>=datetime('now','localtime','-38 day','start of day') and datetime(rtime)<datetime('now','localtime','-7 day','start of day')";
    m_strTime[3] = "datetime(rtime)>=datetime('now','localtime','-219 day','start of day') and datetime(rtime)<datetime('now','localtime','-38 day','start of day')";
    m_strTime[4] = "datetime(rtime)>=datetime('now','localtime','-585 day','start of day') and datetime(rtime)<datetime('now','localtime','-219 day','start of day')";
    m_strTime[5] = "datetime(rtime)<datetime('now','localtime','-585 day','start of day')";
}

CString CFileDbMsg::TimeCondition(int code) const
{
    return code >= 10 && code <= 15 ? m_strTime[code - 10] : CString();
}

int CFileDbMsg::InsertUser(CDataUser*)
{
    return 0;
}

int CFileDbMsg::DeleteUser(int, int)
{
    return 0;
}

int CFileDbMsg::Connect(int userId)
{
    if (userId <= 0) return 0;
    return Open(UserFolder(userId) + "/MsgRecords.dll", {kCreateHistory});
}

int CFileDbMsg::InsertMsg(int id, int gid, CString tagmsg, int type, CString rtime, int gtype, CString msg)
{
    if (!db) return 0;
    // One statement for every line (kept prepared), the values bound.
    const char* insert = "insert into history_msg (id,gid,tagmsg,type,rtime,gtype,msg) values (?,?,?,?,?,?,?)";
    const CString contact = IdText(id), list = IdText(gid), kind = IdText(type), group = IdText(gtype);
    const CString body = ConverToUTF8(tagmsg), text = ConverToUTF8(msg), time = ConverToUTF8(rtime);
    const int rc = ExecStatus(insert, {contact, list, body, kind, time, group, text});
    if (rc == SQLITE_DONE) return 1;
    if (rc == SQLITE_CONSTRAINT) {
        // The contact already has a line in this second: the line takes the
        // next sub-second slot instead of being lost.
        // Every text of this second, with or without a suffix, sorts below
        // the second followed by '/' (the character after '.').
        sqlite3_stmt* q = Prepare("select max(rtime) from history_msg where id=? and rtime>=? and rtime<?",
                                  {contact, time, time + "/"});
        if (q) {
            CString suffix;
            if (sqlite3_step(q) == SQLITE_ROW) {
                const CString last = filedb::ColumnText(q, 0);
                if (last.GetLength() > time.GetLength() + 1) suffix = last.Mid(time.GetLength() + 1);
            }
            sqlite3_finalize(q);
            if (Exec(insert, {contact, list, body, kind, time + "." + nextSubSecond(suffix), group, text})) return 1;
        }
    }
    // A line the store refuses is said, with its contact, where the person
    // running the program can see it.
    std::fprintf(stderr, "History line of contact %d (list or group %d) at %s not stored: %s\n", id, gid,
                 rtime.GetString(), sqlite3_errmsg(db));
    return 0;
}

CString CFileDbMsg::ContactCondition(int id, int gtype) const
{
    CString cond;
    // A group's lines are filed under the group id in gid (their id is the
    // sender's), for ordinary groups and groups of style 4 alike.
    if (gtype == 3 || gtype == 4)
        cond.Format("gid=%d and gtype=%d", id, gtype);
    else
        cond.Format("id=%d and gtype=%d", id, gtype);
    return cond;
}

CFileDbMsg::Selection CFileDbMsg::Select(int id, int code, int gtype, const CString& keyword) const
{
    Selection s;
    if (id != 0) {
        s.order = "rtime desc";
        if (code == 0)
            s.where.Format("id=%d and gid=%d", id, gtype);
        else if (code == 5 || code == 6)
            s.where.Format("gid=%d", id);
        else if (code >= 10 && code <= 15)
            s.where.Format("%s and %s", ContactCondition(id, gtype).GetString(), TimeCondition(code).GetString());
        else if (code <= 10000)
            s.where.Format("id=%d and gid in(1,2)", id);
        else
            s.where.Format("id=%d and gid=%d", id, 1);
        return s;
    }
    s.where = "msg like(?) escape '\\'";
    s.params.push_back(AnsiToUtf8(likePattern(keyword)));
    if (code == 0) {
        s.order = "gid,id,rtime desc";
    } else if (code == 5 || code == 6) {
        s.where.AppendFormat(" and gtype=%d", code == 5 ? 3 : 4);
        s.order = "gid,rtime desc";
    } else {
        s.where.AppendFormat(" and gid=%d", code);
        // The friend, stranger, black-list and notice folders hold one-to-one
        // lines only: a group whose id happens to be 1 to 4 is not among them.
        if (code >= 1 && code <= 4) s.where += " and gtype in (1,2)";
        s.order = "id,rtime desc";
    }
    return s;
}

void CFileDbMsg::getMsgRecords(int id, int code, int gtype, CString keyword, int page, char*** table, int* rows,
                               int* cols)
{
    Selection s = Select(id, code, gtype, keyword);
    CString sql;
    sql.Format("select substr(t.rtime,1,19) as rtime,t.tagmsg,t.id,t.gid,t.type,t.gtype from "
               "(select rtime,tagmsg,id,gid,type,gtype from history_msg where %s order by %s  Limit 10 offset 10*%d ) t "
               "order by %s",
               s.where.GetString(), s.order.GetString(), page, qualify(s.order).GetString());
    if (!GetRecord(sql, s.params, table, rows, cols) && table) *table = nullptr;
}

int CFileDbMsg::GetRecordCount(int id, int code, int gtype, CString keyword)
{
    Selection s = Select(id, code, gtype, keyword);
    CString sql;
    sql.Format("select count(*) as a from history_msg where %s", s.where.GetString());
    sqlite3_stmt* st = Prepare(sql, s.params);
    if (!st) return 1;
    int rc = sqlite3_step(st);
    int count = rc == SQLITE_ROW ? sqlite3_column_int(st, 0) : 0;
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW) return 1;
    m_nRecordCount = count;
    return count / 10 + (count % 10 > 0 ? 1 : 0);
}

int CFileDbMsg::DeleteAllGroupMsg(int id, int code, int gtype)
{
    if (code < 0) return 0;
    CString sql;
    if (id != 0 && gtype != 0)
        sql.Format("delete from history_msg where %s and gtype=%d", ContactCondition(id, gtype).GetString(), gtype);
    else if (id != 0)
        sql.Format("delete from history_msg where id=%d and gid=%d", id, code);
    else if (code >= 1 && code <= 4)
        // Folders of one-to-one lines: never the history of a real group
        // whose id is 1 to 4.
        sql.Format("delete from history_msg where gid=%d and gtype in (1,2)", code);
    else if (code == 5)
        sql = "delete from history_msg where gtype=3";
    else if (code == 6)
        sql = "delete from history_msg where gtype=4";
    else
        sql = "delete from history_msg";
    return Exec(sql);
}

int CFileDbMsg::DeleteTimeGroupMsg(int id, int code, int gtype)
{
    if (code < 0) return 0;
    CString sql;
    if (id != 0)
        sql.Format("delete from history_msg where %s and gtype=%d", ContactCondition(id, gtype).GetString(), gtype);
    else if (code >= 10 && code <= 15)
        sql.Format("delete from history_msg where %s", TimeCondition(code).GetString());
    else
        sql = "delete from history_msg";
    return Exec(sql);
}

void CFileDbMsg::getTimeGroup(CString condition, std::set<CDataUser*>* friends, std::set<CDataUser*>* strangers,
                              std::set<CDataGroup*>* groups, std::set<CDataGroup*>* discussions,
                              std::set<CDataUser*>* outUsers, std::set<CDataGroup*>* outGroups)
{
    CString sql;
    sql.Format("select id,gid,gtype from history_msg where %s", condition.GetString());
    sqlite3_stmt* st = Prepare(sql, {});
    if (!st) return;
    auto addUsers = [&](std::set<CDataUser*>* from, int id) {
        if (!from || !outUsers) return;
        for (CDataUser* u : *from)
            if (u && u->m_nId == id) outUsers->insert(u);
    };
    auto addGroups = [&](std::set<CDataGroup*>* from, int gid) {
        if (!from || !outGroups) return;
        for (CDataGroup* g : *from)
            if (g && g->m_nId == gid) outGroups->insert(g);
    };
    while (sqlite3_step(st) == SQLITE_ROW) {
        const int id = sqlite3_column_int(st, 0), gid = sqlite3_column_int(st, 1), gtype = sqlite3_column_int(st, 2);
        if (gid == 1)
            addUsers(friends, id);
        else if (gid == 2)
            addUsers(strangers, id);
        else if (gtype == 3)
            addGroups(groups, gid);
        else if (gtype == 4)
            addGroups(discussions, gid);
    }
    sqlite3_finalize(st);
}
