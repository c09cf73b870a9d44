#include "Common/records/Data.h"
#include "Common/stores/FileDbSys.h"
#include "Common/stores/FileDbUser.h"
#include "tests/Common/ProgramFolder.h"
#include "tests/platform/TestServices.h"

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

namespace {

Gdiplus::Bitmap* solidHead(BYTE r, BYTE g, BYTE b)
{
    auto* bmp = new Gdiplus::Bitmap(40, 40, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics(bmp).Clear(Gdiplus::Color(255, r, g, b));
    return bmp;
}

Gdiplus::ARGB pixel(Gdiplus::Bitmap* bmp, int x, int y)
{
    Gdiplus::Color c;
    bmp->GetPixel(x, y, &c);
    return c.GetValue();
}

CDataUser* account(int id, const char* phone, const char* name)
{
    auto* u = new CDataUser;
    u->m_nId = id;
    u->m_strPhone = phone;
    u->m_bstrName = name;
    u->m_strPwd = "secret";
    return u;
}

void freeAll(std::list<CDataUser*>& list)
{
    for (CDataUser* u : list) delete u;
    list.clear();
}

}  // namespace

TEST(SysStore, CreatesTheTablesExactlyAsStoredFilesExpect)
{
    ProgramFolder folder;
    CFileDbSys sys;
    ASSERT_EQ(sys.Connect(), 1);
    EXPECT_EQ(schemaOf(sys.db, "loginer"),
              "CREATE TABLE loginer (id,name TEXT ,phone TEXT INTEGER PRIMARY KEY , pwd TEXT,note TEXT,"
              "LatelyLoginTime TEXT,rtime TEXT,headimg blob)");
    EXPECT_EQ(schemaOf(sys.db, "Prefor"),
              "CREATE TABLE Prefor (userid INTEGER,key TEXT ,value TEXT, PRIMARY KEY (userid, key) )");
    EXPECT_TRUE(PathFileExists((folder.path() + "KivSys.dll").c_str()));
}

TEST(SysStore, ConnectFailsWhereTheFileCannotBeMade)
{
    CFileDbSys sys;
    {
        TestServices services;
        services.SetProgramFolder("/nonexistent-lum-folder/sub/");
        EXPECT_EQ(sys.Connect(), 0);
        EXPECT_EQ(sys.db, nullptr);
    }
    // An unconnected store refuses writes instead of claiming success.
    std::unique_ptr<CDataUser> u(account(5, "13800000005", "x"));
    EXPECT_EQ(sys.InsertUser(u.get()), 0);
    EXPECT_EQ(u->Update(&sys), 0);
    EXPECT_EQ(sys.InsertSysSet(0, "Basic_AutoLogin", "1"), 0);
}

TEST(SysStore, RemembersAccountsMostRecentFirstWithTrailingBlank)
{
    ProgramFolder folder;
    CFileDbSys sys;
    ASSERT_EQ(sys.Connect(), 1);
    std::unique_ptr<CDataUser> a(account(11, "13800000011", "ab")), b(account(12, "pupil@campus.edu", "李雷"));
    ASSERT_EQ(sys.InsertUser(a.get()), 1);
    ASSERT_EQ(sys.InsertUser(b.get()), 1);
    sqlite3_exec(sys.db, "update loginer set LatelyLoginTime='2024-03-01 10:00:00' where id=11", nullptr, nullptr,
                 nullptr);
    sqlite3_exec(sys.db, "update loginer set LatelyLoginTime='2024-03-01 09:00:00' where id=12", nullptr, nullptr,
                 nullptr);

    std::list<CDataUser*> list;
    ASSERT_EQ(sys.GetLoginerList(&list), 1);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.front()->m_nId, 11);
    EXPECT_STREQ(static_cast<const char*>(list.front()->m_bstrName), "ab ");
    EXPECT_STREQ(static_cast<const char*>(list.back()->m_bstrName), "李雷 ");
    EXPECT_STREQ(static_cast<const char*>(list.back()->m_bstrSign), "这个人很神秘 ");
    EXPECT_EQ(list.back()->m_strPhone, "pupil@campus.edu");
    EXPECT_EQ(list.back()->m_strPwd, "secret");
    freeAll(list);
}

