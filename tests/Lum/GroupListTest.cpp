// The main window's group list: rows, merging a service reply with the
// groups of the user store, members, head downloads (also of groups removed
// meanwhile) and the painting of a row.
#include "Common/stores/FileDB.h"
#include "Common/stores/FileDbUser.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/KivMessages.h"
#include "Lum/chat/StackNewMsg.h"
#include "platform/files.h"
#include "platform/heads.h"
#include "platform/uiapp.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"
#include "tests/platform/ServeInBackground.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

const Gdiplus::ARGB kGreen = 0xFF00FF00, kOld = 0xFF000001;

Gdiplus::Bitmap* Head(Gdiplus::ARGB color)
{
    auto* bmp = new Gdiplus::Bitmap(40, 40, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics(bmp).Clear(Gdiplus::Color(color));
    return bmp;
}

Gdiplus::ARGB Pixel(Gdiplus::Bitmap* bmp, int x, int y)
{
    Gdiplus::Color c;
    return bmp->GetPixel(x, y, &c) == Gdiplus::Ok ? c.GetValue() : 0;
}

std::unique_ptr<CDataGroup> Group(int gid, const char* name, const char* note = "", std::vector<int> members = {})
{
    auto rec = std::make_unique<CDataGroup>();
    rec->m_nId = gid;
    rec->m_bstrName = name;
    if (*note) rec->m_bstrSign = note;
    for (int id : members) {
        auto* m = new CDataUser;
        m->m_nId = id;
        m->m_bstrName = ("member" + std::to_string(id)).c_str();
        m->m_nGroupId = gid;
        rec->m_mapMembers[id] = m;
    }
    return rec;
}

class GroupListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        ASSERT_EQ(store.Connect(1), 1);
        lumheads::ForgetHeads();
        CKivGroupListCtrl::s_loadHead = [this](CDataGroup* rec) { fetched.push_back(rec->m_nId); };
        CKivGroupListCtrl::s_storeGroup = StartGroupStoreWrite;
        ASSERT_TRUE(host.CreateEx(0, nullptr, "groups", WS_POPUP | WS_VISIBLE, 100, 100, 250, 280, nullptr, 0));
        list = std::make_unique<CKivGroupListCtrl>();
        list->m_pUserStore = &store;
        list->m_pStackNewMsg = &stack;
        ASSERT_TRUE(list->Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED |
                                     LVS_NOCOLUMNHEADER,
                                 CRect(10, 10, 240, 270), &host, 1019));
        list->SetRowHeight(52);
    }
    void TearDown() override
    {
        list.reset();
        if (host.m_hWnd) host.DestroyWindow();
        uiwait::QueuedWorkDone();
        CKivGroupListCtrl::s_loadHead = StartGroupHeadDownload;
        lumheads::StopHeadLoader();
        store.Close();
    }
    template <class T>
    static std::set<int> Ids(std::set<T*> rows)
    {
        std::set<int> ids;
        for (T* rec : rows) ids.insert(rec->m_nId), delete rec;
        return ids;
    }
    std::set<int> StoredGroups()
    {
        std::set<CDataGroup*> rows;
        store.GetGroupList(&rows, 0);
        return Ids(rows);
    }
    std::set<int> StoredMembers(int gid)
    {
        std::set<CDataUser*> rows;
        store.GetGroupUserList(gid, &rows);
        return Ids(rows);
    }
    std::string Text(int gid) { return list->GetGroupName(gid).str(); }

    TempDir dir_;
    TestServices services_;
    CFileDbUser store;
    CStackNewMsg stack;
    CWnd host;
    std::unique_ptr<CKivGroupListCtrl> list;
    std::vector<int> fetched;
};

