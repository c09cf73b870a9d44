#include "Common/records/Data.h"
#include "Common/stores/FileDbMsg.h"
#include "platform/codepage.h"
#include "tests/Common/FixedClock.h"
#include "tests/Common/ProgramFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace {

struct Row {
    std::string rtime, tagmsg;
    int id, gid, type, gtype;
};

class History : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(store.Connect(77), 1); }

    std::vector<Row> page(int id, int code, int gtype, const char* keyword, int pageIndex)
    {
        char** table = nullptr;
        int rows = -1, cols = -1;
        store.getMsgRecords(id, code, gtype, keyword, pageIndex, &table, &rows, &cols);
        std::vector<Row> out;
        if (!table) return out;
        EXPECT_EQ(cols, 6);
        EXPECT_STREQ(table[0], "rtime");
        EXPECT_STREQ(table[1], "tagmsg");
        EXPECT_STREQ(table[5], "gtype");
        for (int r = 1; r <= rows; ++r) {
            char** v = table + r * cols;
            out.push_back({v[0], v[1], atoi(v[2]), atoi(v[3]), atoi(v[4]), atoi(v[5])});
        }
        CFileDB::FreeRecord(table);
        return out;
    }

    // A local time text `days` days and `seconds` seconds after the start of
    // the current local day (the bucket bounds are local day starts).
    std::string dayStart(int days, int seconds = 0)
    {
        char sql[200];
        snprintf(sql, sizeof sql, "select datetime('now','localtime','start of day','%+d day','%+d second')", days,
                 seconds);
        return queryText(store.db, sql);
    }

    int count(const char* where)
    {
        return queryInt(store.db, (std::string("select count(*) from history_msg where ") + where).c_str());
    }

    ProgramFolder folder;
    CFileDbMsg store;
};

}  // namespace

TEST_F(History, CreatesTheTableExactly)
{
    EXPECT_EQ(schemaOf(store.db, "history_msg"),
              "CREATE TABLE history_msg(id INTEGER,gid INTEGER,tagmsg TEXT,type INTEGER,rtime TEXT,gtype "
              "INTEGER,msg TEXT,PRIMARY KEY(id,rtime))");
    EXPECT_EQ(store.GetRecordCount(5, 0, 1, ""), 0);
    EXPECT_EQ(store.Connect(0), 0);
}

TEST_F(History, PagesHoldTenLinesNewestFirst)
{
    CDataUser friend5;
    friend5.m_nId = 5;
    friend5.m_nGroupId = 1;
    for (int i = 1; i <= 25; ++i) {
        char t[32], body[32];
        snprintf(t, sizeof t, "2024-05-01 10:00:%02d", i);
        snprintf(body, sizeof body, "line %d", i);
        ASSERT_EQ(friend5.UpdateMsgToHistory(body, body, i % 2, t, &store), 1);
    }
    EXPECT_EQ(store.GetRecordCount(5, 0, 1, ""), 3);
    EXPECT_EQ(store.m_nRecordCount, 25);
    auto first = page(5, 0, 1, "", 0);
    ASSERT_EQ(first.size(), 10u);
    EXPECT_EQ(first.front().tagmsg, "line 25");
    EXPECT_EQ(first.back().tagmsg, "line 16");
    EXPECT_EQ(first.front().gid, 1);
    EXPECT_EQ(first.front().gtype, 1);
    EXPECT_EQ(first.front().type, 1);
    auto last = page(5, 0, 1, "", 2);
    ASSERT_EQ(last.size(), 5u);
    EXPECT_EQ(last.front().tagmsg, "line 5");
    EXPECT_EQ(last.back().tagmsg, "line 1");
    // Other codes up to 10000 look the contact up as friend or stranger.
    EXPECT_EQ(store.GetRecordCount(5, 1, 1, ""), 3);
    EXPECT_EQ(page(5, 20000, 1, "", 0).size(), 10u);
}