TEST(SysStore, AccountWithIdZeroIsFoundButNotListed)
{
    ProgramFolder folder;
    CFileDbSys sys;
    ASSERT_EQ(sys.Connect(), 1);
    std::unique_ptr<CDataUser> a(account(0, "13900000000", "nobody"));
    ASSERT_EQ(sys.InsertUser(a.get()), 1);
    std::list<CDataUser*> list;
    sys.GetLoginerList(&list);
    EXPECT_TRUE(list.empty());
    CDataUser found;
    EXPECT_EQ(sys.GetLoginer("13900000000", &found), 1);
    EXPECT_STREQ(static_cast<const char*>(found.m_bstrName), "nobody ");
    EXPECT_EQ(sys.GetLoginer("13900000001", &found), 0);
}

TEST(SysStore, SecondWriteUpdatesTheRowAndKeepsTheImageWhenNoneIsGiven)
{
    ProgramFolder folder;
    CFileDbSys sys;
    ASSERT_EQ(sys.Connect(), 1);
    std::unique_ptr<CDataUser> a(account(21, "13800000021", "first"));
    a->m_imgHead = solidHead(255, 0, 0);
    a->m_strRTime = "20240301";
    ASSERT_EQ(sys.InsertUser(a.get()), 1);

    std::unique_ptr<CDataUser> again(account(21, "13800000021", "second"));
    ASSERT_EQ(sys.InsertUser(again.get()), 1);
    EXPECT_EQ(queryInt(sys.db, "select count(*) from loginer"), 1);

    CDataUser found;
    ASSERT_EQ(sys.GetLoginer("13800000021", &found), 1);
    EXPECT_STREQ(static_cast<const char*>(found.m_bstrName), "second ");
    EXPECT_EQ(found.m_strRTime, "20240301");
    ASSERT_NE(found.m_imgHead, nullptr);
    EXPECT_EQ(found.m_imgHead->GetWidth(), 40u);
    EXPECT_EQ(pixel(found.m_imgHead, 20, 20), 0xFFFF0000u);
}

TEST(SysStore, HeadThatFailsToEncodeNeverBlanksTheStoredImage)
{
    ProgramFolder folder;
    CFileDbSys sys;
    ASSERT_EQ(sys.Connect(), 1);
    std::unique_ptr<CDataUser> a(account(22, "13800000022", "n"));
    a->m_imgHead = solidHead(0, 0, 255);
    ASSERT_EQ(sys.InsertUser(a.get()), 1);
    delete a->m_imgHead;
    a->m_imgHead = new Gdiplus::Bitmap(0, 0);  // not a usable image: PNG encoding fails
    ASSERT_NE(a->m_imgHead->GetLastStatus(), Gdiplus::Ok);
    EXPECT_EQ(sys.InsertUser(a.get()), 1);
    EXPECT_GT(queryInt(sys.db, "select length(headimg) from loginer where id=22"), 0);
    CDataUser found;
    ASSERT_EQ(sys.GetLoginer("13800000022", &found), 1);
    ASSERT_NE(found.m_imgHead, nullptr);
    EXPECT_EQ(pixel(found.m_imgHead, 5, 5), 0xFF0000FFu);
}

TEST(SysStore, TextsWithQuotesAndSqlAreStoredAsTyped)
{
    ProgramFolder folder;
    CFileDbSys sys;
    ASSERT_EQ(sys.Connect(), 1);
    const char* name = "O'Brien'); drop table loginer; --";
    std::unique_ptr<CDataUser> a(account(31, "it's@x.y", name));
    a->m_strPwd = "p%_'\";";
    ASSERT_EQ(sys.InsertUser(a.get()), 1);
    ASSERT_EQ(sys.InsertUser(a.get()), 1);  // the update path too
    CDataUser found;
    ASSERT_EQ(sys.GetLoginer("it's@x.y", &found), 1);
    EXPECT_EQ(CString(static_cast<const char*>(found.m_bstrName)), CString(name) + " ");
    EXPECT_EQ(found.m_strPwd, "p%_'\";");
    EXPECT_EQ(sys.DeleteUser(31, 0), 1);
    EXPECT_EQ(sys.GetLoginer("it's@x.y", &found), 0);

    ASSERT_EQ(sys.InsertSysSet(31, "Safe_Reply'", "I'm away; back at 5%"), 1);
    EXPECT_EQ(sys.GetSysSet(31, "Safe_Reply'"), "I'm away; back at 5%");
    EXPECT_EQ(queryInt(sys.db, "select count(*) from sqlite_master"), 4);  // two tables and their key indexes
}