TEST_F(GroupListTest, RowsShowNameAndIdAndKnownGroupsAreRefreshedInPlace)
{
    auto withHead = Group(1004, "班委 ");
    withHead->m_imgHead = Head(kOld);
    for (const auto& rec : {Group(1001, "数学建模小组"), Group(1002, ""), Group(1003, "1003"), std::move(withHead)})
        EXPECT_EQ(list->AddGroup(rec.get(), 0), 1);
    EXPECT_EQ(list->AddGroup(Group(0, "x").get(), 1), 0);
    EXPECT_EQ(Text(1001), "数学建模小组(1001)");
    EXPECT_EQ(Text(1002), "1002");
    EXPECT_EQ(Text(1003), "1003");
    EXPECT_EQ(Text(1004), "班委(1004)");
    // Loaded from the store with a head: no download for 1004.
    EXPECT_EQ(fetched, (std::vector<int>{1001, 1002, 1003}));

    // Renamed, same head time, with a head: new text, no download; a new
    // head time without a head downloads and keeps the stored head meanwhile.
    fetched.clear();
    auto renamed = Group(1004, "班委会");
    renamed->m_imgHead = Head(kGreen);
    list->AddGroup(renamed.get(), 0);
    EXPECT_EQ(Text(1004), "班委会(1004)");
    EXPECT_TRUE(fetched.empty());
    auto newTime = Group(1004, "班委会");
    newTime->m_strGroupRTime = "t2";
    list->AddGroup(newTime.get(), 0);
    EXPECT_EQ(fetched, (std::vector<int>{1004}));
    EXPECT_EQ(list->GetItemCount(), 4);
    EXPECT_EQ(Pixel(list->GetGroup(1004)->m_imgHead, 5, 5), kGreen);

    // Unread messages: the stack holds the list's copy, a refresh without
    // messages keeps them, removal takes the copy off the stack.
    auto e = Group(1005, "读书会");
    e->AddMsgToUnreadNews(__StructMessage{});
    stack.Push(e.get());
    list->AddGroup(e.get(), 0);
    CDataGroup* copy = list->GetGroup(1005);
    EXPECT_EQ(stack.Top(), copy);
    list->AddGroup(Group(1005, "读书会").get(), 0);
    EXPECT_EQ(copy->m_vecUnread.size(), 1u);
    EXPECT_EQ(list->RemoveGroup(1005), 1);
    EXPECT_EQ(list->RemoveGroup(1005), 0);
    EXPECT_TRUE(stack.IsEmpty());
}

TEST_F(GroupListTest, ServerReplyMergesWithTheStoreAndRemovesStaleGroups)
{
    // Two groups in the store from an earlier session.
    Group(1001, "机器人社", "", {11, 12})->Update(&store, 1);
    Group(1002, "已解散的群", "", {13})->Update(&store, 1);
    auto a = Group(1001, "机器人社"), b = Group(1002, "已解散的群");
    list->AddGroups(std::vector<CDataGroup*>{a.get(), b.get()});
    CDataGroup* robots = list->GetGroup(1001);
    ASSERT_EQ(robots->m_mapMembers.size(), 2u);
    CDataUser* kept = robots->m_mapMembers.at(11);
    EXPECT_EQ(kept->m_nGroupId, 1001);
    kept->AddMsgToUnreadNews(__StructMessage{});
    stack.Push(kept);
    stack.Push(robots->m_mapMembers.at(12));

    // The reply: 1001 renamed with members 11 and 14, 1003 new, 1002 gone.
    list->AddGroup(Group(1001, "机器人协会", "", {11, 14}).get(), 1);
    list->AddGroup(Group(1003, "新生群", "", {15}).get(), 1);
    list->RemoveStaleGroups();
    EXPECT_EQ(list->GetGroup(1002), nullptr);
    EXPECT_EQ(Text(1001), "机器人协会(1001)");
    // The member that stays is the same record with its unread message; the
    // one that left is off the stack.
    EXPECT_EQ(robots->m_mapMembers.at(11), kept);
    EXPECT_STREQ(static_cast<const char*>(kept->m_bstrName), "member11");
    EXPECT_EQ(kept->m_vecUnread.size(), 1u);
    EXPECT_EQ(stack.GetCount(), 1);
    EXPECT_TRUE(lumui::PumpUntil([&] { return StoredMembers(1001) == std::set<int>{11, 14}; }, 5000));
    EXPECT_TRUE(lumui::PumpUntil([&] { return StoredGroups() == std::set<int>{1001, 1003}; }, 5000));

    // A group removed right after the reply listed it is not written back;
    // log-out waits for the writes.
    list->AddGroup(Group(1007, "临时群", "", {16}).get(), 1);
    list->RemoveGroup(1007);
    list->DeleteAllGroups();
    EXPECT_EQ(StoredGroups(), (std::set<int>{1001, 1003}));
    EXPECT_EQ(list->GetItemCount(), 0);
    EXPECT_TRUE(stack.IsEmpty());
    list->AddGroup(Group(1001, "机器人协会").get(), 0);
    EXPECT_EQ(list->GetGroup(1001)->m_mapMembers.count(14), 1u);
}