TEST_F(History, EveryLineOfOneSecondIsKeptInOrder)
{
    for (int n : {2, 10}) {
        const int id = 100 + n;
        for (int i = 0; i < n; ++i) {
            char body[32];
            snprintf(body, sizeof body, "burst %d", i);
            ASSERT_EQ(store.InsertMsg(id, 1, body, 0, dayStart(0, 3600), 1, body), 1) << "line " << i;
        }
        EXPECT_EQ(count(("id=" + std::to_string(id)).c_str()), n);
        auto rows = page(id, 0, 1, "", 0);
        ASSERT_EQ(rows.size(), static_cast<size_t>(n));
        EXPECT_EQ(rows.front().tagmsg, "burst " + std::to_string(n - 1));
        EXPECT_EQ(rows.back().tagmsg, "burst 0");
        for (const Row& r : rows) EXPECT_EQ(r.rtime, dayStart(0, 3600));  // shown to the second
        // The lines stay in today's bucket.
        EXPECT_EQ(store.GetRecordCount(id, 10, 1, ""), 1);
        EXPECT_EQ(store.m_nRecordCount, n);
    }
    // Another contact in the same second is unaffected.
    EXPECT_EQ(store.InsertMsg(300, 1, "x", 0, dayStart(0, 3600), 1, "x"), 1);
    EXPECT_EQ(queryText(store.db, "select rtime from history_msg where id=300"), dayStart(0, 3600));
}

TEST_F(History, KeywordsAreFoundLiterallyInUtf8)
{
    ASSERT_EQ(store.InsertMsg(1, 1, "<msg>明天考试</msg>", 0, "2024-05-01 08:00:00", 1, "明天考试"), 1);
    ASSERT_EQ(store.InsertMsg(1, 1, "<msg>it's 100% done</msg>", 1, "2024-05-01 08:00:01", 1, "it's 100% done"), 1);
    ASSERT_EQ(store.InsertMsg(2, 1, "<msg>1000 done</msg>", 0, "2024-05-01 08:00:02", 1, "1000 done"), 1);
    ASSERT_EQ(store.InsertMsg(3, 2, "<msg>a_b</msg>", 0, "2024-05-01 08:00:03", 2, "a_b"), 1);
    ASSERT_EQ(store.InsertMsg(4, 2, "<msg>axb</msg>", 0, "2024-05-01 08:00:04", 2, "axb'); delete from x;--"), 1);

    auto chinese = page(0, 0, 0, "考试", 0);
    ASSERT_EQ(chinese.size(), 1u);
    EXPECT_EQ(chinese[0].tagmsg, "<msg>明天考试</msg>");
    EXPECT_EQ(page(0, 0, 0, "100%", 0).size(), 1u);
    EXPECT_EQ(page(0, 0, 0, "0%", 0).size(), 1u);  // "1000 done" has no percent sign
    EXPECT_EQ(page(0, 0, 0, "a_b", 0).size(), 1u);
    EXPECT_EQ(page(0, 0, 0, "it's", 0).size(), 1u);
    EXPECT_EQ(page(0, 0, 0, "'); delete", 0).size(), 1u);
    EXPECT_EQ(store.GetRecordCount(0, 0, 0, "done"), 1);
    EXPECT_EQ(store.m_nRecordCount, 2);
    // Searching one folder: strangers only.
    EXPECT_EQ(store.GetRecordCount(0, 2, 0, "a"), 1);
    EXPECT_EQ(store.m_nRecordCount, 2);
}

TEST_F(History, KeywordSearchWorksWithAGbkCodePage)
{
    ASSERT_TRUE(SetAnsiCodePage(CP_GBK));
    const std::string gbkLine = ConvertCodePage(CP_UTF8, CP_GBK, "明天考试");
    const std::string gbkWord = ConvertCodePage(CP_UTF8, CP_GBK, "考试");
    EXPECT_EQ(store.InsertMsg(1, 1, gbkLine.c_str(), 0, "2024-05-01 08:00:00", 1, gbkLine.c_str()), 1);
    auto rows = page(0, 0, 0, gbkWord.c_str(), 0);
    SetAnsiCodePage(CP_UTF8);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].tagmsg, "明天考试");  // stored and handed out as UTF-8
}