TEST(SysStore, SettingsOfTheUserOverrideTheCommonOnes)
{
    ProgramFolder folder;
    CFileDbSys sys;
    ASSERT_EQ(sys.Connect(), 1);
    ASSERT_EQ(sys.InsertSysSet(0, "Basic_AutoLogin", "13800000025"), 1);
    ASSERT_EQ(sys.InsertSysSet(0, "skin", "common"), 1);
    ASSERT_EQ(sys.InsertSysSet(25, "Font_Size", "12"), 1);
    ASSERT_EQ(sys.InsertSysSet(25, "skin", "mine"), 1);
    ASSERT_EQ(sys.InsertSysSet(26, "Font_Size", "30"), 1);
    ASSERT_EQ(sys.InsertSysSet(25, "Font_Size", "14"), 1);  // update, not a second row

    std::map<CString, CString> settings;
    ASSERT_EQ(sys.GetSysSet(25, &settings), 1);
    EXPECT_EQ(settings.size(), 3u);
    EXPECT_EQ(settings["Basic_AutoLogin"], "13800000025");
    EXPECT_EQ(settings["Font_Size"], "14");
    EXPECT_EQ(settings["skin"], "mine");

    EXPECT_EQ(sys.GetSysSet(25, "Basic_AutoLogin"), "");
    EXPECT_EQ(sys.GetSysSet(0, "Basic_AutoLogin"), "13800000025");
    EXPECT_EQ(queryInt(sys.db, "select count(*) from Prefor"), 5);
}

TEST(SysStore, ReopensWhatAnEarlierRunWrote)
{
    ProgramFolder folder;
    {
        CFileDbSys sys;
        ASSERT_EQ(sys.Connect(), 1);
        std::unique_ptr<CDataUser> a(account(41, "13800000041", "韩梅梅"));
        a->m_imgHead = solidHead(0, 255, 0);
        ASSERT_EQ(sys.InsertUser(a.get()), 1);
        ASSERT_EQ(sys.InsertSysSet(41, "Status_IdleTime", "300"), 1);
    }
    CFileDbSys sys;
    ASSERT_EQ(sys.Connect(), 1);
    std::list<CDataUser*> list;
    ASSERT_EQ(sys.GetLoginerList(&list), 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(static_cast<const char*>(list.front()->m_bstrName), "韩梅梅 ");
    ASSERT_NE(list.front()->m_imgHead, nullptr);
    EXPECT_EQ(pixel(list.front()->m_imgHead, 39, 39), 0xFF00FF00u);
    EXPECT_EQ(sys.GetSysSet(41, "Status_IdleTime"), "300");
    freeAll(list);
}

TEST(SysStore, TheWriteAheadLogIsTheOwnersOnlyLikeTheStore)
{
    ProgramFolder folder;
    CFileDbSys sys;
    ASSERT_EQ(sys.Connect(), 1);
    std::unique_ptr<CDataUser> u(account(7, "13800000007", "seven"));
    ASSERT_EQ(sys.InsertUser(u.get()), 1);
    // Passwords reach the log before the store: it must be as private.
    const std::string log = folder.path() + "KivSys.dll-wal";
    struct stat st {};
    ASSERT_EQ(::stat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Reopened, the remembered account is there.
    sys.Close();
    CFileDbSys again;
    ASSERT_EQ(again.Connect(), 1);
    CDataUser stored;
    EXPECT_TRUE(again.GetLoginer("13800000007", &stored));
    EXPECT_EQ(stored.m_strPwd, "secret");
}