TEST_F(GroupListTest, MembersAreUpdatedRemovedAndFoundInEveryGroup)
{
    list->AddGroup(Group(1001, "甲", "", {11}).get(), 1);
    list->AddGroup(Group(1002, "乙", "", {11, 12}).get(), 1);
    auto member = [&](int gid, int id) { return list->GetGroup(gid)->m_mapMembers.at(id); };
    EXPECT_EQ(list->UpdateGroupMember(11, 0, "x", "", "", 1, 0), 0);
    // An empty name becomes the id.
    EXPECT_EQ(list->UpdateGroupMember(11, 1001, "", "签名", "北京", 2, 1), 1);
    EXPECT_STREQ(static_cast<const char*>(member(1001, 11)->m_bstrName), "11");
    list->UpdateGroupMember(13, 1001, "丙", "", "", 1, 1);
    EXPECT_EQ(list->GetGroup(1001)->m_mapMembers.count(13), 0u);
    list->UpdateGroupMember(13, 1001, "丙", "", "", 1, 0);
    EXPECT_EQ(member(1001, 13)->m_nGroupId, 1001);

    // The contact book finds the user's record in every group (a status
    // reaches each of them).
    KivContactBook book;
    book.SetShelves(nullptr, nullptr, &list->m_mapGroups);
    std::vector<CDataUser*> found;
    book.ForEachRecordOf(11, [&](KivContactBook::Shelf shelf, CDataUser* rec) {
        if (shelf == KivContactBook::Shelf::kMember) found.push_back(rec);
    });
    EXPECT_EQ(found, (std::vector<CDataUser*>{member(1001, 11), member(1002, 11)}));

    // A removed member is freed and leaves the stack with it.
    stack.Push(member(1002, 12));
    EXPECT_EQ(list->RemoveGroupMember(12, 0), 0);
    EXPECT_EQ(list->RemoveGroupMember(12, 1002), 1);
    EXPECT_EQ(list->GetGroup(1002)->m_mapMembers.count(12), 0u);
    EXPECT_TRUE(stack.IsEmpty());  // and not left pointing at a freed record
}

TEST_F(GroupListTest, HeadsArriveOrKeepTheOldOneAndGroupsRemovedMeanwhileAreHarmless)
{
    std::atomic<bool> release{false};
    httplib::Server server;
    server.Get(R"(/upload/group/(\d+)\.png)", [&](const httplib::Request& req, httplib::Response& res) {
        const std::string id = req.matches[1];
        while (id == "777" && !release) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::unique_ptr<Gdiplus::Bitmap> bmp(Head(kGreen));
        std::string png;
        filedb::EncodeHead(bmp.get(), png);
        if (id == "120" || id == "777") res.set_content(png, "image/png");
        else if (id == "666") res.set_content("<html>not an image</html>", "image/png");
        else res.status = 404;
    });
    server.set_keep_alive_max_count(1);  // stopping never waits for an idle connection
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread = ServeInBackground(server);
    WritePrivateProfileString("Web", "BaseUrl", ("http://127.0.0.1:" + std::to_string(port)).c_str(),
                              dir_.file("Lum.ini").c_str());
    CKivGroupListCtrl::s_loadHead = StartGroupHeadDownload;

    for (int gid : {120, 404, 666}) {
        auto rec = Group(gid, "群");
        rec->m_imgHead = Head(kOld);
        list->AddGroup(rec.get(), 1);
    }
    EXPECT_TRUE(lumui::PumpUntil([&] { return lumheads::PendingHeads() == 0; }, 8000));
    EXPECT_EQ(Pixel(list->GetGroup(120)->m_imgHead, 20, 20), kGreen);
    EXPECT_EQ(Pixel(list->GetGroup(404)->m_imgHead, 20, 20), kOld);
    EXPECT_EQ(Pixel(list->GetGroup(666)->m_imgHead, 20, 20), kOld);
    // The head that came is kept in the store with its group (written on a
    // worker).
    auto storedGreen = [&] {
        std::set<CDataGroup*> rows;
        store.GetGroupList(&rows, 0);
        bool green = false;
        for (CDataGroup* row : rows) {
            if (row->m_nId == 120) green = row->m_imgHead && Pixel(row->m_imgHead, 20, 20) == kGreen;
            delete row;
        }
        return green;
    };
    EXPECT_TRUE(lumui::PumpUntil(storedGreen, 8000));

    // Removed while its head is on the way: nothing is touched when it comes.
    list->AddGroup(Group(777, "讨论组").get(), 0);
    list->RemoveGroup(777);
    release = true;
    EXPECT_TRUE(lumui::PumpUntil([&] { return lumheads::PendingHeads() == 0; }, 8000));
    ASSERT_NE(lumheads::FindHead(true, 777), nullptr);
    EXPECT_EQ(list->m_mapGroups.size(), 3u);
    server.stop();
    thread.join();
}