TEST_F(History, AgeBucketsStartAtDayBoundaries)
{
    struct Case {
        int days, seconds, bucket;
    } cases[] = {
        {0, 0, 10}, {0, 86399, 10}, {-1, 86399, 11}, {-7, 0, 11}, {-7, -1, 12},
        {-38, 0, 12}, {-38, -1, 13}, {-219, -1, 14}, {-585, 0, 14}, {-585, -1, 15},
    };
    int id = 1;
    for (const Case& c : cases) {
        ASSERT_EQ(store.InsertMsg(id, 1, "x", 0, dayStart(c.days, c.seconds), 1, "x"), 1);
        for (int bucket = 10; bucket <= 15; ++bucket) {
            store.GetRecordCount(id, bucket, 1, "");
            EXPECT_EQ(store.m_nRecordCount, bucket == c.bucket ? 1 : 0)
                << dayStart(c.days, c.seconds) << " in bucket " << bucket;
        }
        ++id;
    }
    ASSERT_EQ(store.InsertMsg(id, 1, "x", 0, dayStart(1), 1, "x"), 1);  // tomorrow: no bucket
    for (int bucket = 10; bucket <= 15; ++bucket) {
        store.GetRecordCount(id, bucket, 1, "");
        EXPECT_EQ(store.m_nRecordCount, 0);
    }
}

TEST(HistoryDays, TodayIsTheLocalDayEastOfUtc)
{
    // 03:00 on 10 March 2026 at UTC+8, still 9 March in UTC.
    struct tm at = {};
    at.tm_year = 2026 - 1900;
    at.tm_mon = 2;
    at.tm_mday = 9;
    at.tm_hour = 19;
    const time_t now = timegm(&at);
    FixedClock clock(now, "CST-8");
    ProgramFolder folder;
    CFileDbMsg store;
    ASSERT_EQ(store.Connect(78), 1);
    struct Case {
        const char* rtime;
        int bucket;
    } cases[] = {
        {"2026-03-10 00:00:05", 10}, {"2026-03-10 02:59:59", 10}, {"2026-03-09 23:59:59", 11},
        {"2026-03-09 00:00:00", 11}, {"2026-03-03 00:00:00", 11}, {"2026-03-02 23:59:59", 12},
    };
    int id = 1;
    for (const Case& c : cases) {
        ASSERT_EQ(store.InsertMsg(id, 1, "x", 0, c.rtime, 1, "x"), 1);
        for (int bucket = 10; bucket <= 15; ++bucket) {
            store.GetRecordCount(id, bucket, 1, "");
            EXPECT_EQ(store.m_nRecordCount, bucket == c.bucket ? 1 : 0) << c.rtime << " in bucket " << bucket;
        }
        ++id;
    }
}

TEST_F(History, OneContactsLinesOfOneSecondNeverRunOutOfPlaces)
{
    // More lines than three digits of a second can tell apart.
    const int lines = 1205;
    for (int i = 0; i < lines; ++i) {
        char body[32];
        snprintf(body, sizeof body, "burst %d", i);
        ASSERT_EQ(store.InsertMsg(9, 1, body, 0, "2024-05-01 10:00:00", 1, body), 1) << "line " << i;
    }
    EXPECT_EQ(count("id=9"), lines);
    // Newest first, across the place where the suffixes grow longer.
    EXPECT_EQ(store.GetRecordCount(9, 0, 1, ""), (lines + 9) / 10);
    for (int p : {0, 20, 120}) {
        auto rows = page(9, 0, 1, "", p);
        ASSERT_FALSE(rows.empty());
        for (size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].tagmsg, "burst " + std::to_string(lines - 1 - p * 10 - static_cast<int>(i)));
            EXPECT_EQ(rows[i].rtime, "2024-05-01 10:00:00");
        }
    }
}

