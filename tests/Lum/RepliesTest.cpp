// The main window turning service replies into its lists and the user store,
// and the head and topic downloads against a web server on loopback.
#include "Common/stores/FileDB.h"
#include "Common/Common.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/KivMessages.h"
#include "Lum/LumResource.h"
#include "Lum/protocol/LumService.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/heads.h"
#include "platform/uiapp.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/ServeInBackground.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

const Gdiplus::ARGB kGreen = 0xFF00FF00, kRed = 0xFFFF0000, kOld = 0xFF000001;

std::string PngOf(Gdiplus::ARGB color)
{
    Gdiplus::Bitmap bmp(60, 60, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics(&bmp).Clear(Gdiplus::Color(color));
    std::string bytes;
    filedb::EncodeHead(&bmp, bytes);
    return bytes;
}

Gdiplus::ARGB Pixel(Gdiplus::Bitmap* bmp, int x, int y)
{
    Gdiplus::Color c;
    bmp->GetPixel(x, y, &c);
    return c.GetValue();
}

lum_thrift::StructFriend Friend(int id, const std::string& name, const std::string& remark, const std::string& note)
{
    lum_thrift::StructFriend f;
    f.user.userid = id;
    f.user.name = name;
    f.user.note = note;
    f.user.img_time = "t1";
    f.remark = remark;
    return f;
}

class RepliesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        server_.Get(R"(/upload/face/(\d+)\.png)", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string id = req.matches[1];
            if (id == "120") res.set_content(PngOf(kGreen), "image/png");
            else if (id == "666") res.set_content("<html>not an image</html>", "image/png");
            else if (id == "777") ServeSlowly(res);
            else res.status = 404;
        });
        server_.Get("/topic.txt", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("Exams next week\r\nsecond line\r\n", "text/plain");
        });
        server_.set_logger([this](const httplib::Request& req, const httplib::Response&) {
            std::lock_guard<std::mutex> lock(servedLock_);
            served_.push_back(req.path);
        });
        const int port = server_.bind_to_any_port("127.0.0.1");
        thread_ = ServeInBackground(server_);
        WritePrivateProfileString("Web", "BaseUrl", ("http://127.0.0.1:" + std::to_string(port)).c_str(),
                                  dir_.file("Lum.ini").c_str());
        services_.SetExitWaitMs(50);
        app_ = std::make_unique<CKivApp>();
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
        app_->SetOwnUserId(1);
        main_->ConnectUserStores(1);
    }

    void TearDown() override
    {
        app_->m_pMainWnd = nullptr;
        main_->DestroyWindow();
        main_.reset();
        uiwait::QueuedWorkDone();
        server_.stop();
        thread_.join();
        app_.reset();
    }

    // Head 777 is held until the test lets it go, so that whatever asks for
    // it meanwhile finds it on its way.
    void ServeSlowly(httplib::Response& res)
    {
        ++requests777_;
        for (int i = 0; i < 500 && !release777_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        res.set_content(PngOf(kRed), "image/png");
    }

    void Reply(int code, std::initializer_list<lum_thrift::StructFriend> friends)
    {
        lum_thrift::StructFriendListResp reply;
        reply.code = static_cast<lum_thrift::ResultCode::type>(code);
        reply.friendList = friends;
        main_->SendMessage(UM_FRIEND_LIST, 0, reinterpret_cast<LPARAM>(&reply));
    }

    std::set<int> StoredIds(int list)
    {
        std::set<CDataUser*> rows;
        main_->m_dbUser.GetGroupUserList(list, &rows);
        std::set<int> ids;
        for (CDataUser* rec : rows) {
            ids.insert(rec->m_nId);
            delete rec;
        }
        return ids;
    }

    CDataUser* FriendRecord(int id) { return static_cast<CDataUser*>(main_->m_listFriend.GetUser(id)); }

    std::set<int> Ids(const CKivUsersListCtrl& list)
    {
        std::set<int> ids;
        for (const auto& entry : list.m_mapUsers) ids.insert(entry.first);
        return ids;
    }

    // A list record with a head of one colour, without a download.
    CDataUser* AddWithHead(CKivUsersListCtrl& list, int id, Gdiplus::ARGB color)
    {
        CDataUser rec;
        rec.m_nId = id;
        rec.m_imgHead = new Gdiplus::Bitmap(40, 40, Gdiplus::PixelFormat32bppARGB);
        Gdiplus::Graphics(rec.m_imgHead).Clear(Gdiplus::Color(color));
        list.AddUser(&rec, 0);
        return static_cast<CDataUser*>(list.GetUser(id));
    }

    // How many requests the web server has answered whose path starts with `prefix`.
    int Served(const std::string& prefix)
    {
        std::lock_guard<std::mutex> lock(servedLock_);
        int n = 0;
        for (const std::string& path : served_) n += path.compare(0, prefix.size(), prefix) == 0;
        return n;
    }

    TempDir dir_;
    TestServices services_;
    httplib::Server server_;
    std::mutex servedLock_;
    std::vector<std::string> served_;
    std::thread thread_;
    std::atomic<int> requests777_{0};
    std::atomic<bool> release777_{false};
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
};