TEST_F(GroupListTest, HeadsThatComeBeforeTheirGroupIsStoredAreNotOverwrittenByOldOnes)
{
    // Groups from the server are written into the store on a worker, with
    // the head they had then; their new heads arrive meanwhile. Whichever
    // lands first, the store ends with the new head of every group.
    httplib::Server server;
    server.Get(R"(/upload/(group|face)/(\d+)\.png)", [&](const httplib::Request&, httplib::Response& res) {
        std::unique_ptr<Gdiplus::Bitmap> bmp(Head(kGreen));
        std::string png;
        filedb::EncodeHead(bmp.get(), png);
        res.set_content(png, "image/png");
    });
    server.set_keep_alive_max_count(1);
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    WritePrivateProfileString("Web", "BaseUrl", ("http://127.0.0.1:" + std::to_string(port)).c_str(),
                              dir_.file("Lum.ini").c_str());
    CKivGroupListCtrl::s_loadHead = StartGroupHeadDownload;

    // Each group has a member of its own whose head is asked for as the
    // member list asks for it: it comes while the group's write is queued.
    std::set<int> groups;
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 10; ++i) {
            const int gid = 2000 + round * 10 + i;
            auto rec = Group(gid, "群", "", {gid + 10000});
            rec->m_imgHead = Head(kOld);
            list->AddGroup(rec.get(), 1);
            lumheads::RequestHead(false, gid + 10000);
            groups.insert(gid);
        }
        ASSERT_TRUE(lumui::PumpUntil([&] { return lumheads::PendingHeads() == 0; }, 8000));
    }
    list.reset();  // waits for the store writes
    std::set<CDataGroup*> rows;
    store.GetGroupList(&rows, 0);
    std::set<int> old;
    for (CDataGroup* row : rows) {
        if (groups.count(row->m_nId) && !(row->m_imgHead && Pixel(row->m_imgHead, 20, 20) == kGreen))
            old.insert(row->m_nId);
        delete row;
    }
    EXPECT_TRUE(old.empty()) << old.size() << " of " << groups.size() << " groups stored with the old head";
    std::set<int> headless;
    for (int gid : groups) {
        std::set<CDataUser*> members;
        store.GetGroupUserList(gid, &members);
        bool green = false;
        for (CDataUser* member : members) {
            green = green || (member->m_nId == gid + 10000 && member->m_imgHead && Pixel(member->m_imgHead, 20, 20) == kGreen);
            delete member;
        }
        if (!green) headless.insert(gid);
    }
    EXPECT_TRUE(headless.empty()) << headless.size() << " of " << groups.size()
                                  << " groups stored their member without the head that came";
    server.stop();
    thread.join();
}