TEST_F(History, ARefusedLineIsReportedWithItsContact)
{
    ASSERT_EQ(sqlite3_exec(store.db,
                           "create trigger refuse before insert on history_msg when new.msg='refused' "
                           "begin select raise(abort,'full'); end",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    CDataUser friend42;
    friend42.m_nId = 42;
    friend42.m_nGroupId = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(friend42.UpdateMsgToHistory("<msg>refused</msg>", "refused", 0, "2024-05-01 10:00:00", &store), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("contact 42"), std::string::npos) << said;
    EXPECT_NE(said.find("2024-05-01 10:00:00"), std::string::npos) << said;
    // Lines the store takes say nothing.
    testing::internal::CaptureStderr();
    EXPECT_EQ(friend42.UpdateMsgToHistory("<msg>kept</msg>", "kept", 0, "2024-05-01 10:00:00", &store), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(History, GroupsOfEveryStyleAreFoundByGroupId)
{
    CDataGroup discussion;
    discussion.m_nId = 900;
    discussion.m_nStyle = 4;
    CDataGroup classGroup;
    classGroup.m_nId = 901;
    classGroup.m_nStyle = 8;
    ASSERT_EQ(discussion.UpdateMsgToHistory(31, "a", "a", 0, dayStart(0, 10), &store), 1);
    ASSERT_EQ(discussion.UpdateMsgToHistory(32, "b", "b", 0, dayStart(0, 11), &store), 1);
    ASSERT_EQ(classGroup.UpdateMsgToHistory(31, "c", "c", 0, dayStart(0, 12), &store), 1);
    EXPECT_EQ(count("gid=900 and gtype=4"), 2);
    EXPECT_EQ(count("gid=901 and gtype=3"), 1);

    // Today's lines of the discussion group, whoever sent them.
    store.GetRecordCount(900, 10, 4, "");
    EXPECT_EQ(store.m_nRecordCount, 2);
    // Not the lines that sender 31 wrote elsewhere.
    store.GetRecordCount(31, 10, 4, "");
    EXPECT_EQ(store.m_nRecordCount, 0);
    EXPECT_EQ(page(900, 6, 4, "", 0).size(), 2u);

    // Deleting the discussion group's lines by contact takes its lines only.
    EXPECT_EQ(store.DeleteTimeGroupMsg(900, 10, 4), 1);
    EXPECT_EQ(count("gid=900"), 0);
    EXPECT_EQ(count("gid=901"), 1);
}

TEST_F(History, DeletionsByCategoryAndBucket)
{
    auto fill = [&] {
        sqlite3_exec(store.db, "delete from history_msg", nullptr, nullptr, nullptr);
        store.InsertMsg(5, 1, "f", 0, dayStart(0, 1), 1, "f");           // friend 5, today
        store.InsertMsg(5, 1, "f", 0, dayStart(-20), 1, "f");            // friend 5, a month bucket
        store.InsertMsg(6, 2, "s", 0, dayStart(-20), 2, "s");            // stranger 6
        store.InsertMsg(40, 3, "g", 0, dayStart(0, 2), 3, "g");          // a real group with id 3
        store.InsertMsg(41, 4, "g", 0, dayStart(0, 3), 4, "g");          // a style-4 group with id 4
        store.InsertMsg(42, 700, "g", 0, dayStart(0, 4), 3, "g");        // group 700
    };
    fill();
    EXPECT_EQ(store.DeleteTimeGroupMsg(5, 12, 1), 1);  // the whole contact, not only bucket 12
    EXPECT_EQ(count("id=5"), 0);
    EXPECT_EQ(count("1"), 4);

    fill();
    EXPECT_EQ(store.DeleteAllGroupMsg(0, 5, 0), 1);
    EXPECT_EQ(count("gtype=3"), 0);
    EXPECT_EQ(count("1"), 4);

    fill();
    // The black-list and notice folders hold no group history.
    EXPECT_EQ(store.DeleteAllGroupMsg(0, 3, 0), 1);
    EXPECT_EQ(store.DeleteAllGroupMsg(0, 4, 0), 1);
    EXPECT_EQ(count("1"), 6);
    EXPECT_EQ(store.DeleteAllGroupMsg(0, 1, 0), 1);
    EXPECT_EQ(count("1"), 4);

    EXPECT_EQ(store.DeleteAllGroupMsg(0, -1, 0), 0);
    EXPECT_EQ(count("1"), 4);
    EXPECT_EQ(store.DeleteAllGroupMsg(6, 2, 0), 1);  // one contact of a list
    EXPECT_EQ(count("1"), 3);

    fill();
    EXPECT_EQ(store.DeleteTimeGroupMsg(0, 12, 0), 1);  // the month bucket
    EXPECT_EQ(count("1"), 4);
    EXPECT_EQ(store.DeleteAllGroupMsg(0, 9, 0), 1);  // everything
    EXPECT_EQ(count("1"), 0);
}

TEST_F(History, TimeGroupsNameTheKnownContactsWithLines)
{
    CDataUser f1, f2, s1;
    f1.m_nId = 1;
    f2.m_nId = 2;
    s1.m_nId = 3;
    CDataGroup g1, d1;
    g1.m_nId = 500;
    d1.m_nId = 600;
    std::set<CDataUser*> friends{&f1, &f2}, strangers{&s1};
    std::set<CDataGroup*> groups{&g1}, discussions{&d1};
    store.InsertMsg(1, 1, "x", 0, dayStart(0, 5), 1, "x");
    store.InsertMsg(1, 1, "x", 0, dayStart(0, 6), 1, "x");
    store.InsertMsg(3, 2, "x", 0, dayStart(-3), 2, "x");
    store.InsertMsg(9, 1, "x", 0, dayStart(0, 7), 1, "x");  // unknown contact
    store.InsertMsg(77, 500, "x", 0, dayStart(0, 8), 3, "x");
    store.InsertMsg(78, 600, "x", 0, dayStart(0, 9), 4, "x");

    std::set<CDataUser*> users;
    std::set<CDataGroup*> found;
    store.getTimeGroup(store.TimeCondition(10), &friends, &strangers, &groups, &discussions, &users, &found);
    EXPECT_EQ(users, std::set<CDataUser*>{&f1});
    EXPECT_EQ(found, (std::set<CDataGroup*>{&g1, &d1}));
    users.clear();
    found.clear();
    store.getTimeGroup(store.TimeCondition(11), &friends, &strangers, &groups, &discussions, &users, &found);
    EXPECT_EQ(users, std::set<CDataUser*>{&s1});
    EXPECT_TRUE(found.empty());
}

TEST_F(History, ReopensAndReportsRefusedWrites)
{
    ASSERT_EQ(store.InsertMsg(1, 1, "<msg>旧消息</msg>", 1, "2023-01-01 00:00:00", 1, "旧消息"), 1);
    {
        CFileDbMsg again;
        ASSERT_EQ(again.Connect(77), 1);
        char** table = nullptr;
        int rows = 0, cols = 0;
        again.getMsgRecords(1, 0, 1, "", 0, &table, &rows, &cols);
        ASSERT_EQ(rows, 1);
        EXPECT_STREQ(table[cols + 1], "<msg>旧消息</msg>");
        CFileDB::FreeRecord(table);
    }
    sqlite3_exec(store.db, "drop table history_msg", nullptr, nullptr, nullptr);
    CDataUser u;
    u.m_nId = 1;
    u.m_nGroupId = 1;
    EXPECT_EQ(u.UpdateMsgToHistory("x", "x", 0, "2024-01-01 00:00:00", &store), 0);
    char** table = reinterpret_cast<char**>(1);
    int rows = 5, cols = 5;
    store.getMsgRecords(1, 0, 1, "", 0, &table, &rows, &cols);
    EXPECT_EQ(table, nullptr);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(cols, 0);
    EXPECT_EQ(store.GetRecordCount(1, 0, 1, ""), 1);
}

// A store whose file is no longer a database (its schema page overwritten)
// is set aside under a name with the time, bytes intact, and a new store
// takes its place; a store that opens is never moved.
TEST(DamagedStore, IsSetAsideWithItsBytesAndANewOneTakesItsPlace)
{
    ProgramFolder folder;
    const std::string path = folder.path() + "77/MsgRecords.dll";
    {
        CFileDbMsg store;
        ASSERT_EQ(store.Connect(77), 1);
        EXPECT_EQ(store.InsertMsg(5, 1, "<p>旧的</p>", 0, "2024-05-01 08:00:00", 1, "旧的"), 1);
    }
    {
        CFileDbMsg again;
        ASSERT_EQ(again.Connect(77), 1);
        EXPECT_TRUE(again.SetAsidePath().IsEmpty());
        EXPECT_EQ(again.GetCount("history_msg"), 1);
    }
    std::string bytes;
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        ASSERT_TRUE(f.good());
        f.seekp(100);
        f << std::string(3000, '\x5A');
        f.close();
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }

    CFileDbMsg store;
    ASSERT_EQ(store.Connect(77), 1);
    const std::string kept = store.SetAsidePath().str();
    EXPECT_TRUE(std::regex_match(kept, std::regex(".*/77/MsgRecords\\.dll\\.\\d{8}-\\d{6}(-\\d+)?\\.bad"))) << kept;
    std::ifstream in(kept, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
    EXPECT_EQ(store.GetCount("history_msg"), 0);
    EXPECT_EQ(store.InsertMsg(5, 1, "<p>新的</p>", 0, "2024-05-01 08:00:01", 1, "新的"), 1);
    EXPECT_EQ(store.GetCount("history_msg"), 1);
    EXPECT_EQ(schemaOf(store.db, "history_msg").empty(), false);
}