TEST_F(RepliesTest, FriendListRepliesMergeNewChangedAndRemovedFriendsIntoListAndStore)
{
    // The list takes a reply over a slice at a time, with the loop turning in
    // between: the friends are all there once the loop has run.
    Reply(0, {Friend(120, "Wei", "", "hello"), Friend(121, "Na", "", ""), Friend(122, "Fang", "", "")});
    lumui::PumpUntil([&] { return Ids(main_->m_listFriend) == std::set<int>{120, 121, 122}; }, 5000);
    EXPECT_EQ(Ids(main_->m_listFriend), (std::set<int>{120, 121, 122}));
    EXPECT_EQ(StoredIds(1), (std::set<int>{120, 121, 122}));

    // A second reply in the same session: 120 changed, 121 and 122 gone,
    // 123 new without a name.
    Reply(0, {Friend(120, "Wei Zhang", "classmate", "busy"), Friend(123, "", "", "")});
    lumui::PumpUntil([&] { return Ids(main_->m_listFriend) == std::set<int>{120, 123}; }, 5000);
    EXPECT_EQ(Ids(main_->m_listFriend), (std::set<int>{120, 123}));
    EXPECT_EQ(StoredIds(1), (std::set<int>{120, 123}));
    CDataUser* changed = FriendRecord(120);
    ASSERT_NE(changed, nullptr);
    EXPECT_STREQ(static_cast<const char*>(changed->m_bstrName), "Wei Zhang");
    EXPECT_STREQ(static_cast<const char*>(changed->m_bstrSign), "busy");
    const int row = main_->m_listFriend.FindRow(120);
    EXPECT_STREQ(main_->m_listFriend.GetItemText(row, 0).GetString(), "classmate");
    EXPECT_STREQ(main_->m_listFriend.GetItemText(main_->m_listFriend.FindRow(123), 0).GetString(), "123");

    // A failed reply leaves everything as it is.
    Reply(static_cast<int>(lum_thrift::ResultCode::PARA_ERROR), {});
    EXPECT_EQ(Ids(main_->m_listFriend), (std::set<int>{120, 123}));

    // The head of 120 arrives from the web server; 123 has none there.
    EXPECT_TRUE(lumui::PumpUntil([&] { return FriendRecord(120)->m_imgHead != nullptr; }, 5000));
    EXPECT_EQ(Pixel(FriendRecord(120)->m_imgHead, 20, 20), kGreen);
    ASSERT_TRUE(lumui::PumpUntil(
        [&] { return Served("/upload/face/123.png") > 0 && lumheads::PendingHeads() == 0; }, 5000));
    EXPECT_EQ(FriendRecord(123)->m_imgHead, nullptr);
}

TEST_F(RepliesTest, BlackListReplyFillsTheSetAndTheTopicLineArrives)
{
    lum_thrift::StructBlackListResp reply;
    reply.blackList = {5, 7, 5};
    main_->SendMessage(UM_ID_LIST, 0, reinterpret_cast<LPARAM>(&reply));
    EXPECT_EQ(main_->m_book.BlackList(), (std::set<int>{5, 7}));

    EXPECT_TRUE(lumui::PumpUntil([&] { return !main_->m_strTopic.IsEmpty(); }, 5000));
    EXPECT_STREQ(main_->m_strTopic.GetString(), "Exams next week");
}

TEST_F(RepliesTest, MissingOrUndecodableHeadsKeepTheOldOne)
{
    CDataUser* missing = AddWithHead(main_->m_listFriend, 404, kOld);
    CDataUser* garbage = AddWithHead(main_->m_listStranger, 666, kOld);
    StartUserHeadDownload(missing);
    StartUserHeadDownload(garbage);
    ASSERT_TRUE(lumui::PumpUntil([] { return lumheads::PendingHeads() == 0; }, 8000));
    for (CDataUser* rec : {missing, garbage}) {
        ASSERT_NE(rec->m_imgHead, nullptr);
        EXPECT_EQ(Pixel(rec->m_imgHead, 20, 20), kOld);
    }
    // A record removed while its head downloads is never touched.
    CDataUser* gone = AddWithHead(main_->m_listFriend, 120, kOld);
    StartUserHeadDownload(gone);
    main_->m_listFriend.RemoveUser(120);
    ASSERT_TRUE(lumui::PumpUntil([] { return lumheads::PendingHeads() == 0; }, 8000));
    EXPECT_EQ(main_->m_listFriend.GetUser(120), nullptr);
    // No downloaded file is left in the program folder.
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
        EXPECT_EQ(entry.path().extension().string() == ".png", false) << entry.path();
}

TEST_F(RepliesTest, OneHeadAskedForByTwoListsIsFetchedOnceAndBothGetIt)
{
    CDataUser* inFriends = AddWithHead(main_->m_listFriend, 777, kOld);
    CDataUser* inStrangers = AddWithHead(main_->m_listStranger, 777, kOld);
    StartUserHeadDownload(inFriends);
    StartUserHeadDownload(inStrangers);
    release777_ = true;
    auto loaded = [](CDataUser* rec) { return rec->m_imgHead && Pixel(rec->m_imgHead, 20, 20) == kRed; };
    EXPECT_TRUE(lumui::PumpUntil([&] { return loaded(inFriends) && loaded(inStrangers); }, 8000));
    EXPECT_EQ(requests777_.load(), 1);
    for (CDataUser* rec : {inFriends, inStrangers}) EXPECT_EQ(Pixel(rec->m_imgHead, 2, 38), kRed);
    // Asked for again in the same session: drawn from what came, no second fetch.
    CDataUser later;
    later.m_nId = 777;
    StartUserHeadDownload(&later);
    ASSERT_NE(later.m_imgHead, nullptr);
    EXPECT_EQ(Pixel(later.m_imgHead, 20, 20), kRed);
    ASSERT_TRUE(lumui::PumpUntil([] { return lumheads::PendingHeads() == 0; }, 8000));
    EXPECT_EQ(requests777_.load(), 1);
}

}  // namespace