TEST_F(GroupListTest, AUsersHeadGoesToTheMemberRecordsOfEveryGroupAndIntoTheStore)
{
    httplib::Server server;
    server.Get(R"(/upload/face/(\d+)\.png)", [&](const httplib::Request& req, httplib::Response& res) {
        std::unique_ptr<Gdiplus::Bitmap> bmp(Head(kGreen));
        std::string png;
        filedb::EncodeHead(bmp.get(), png);
        if (req.matches[1] == "11") res.set_content(png, "image/png");
        else res.status = 404;
    });
    server.set_keep_alive_max_count(1);  // stopping never waits for an idle connection
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    WritePrivateProfileString("Web", "BaseUrl", ("http://127.0.0.1:" + std::to_string(port)).c_str(),
                              dir_.file("Lum.ini").c_str());
    list->AddGroup(Group(1001, "一班", "", {11, 12}).get(), 0);
    list->AddGroup(Group(1002, "二班", "", {11}).get(), 0);

    // A member list asks for the heads of members 11 and 12.
    lumheads::RequestHead(false, 11);
    lumheads::RequestHead(false, 12);
    ASSERT_TRUE(lumui::PumpUntil([&] { return lumheads::PendingHeads() == 0; }, 8000));
    for (int gid : {1001, 1002}) {
        CDataUser* member = list->GetGroup(gid)->m_mapMembers[11];
        ASSERT_NE(member->m_imgHead, nullptr) << gid;
        EXPECT_EQ(Pixel(member->m_imgHead, 20, 20), kGreen);
        std::set<CDataUser*> rows;
        store.GetGroupUserList(gid, &rows);
        bool stored = false;
        for (CDataUser* row : rows) {
            if (row->m_nId == 11) stored = row->m_imgHead && Pixel(row->m_imgHead, 20, 20) == kGreen;
            delete row;
        }
        EXPECT_TRUE(stored) << gid;
    }
    EXPECT_EQ(list->GetGroup(1001)->m_mapMembers[12]->m_imgHead, nullptr);
    server.stop();
    thread.join();
}

TEST_F(GroupListTest, RowsDrawHeadBadgeNameAndNote)
{
    auto owned = Group(1001, "计算机学院2班", "班级通知请看群公告");
    owned->m_nIsMaster = 1;
    owned->m_imgHead = Head(kGreen);
    auto meeting = Group(1002, "毕业设计讨论组", "答辩时间待定");
    meeting->m_nStyle = 4;
    auto big = Group(1004, "校友会", "欢迎新同学");
    big->m_nCapacity = 500;
    auto plain = Group(1003, "篮球队");
    for (CDataGroup* rec : {owned.get(), meeting.get(), plain.get(), big.get()}) list->AddGroup(rec, 0);
    list->Invalidate(TRUE);
    list->UpdateWindow();
    auto px = [&](int row, int x, int y) { return lumui::WindowPixel(list->m_hWnd, x, row * 52 + y) & 0xFFFFFF; };
    auto any = [&](int row, int x0, int x1, int y0, int y1, auto pred) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (pred(px(row, x, y))) return true;
        return false;
    };
    auto notWhite = [](DWORD c) { return c != 0xFFFFFF; };
    auto red = [](DWORD c) { return (c >> 16) > 180 && ((c >> 8) & 0xFF) < 90 && (c & 0xFF) < 90; };

    // Heads: own image, the discussion head for style 4, else the default head.
    EXPECT_EQ(px(0, 32, 23), kGreen & 0xFFFFFF);
    EXPECT_EQ(px(1, 32, 23), Pixel(list->m_pDiscussionHead, 20, 20) & 0xFFFFFF);
    EXPECT_EQ(px(2, 32, 23), Pixel(list->m_pDefaultHead, 20, 20) & 0xFFFFFF);
    EXPECT_NE(px(1, 32, 23), px(2, 32, 23));
    // The owner badge only on the owned group; red text only at capacity 500.
    EXPECT_TRUE(any(0, 60, 78, 6, 24, notWhite));
    EXPECT_FALSE(any(2, 60, 78, 6, 24, notWhite));
    EXPECT_TRUE(any(3, 80, 200, 12, 26, red));
    EXPECT_FALSE(any(2, 80, 200, 12, 26, red));

    std::filesystem::create_directories(SCREENSHOT_DIR);
    EXPECT_TRUE(lumui::SaveWindowImage(host.m_hWnd, SCREENSHOT_DIR "/groups.png"));
}

}  // namespace
