#include "Common/records/Data.h"
#include "Common/stores/FileDbMsg.h"
#include "Common/stores/FileDbUser.h"
#include "tests/Common/ProgramFolder.h"

#include <gtest/gtest.h>

namespace {

Gdiplus::Bitmap* solid(int w, int h, Gdiplus::ARGB color)
{
    auto* bmp = new Gdiplus::Bitmap(w, h, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics(bmp).Clear(Gdiplus::Color(color));
    return bmp;
}

Gdiplus::ARGB pixel(Gdiplus::Bitmap* bmp)
{
    Gdiplus::Color c;
    bmp->GetPixel(0, 0, &c);
    return c.GetValue();
}

class FakeWindow : public CWnd {
public:
    explicit FakeWindow(int* destroyed) : destroyed_(destroyed) {}
    BOOL DestroyWindow() override
    {
        ++*destroyed_;
        return TRUE;
    }

private:
    int* destroyed_;
};

}  // namespace

TEST(Records, NewRecordsCarryTheirDefaultTexts)
{
    CDataUser u;
    CDataGroup g;
    EXPECT_STREQ(static_cast<const char*>(u.m_bstrSign), "这个人很神秘");
    EXPECT_STREQ(static_cast<const char*>(g.m_bstrSign), "群主很低调");
    EXPECT_EQ(u.m_nIsGroup, 0);
    EXPECT_EQ(g.m_nIsGroup, 1);
    EXPECT_EQ(g.m_nCapacity, 100);
}

TEST(Records, FromUserCopiesWhatItMustAndKeepsWhatItMayNot)
{
    CDataUser src;
    src.m_nId = 1234;
    src.m_nStatus = 3;
    src.m_nReserved2 = 7;
    src.m_strPhone = "13800001234";
    src.m_strRemark = "班长";
    src.m_nGroupId = 2;
    src.m_nMemberRole = 1;
    src.m_strExtra = "not copied";
    src.m_bstrSign = "";
    __StructMessage m;
    m.content = "hello";
    src.AddMsgToUnreadNews(m);

    CDataUser dst;
    dst.m_imgHead = solid(40, 40, 0xFF112233);
    dst.m_strExtra = "mine";
    EXPECT_EQ(dst.FromUser(&src), 1);
    EXPECT_STREQ(static_cast<const char*>(dst.m_bstrName), "1234");  // empty name: the id
    EXPECT_STREQ(static_cast<const char*>(dst.m_bstrSign), "这个人很神秘");  // empty sign: keeps its own
    EXPECT_EQ(dst.m_nStatus, 3);
    EXPECT_EQ(dst.m_nReserved2, 7);
    EXPECT_EQ(dst.m_strRemark, "班长");
    EXPECT_EQ(dst.m_nGroupId, 2);
    EXPECT_EQ(dst.m_nMemberRole, 1);
    EXPECT_EQ(dst.m_strExtra, "mine");
    EXPECT_EQ(dst.m_nUnreadCount, 1);
    ASSERT_EQ(dst.m_vecUnread.size(), 1u);
    EXPECT_EQ(dst.m_vecUnread[0].content, "hello");
    ASSERT_NE(dst.m_imgHead, nullptr);  // no head in src: the target keeps its own
    EXPECT_EQ(pixel(dst.m_imgHead), 0xFF112233u);
    dst.FromUserHead(&src);
    EXPECT_EQ(pixel(dst.m_imgHead), 0xFF112233u);

    src.m_imgHead = solid(20, 30, 0xFFAA0000);
    dst.FromUserHead(&src);
    ASSERT_NE(dst.m_imgHead, src.m_imgHead);  // a deep copy, not a shared pointer
    EXPECT_EQ(dst.m_imgHead->GetWidth(), 20u);
    EXPECT_EQ(dst.m_imgHead->GetHeight(), 30u);
    EXPECT_EQ(pixel(dst.m_imgHead), 0xFFAA0000u);
}

TEST(Records, FromGroupReplacesMembersAndFilesThemUnderTheGroup)
{
    CDataGroup src;
    src.m_nId = 77;
    src.m_nStyle = 4;
    src.m_strClass = "初三";
    for (int id : {3, 1, 2}) {
        auto* m = new CDataUser;
        m->m_nId = id;
        m->m_nGroupId = 999;  // whatever it held
        src.m_mapMembers[id] = m;
    }
    CDataGroup dst;
    auto* old = new CDataUser;
    old->m_nId = 50;
    dst.m_mapMembers[50] = old;
    dst.m_strGroupRTime = "keep";
    EXPECT_EQ(dst.FromGroup(&src), 1);
    EXPECT_STREQ(static_cast<const char*>(dst.m_bstrName), "77");
    EXPECT_EQ(dst.m_nStyle, 4);
    EXPECT_EQ(dst.m_strClass, "初三");
    EXPECT_EQ(dst.m_strGroupRTime, "keep");
    ASSERT_EQ(dst.m_mapMembers.size(), 3u);
    EXPECT_EQ(dst.m_mapMembers.count(50), 0u);
    for (auto& kv : dst.m_mapMembers) {
        EXPECT_EQ(kv.second->m_nGroupId, 77);
        EXPECT_NE(kv.second, src.m_mapMembers[kv.first]);
    }
}

TEST(Records, UnreadQueueCountsAndClears)
{
    CDataUser u;
    for (int i = 1; i <= 3; ++i) {
        __StructMessage m;
        m.fromid = i;
        EXPECT_EQ(u.AddMsgToUnreadNews(m), 1);
        EXPECT_EQ(u.m_nUnreadCount, i);
    }
    EXPECT_EQ(u.m_vecUnread.front().fromid, 1);
    u.ClearUnreadNews();
    EXPECT_EQ(u.m_nUnreadCount, 0);
    EXPECT_TRUE(u.m_vecUnread.empty());
}

TEST(Records, HistoryCategoryFollowsTheRecord)
{
    ProgramFolder folder;
    CFileDbMsg history;
    ASSERT_EQ(history.Connect(3), 1);
    CDataUser stranger;
    stranger.m_nId = 8;
    stranger.m_nGroupId = 2;
    EXPECT_EQ(stranger.UpdateMsgToHistory("<msg>hi</msg>", "hi", 0, "2024-01-01 10:00:00", &history), 1);
    EXPECT_EQ(queryText(history.db, "select gid||','||gtype from history_msg where id=8"), "2,2");
    int id = 100;
    for (int style : {1, 2, 4, 8}) {
        CDataGroup g;
        g.m_nId = ++id;
        g.m_nStyle = style;
        EXPECT_EQ(g.UpdateMsgToHistory(8, "x", "x", 1, "2024-01-01 10:00:00", &history), 1);
        std::string sql = "select gtype from history_msg where gid=" + std::to_string(id);
        EXPECT_EQ(queryInt(history.db, sql.c_str()), style == 4 ? 4 : 3) << "style " << style;
    }
}

TEST(Records, DeleteAndHeadWithoutAUsableId)
{
    ProgramFolder folder;
    CFileDbUser store;
    ASSERT_EQ(store.Connect(3), 1);
    CDataUser u;
    u.m_nId = 5;
    u.m_nGroupId = 1;
    ASSERT_EQ(u.Update(&store), 1);
    u.m_nGroupId = 0;
    u.m_imgHead = solid(40, 40, 0xFF000000);
    u.Delete(&store);
    EXPECT_EQ(u.m_imgHead, nullptr);
    EXPECT_EQ(queryInt(store.db, "select count(*) from GroupUser"), 1);

    CDataUser nobody;
    EXPECT_EQ(nobody.UpdateHead(folder.path().c_str()), 0);  // id 0: nothing is fetched
}

TEST(Records, DyingRecordClosesItsChatWindow)
{
    int destroyed = 0;
    FakeWindow window(&destroyed);
    {
        CDataUser u;
        u.m_dlgChat = &window;
    }
    EXPECT_EQ(destroyed, 1);
}
