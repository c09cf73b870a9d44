#include "Common/records/Data.h"
#include "Common/stores/FileDbMsg.h"
#include "Common/stores/FileDbUser.h"
#include "tests/Common/ProgramFolder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

Gdiplus::Bitmap* solidHead(BYTE r, BYTE g, BYTE b)
{
    auto* bmp = new Gdiplus::Bitmap(40, 40, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics(bmp).Clear(Gdiplus::Color(255, r, g, b));
    return bmp;
}

std::unique_ptr<CDataUser> member(int id, int gid, const char* name)
{
    auto u = std::make_unique<CDataUser>();
    u->m_nId = id;
    u->m_nGroupId = gid;
    u->m_bstrName = name;
    u->m_strPhone = "1380000";
    return u;
}

std::unique_ptr<CDataGroup> group(int id, int style, const char* name)
{
    auto g = std::make_unique<CDataGroup>();
    g->m_nId = id;
    g->m_nStyle = style;
    g->m_bstrName = name;
    return g;
}

template <class T> std::set<int> idsOf(std::set<T*>& records)
{
    std::set<int> ids;
    for (T* r : records) {
        ids.insert(r->m_nId);
        delete r;
    }
    records.clear();
    return ids;
}

}  // namespace

TEST(UserStore, ConnectRefusesUserIdsBelowOneWithoutMakingAFolder)
{
    ProgramFolder folder;
    CFileDbUser store;
    EXPECT_EQ(store.Connect(0), 0);
    EXPECT_EQ(store.Connect(-5), 0);
    EXPECT_FALSE(PathFileExists((folder.path() + "0").c_str()));
    EXPECT_FALSE(PathFileExists((folder.path() + "-5").c_str()));
}

TEST(UserStore, CreatesTheTablesInTheUsersFolder)
{
    ProgramFolder folder;
    CFileDbUser store;
    ASSERT_EQ(store.Connect(1234), 1);
    EXPECT_TRUE(PathFileExists((folder.path() + "1234/User.dll").c_str()));
    EXPECT_EQ(schemaOf(store.db, "GroupUser"),
              "CREATE TABLE GroupUser(id INTEGER,gid INTEGER,name TEXT, phone TEXT ,note TEXT, rtime TEXT,headimg "
              "blob, PRIMARY KEY (id, gid) )");
    EXPECT_EQ(schemaOf(store.db, "GroupList"),
              "CREATE TABLE GroupList(id INTEGER PRIMARY KEY, name TEXT ,style INTEGER, isMaster INTEGER,note "
              "TEXT,rtime TEXT,headimg blob)");
    // The history store shares the folder.
    CFileDbMsg history;
    ASSERT_EQ(history.Connect(1234), 1);
    EXPECT_TRUE(PathFileExists((folder.path() + "1234/MsgRecords.dll").c_str()));
}

TEST(UserStore, OneRowPerUserAndList)
{
    ProgramFolder folder;
    CFileDbUser store;
    ASSERT_EQ(store.Connect(7), 1);
    auto friend1 = member(5, 1, "张三");
    ASSERT_EQ(friend1->Update(&store), 1);
    ASSERT_EQ(friend1->Update(&store), 1);
    EXPECT_EQ(queryInt(store.db, "select count(*) from GroupUser where id=5"), 1);
    auto stranger = member(5, 2, "张三");
    ASSERT_EQ(stranger->Update(&store), 1);
    EXPECT_EQ(queryInt(store.db, "select count(*) from GroupUser where id=5"), 2);
    // The plain insert writes the list id quoted; it must still be stored as a number.
    EXPECT_EQ(queryText(store.db, "select typeof(gid) from GroupUser where id=5 and gid=2"), "integer");

    std::set<CDataUser*> friends;
    ASSERT_EQ(store.GetGroupUserList(1, &friends), 1);
    ASSERT_EQ(friends.size(), 1u);
    CDataUser* f = *friends.begin();
    EXPECT_STREQ(static_cast<const char*>(f->m_bstrName), "张三 ");
    EXPECT_STREQ(static_cast<const char*>(f->m_bstrSign), "这个人很神秘 ");
    EXPECT_EQ(f->m_nGroupId, 0);
    idsOf(friends);

    EXPECT_EQ(store.DeleteUser(5, 0), 0);
    EXPECT_EQ(queryInt(store.db, "select count(*) from GroupUser"), 2);
    stranger->Delete(&store);
    EXPECT_EQ(queryInt(store.db, "select count(*) from GroupUser"), 1);
}

TEST(UserStore, RowsWithIdZeroAreNeverReturned)
{
    ProgramFolder folder;
    CFileDbUser store;
    ASSERT_EQ(store.Connect(7), 1);
    sqlite3_exec(store.db,
                 "insert into GroupUser (id,gid,name) values (0,1,'ghost');"
                 "insert into GroupList (id,name,style) values (0,'ghost',1)",
                 nullptr, nullptr, nullptr);
    ASSERT_EQ(member(3, 1, "real")->Update(&store), 1);
    std::set<CDataUser*> users;
    store.GetGroupUserList(1, &users);
    EXPECT_EQ(idsOf(users), std::set<int>{3});
    std::set<CDataGroup*> groups;
    store.GetGroupList(&groups, 0);
    EXPECT_TRUE(groups.empty());
}

TEST(UserStore, GroupsAreSelectedByStyle)
{
    ProgramFolder folder;
    CFileDbUser store;
    ASSERT_EQ(store.Connect(7), 1);
    ASSERT_EQ(store.InsertGroup(group(101, 1, "一班").get()), 1);
    ASSERT_EQ(store.InsertGroup(group(102, 2, "二班").get()), 1);
    ASSERT_EQ(store.InsertGroup(group(108, 8, "八").get()), 1);
    ASSERT_EQ(store.InsertGroup(group(104, 4, "讨论组").get()), 1);
    std::set<CDataGroup*> groups;
    store.GetGroupList(&groups, 1);
    EXPECT_EQ(idsOf(groups), (std::set<int>{101, 102}));
    store.GetGroupList(&groups, 8);
    EXPECT_EQ(idsOf(groups), std::set<int>{108});
    store.GetGroupList(&groups, 0);
    EXPECT_EQ(idsOf(groups), (std::set<int>{101, 102, 104, 108}));
}

TEST(UserStore, ImageLessWriteKeepsStoredImageAndTime)
{
    ProgramFolder folder;
    CFileDbUser store;
    ASSERT_EQ(store.Connect(7), 1);
    auto u = member(9, 1, "with head");
    u->m_imgHead = solidHead(10, 20, 30);
    u->m_strRTime = "t1";
    ASSERT_EQ(store.InsertUser(u.get()), 1);
    auto plain = member(9, 1, "renamed");
    plain->m_strRTime = "t2";
    ASSERT_EQ(store.InsertUser(plain.get()), 1);
    std::set<CDataUser*> users;
    store.GetGroupUserList(1, &users);
    ASSERT_EQ(users.size(), 1u);
    CDataUser* r = *users.begin();
    EXPECT_STREQ(static_cast<const char*>(r->m_bstrName), "renamed ");
    EXPECT_EQ(r->m_strRTime, "t1");
    ASSERT_NE(r->m_imgHead, nullptr);
    Gdiplus::Color c;
    r->m_imgHead->GetPixel(0, 0, &c);
    EXPECT_EQ(c.GetValue(), 0xFF0A141Eu);
    idsOf(users);
}

TEST(UserStore, GroupWithMembersReplacesTheOldMemberRows)
{
    ProgramFolder folder;
    CFileDbUser store;
    ASSERT_EQ(store.Connect(7), 1);
    auto g = group(200, 1, "It's \"our\" group; 100%");
    g->m_bstrSign = "note";
    g->m_nIsMaster = 1;
    g->m_strGroupRTime = "gt";
    g->m_imgHead = solidHead(1, 2, 3);
    for (int id : {1, 2, 3}) g->m_mapMembers[id] = member(id, 200, "m").release();
    ASSERT_EQ(g->Update(&store, 1), 1);
    EXPECT_EQ(queryInt(store.db, "select count(*) from GroupUser where gid=200"), 3);

    g->ClearMembers();
    g->m_mapMembers[4] = member(4, 200, "new").release();
    ASSERT_EQ(g->Update(&store, 1), 1);
    std::set<CDataUser*> members;
    store.GetGroupUserList(200, &members);
    EXPECT_EQ(idsOf(members), std::set<int>{4});

    std::set<CDataGroup*> groups;
    store.GetGroupList(&groups, 1);
    ASSERT_EQ(groups.size(), 1u);
    CDataGroup* r = *groups.begin();
    EXPECT_STREQ(static_cast<const char*>(r->m_bstrName), "It's \"our\" group; 100% ");
    EXPECT_STREQ(static_cast<const char*>(r->m_bstrSign), "note ");
    EXPECT_EQ(r->m_nIsMaster, 1);
    EXPECT_EQ(r->m_strGroupRTime, "gt");
    EXPECT_NE(r->m_imgHead, nullptr);
    idsOf(groups);

    g->Delete(&store);
    EXPECT_EQ(queryInt(store.db, "select count(*) from GroupList"), 0);
    EXPECT_EQ(queryInt(store.db, "select count(*) from GroupUser where gid=200"), 1);  // members stay
    EXPECT_EQ(g->m_imgHead, nullptr);
}

TEST(UserStore, RefusedWritesAreReportedAsFailures)
{
    ProgramFolder folder;
    CFileDbUser store;
    ASSERT_EQ(store.Connect(7), 1);
    sqlite3_exec(store.db, "drop table GroupUser", nullptr, nullptr, nullptr);
    auto u = member(1, 1, "x");
    EXPECT_EQ(u->Update(&store), 0);
    auto g = group(300, 1, "g");
    g->m_mapMembers[1] = member(1, 300, "m").release();
    EXPECT_EQ(g->Update(&store, 1), 0);  // the group row is written, its members are not
    EXPECT_EQ(queryInt(store.db, "select count(*) from GroupList"), 1);
}

TEST(UserStore, ABatchOfWritesLandsTogetherAndAClosedBatchIsGone)
{
    ProgramFolder folder;
    {
        CFileDbUser store;
        ASSERT_EQ(store.Connect(7), 1);
        store.BeginBatch();
        store.BeginBatch();  // nested: joins the outer one
        for (int id = 1; id <= 50; ++id) ASSERT_EQ(member(id, 1, "同学")->Update(&store), 1);
        store.EndBatch();
        EXPECT_EQ(sqlite3_get_autocommit(store.db), 0);  // still open
        store.EndBatch();
        EXPECT_NE(sqlite3_get_autocommit(store.db), 0);
        store.EndBatch();  // one end too many changes nothing
        // A batch left open when the store closes is dropped, and the store
        // can be used again.
        store.BeginBatch();
        ASSERT_EQ(member(99, 1, "x")->Update(&store), 1);
        store.Close();
        ASSERT_EQ(store.Connect(7), 1);
        EXPECT_EQ(queryInt(store.db, "select count(*) from GroupUser"), 50);
        ASSERT_EQ(member(98, 1, "y")->Update(&store), 1);
    }
    CFileDbUser again;
    ASSERT_EQ(again.Connect(7), 1);
    EXPECT_EQ(queryInt(again.db, "select count(*) from GroupUser"), 51);
}
