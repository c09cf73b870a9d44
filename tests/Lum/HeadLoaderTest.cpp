// Heads through the real main window and its lists against a web server on
// loopback: a thousand friends whose heads come slowly keep the UI thread
// responsive and every head lands in its row and the store; shutting down
// while heads are on their way ends the transfers without waiting for the
// server and keeps every head that had come; a member's head fetched for a
// group chat's member list shows in that list, and group lines fetch
// nothing that is there.
#include "Common/stores/FileDB.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/KivMessages.h"
#include "Lum/LumResource.h"
#include "Lum/protocol/LumService.h"
#include "platform/config.h"
#include "platform/dhtml.h"
#include "platform/files.h"
#include "platform/heads.h"
#include "platform/uiapp.h"
#include "tests/platform/ProgramSpeed.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiProbe.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/UiWait.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>

namespace {

const int kOwnId = 1;
const int kFirstFriend = 20001;
const double kResponsiveMs = lumtest::ProgramMs(100);

// A colour of its own for every id, opaque.
Gdiplus::ARGB ColorOf(int id)
{
    return 0xFF000000u | ((static_cast<unsigned>(id) * 2654435761u) & 0x00FFFFFFu);
}

std::string PngOf(Gdiplus::ARGB color)
{
    Gdiplus::Bitmap bmp(40, 40, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics(&bmp).Clear(Gdiplus::Color(color));
    std::string bytes;
    filedb::EncodeHead(&bmp, bytes);
    return bytes;
}

Gdiplus::ARGB Pixel(Gdiplus::Bitmap* bmp, int x, int y)
{
    Gdiplus::Color c;
    return bmp && bmp->GetPixel(x, y, &c) == Gdiplus::Ok ? c.GetValue() : 0;
}

class HeadLoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        server_.Get(R"(/upload/face/(\d+)\.png)", [this](const httplib::Request& req, httplib::Response& res) {
            const int id = std::stoi(req.matches[1]);
            ++requests_;
            // Held ids wait until the server stops.
            while (held_ && id > lastAnswered_ && !stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (stopping_) {
                res.status = 503;
                return;
            }
            if (delayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
            res.set_content(PngOf(ColorOf(id)), "image/png");
            ++answered_;
        });
        // Answers go out whole at once, as web servers send theirs.
        server_.set_tcp_nodelay(true);
        server_.set_keep_alive_max_count(1);  // stopping never waits for an idle connection
        const int port = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        const std::string ini = dir_.file("Lum.ini");
        WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
        WritePrivateProfileString("Service", "Port", "1", ini.c_str());
        WritePrivateProfileString("Web", "BaseUrl", ("http://127.0.0.1:" + std::to_string(port)).c_str(), ini.c_str());
        services_.SetExitWaitMs(20);
        CKivGroupListCtrl::s_storeGroup = [](CDataGroup*, void*) {};
        app_ = std::make_unique<CKivApp>();
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
        main_->KillTimer(2023);  // no heartbeat
        app_->SetOwnUserId(kOwnId);
        main_->ConnectUserStores(kOwnId);
        if (main_->m_dlgLogin.m_hWnd) main_->m_dlgLogin.ShowWindow(SW_HIDE);
        main_->m_layered.RemoveLayeredStyle(main_->m_hWnd);
        main_->ShowWindow(SW_SHOW);
        main_->SelectTab(IDC_BTN_TAB_FRIENDS);
        // The main window starts the web engine once it is up, which keeps
        // the UI thread busy once; the tests measure after that.
        ASSERT_TRUE(lumui::PumpUntil([] { return lumui::WebEngineStarted(); }, 20000));
    }

    void TearDown() override
    {
        if (main_) CloseMain();
        stopping_ = true;
        server_.stop();
        thread_.join();
        app_.reset();
        CKivGroupListCtrl::s_storeGroup = StartGroupStoreWrite;
    }

    void CloseMain()
    {
        for (auto& entry : main_->m_listGroup.m_mapGroups)
            if (CWnd* chat = entry.second->m_dlgChat) {
                // A chat window's object goes with its window.
                entry.second->m_dlgChat = nullptr;
                chat->DestroyWindow();
            }
        app_->m_pMainWnd = nullptr;
        main_->DestroyWindow();
        main_.reset();
        EXPECT_TRUE(uiwait::QueuedWorkDone());
    }

    // The friend-list reply of the service for `count` friends.
    void ReplyFriends(int count)
    {
        lum_thrift::StructFriendListResp reply;
        reply.code = lum_thrift::ResultCode::SUCCESS;
        for (int k = 0; k < count; ++k) {
            lum_thrift::StructFriend f;
            f.user.userid = kFirstFriend + k;
            f.user.name = "同学" + std::to_string(k);
            f.user.__set_img_time("20120901080000");
            reply.friendList.push_back(f);
        }
        main_->SendMessage(UM_FRIEND_LIST, 0, reinterpret_cast<LPARAM>(&reply));
    }

    // The friends whose record holds their own head.
    int FriendsWithTheirHead()
    {
        int n = 0;
        for (const auto& entry : main_->m_listFriend.m_mapUsers)
            n += Pixel(entry.second->m_imgHead, 20, 20) == ColorOf(entry.first);
        return n;
    }

    // The stored friends whose stored head is their own.
    static int StoredFriendsWithTheirHead()
    {
        CFileDbUser store;
        if (store.Connect(kOwnId) != 1) return -1;
        std::set<CDataUser*> rows;
        store.GetGroupUserList(1, &rows);
        int n = 0;
        for (CDataUser* row : rows) {
            n += Pixel(row->m_imgHead, 20, 20) == ColorOf(row->m_nId);
            delete row;
        }
        return n;
    }

    TempDir dir_;
    TestServices services_;
    httplib::Server server_;
    std::thread thread_;
    std::atomic<int> requests_{0}, answered_{0};
    std::atomic<int> delayMs_{0};
    std::atomic<bool> held_{false}, stopping_{false};
    std::atomic<int> lastAnswered_{0};
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
};

TEST_F(HeadLoaderTest, AThousandFriendsWhoseHeadsComeSlowlyKeepTheUiResponsiveAndEveryHeadLands)
{
    delayMs_ = 3;
    UiProbe probe;
    ASSERT_TRUE(probe.Start());
    ReplyFriends(1000);
    EXPECT_TRUE(lumui::PumpUntil([&] { return main_->m_listFriend.GetItemCount() == 1000; }, 20000));
    EXPECT_TRUE(lumui::PumpUntil([&] { return FriendsWithTheirHead() == 1000; }, 60000)) << FriendsWithTheirHead();
    EXPECT_LT(probe.Longest(), kResponsiveMs);
    probe.Stop();
    // One request per head, and every head is kept in the store.
    EXPECT_EQ(requests_.load(), 1000);
    EXPECT_EQ(StoredFriendsWithTheirHead(), 1000);
    // The first rows show their heads.
    auto firstRowShown = [&] {
        return lumui::WindowPixel(main_->m_listFriend.m_hWnd, 12 + 20, 3 + 20) & 0xFFFFFF;
    };
    EXPECT_TRUE(lumui::PumpUntil([&] { return firstRowShown() == (ColorOf(kFirstFriend) & 0xFFFFFF); }, 5000))
        << std::hex << firstRowShown();
}

TEST_F(HeadLoaderTest, ShuttingDownWhileHeadsAreOnTheirWayEndsTheTransfersAndKeepsEveryHeadThatCame)
{
    // Every head is held while the list fills; then the first fifty are
    // answered and the other hundred and fifty never.
    held_ = true;
    ReplyFriends(200);
    ASSERT_TRUE(lumui::PumpUntil([&] { return main_->m_listFriend.GetItemCount() == 200; }, 20000));
    lastAnswered_ = kFirstFriend + 49;
    // The UI thread does not run meanwhile: the fifty heads wait on their
    // way to it when the program goes, and the transfers that took their
    // place are under way for held heads.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((lumheads::ArrivedHeads() < 50 || requests_.load() <= 50) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(lumheads::ArrivedHeads(), 50);
    ASSERT_GT(requests_.load(), 50);
    EXPECT_EQ(FriendsWithTheirHead(), 0);

    CloseMain();
    // The transfers ended without the server's answer, and nothing waits.
    EXPECT_EQ(lumheads::PendingHeads(), 0);
    EXPECT_EQ(answered_.load(), 50);
    // Every head that had come is in the store.
    EXPECT_EQ(StoredFriendsWithTheirHead(), 50);
}

TEST_F(HeadLoaderTest, AMembersHeadFetchedForTheMemberListShowsThereAndGroupLinesFetchNothingThatIsThere)
{
    CDataGroup group;
    group.m_nId = 501;
    group.m_bstrName = "计算机一班";
    for (int id : {10002, 10003, 10004}) {
        auto* member = new CDataUser;
        member->m_nId = id;
        member->m_nGroupId = 501;
        member->m_bstrName = ("成员" + std::to_string(id)).c_str();
        group.m_mapMembers[id] = member;
    }
    main_->m_listGroup.AddGroup(&group, 0);
    CDataGroup* listed = main_->m_listGroup.GetGroup(501);
    main_->m_listGroup.OpenGroupChat(listed);
    auto* chat = dynamic_cast<CKivDlgChatGroup*>(listed->m_dlgChat);
    ASSERT_NE(chat, nullptr);
    chat->ShowWindow(SW_SHOW);
    CKivGroupUsersListCtrl& members = chat->m_dlgMsgList.m_listMembers;
    ASSERT_TRUE(lumui::PumpUntil([&] { return members.GetItemCount() == 3; }, 20000));

    // The heads fetched for the member list are drawn in its rows.
    auto rowShowsHead = [&](int row) {
        const int id = static_cast<int>(members.GetItemData(row));
        const DWORD shown = lumui::WindowPixel(members.m_hWnd, 4 + 11, row * 27 + 2 + 11);
        return (shown & 0xFFFFFF) == (ColorOf(id) & 0xFFFFFF);
    };
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            members.Invalidate();
            members.UpdateWindow();
            return rowShowsHead(0) && rowShowsHead(1) && rowShowsHead(2);
        },
        20000));
    // The group list's members have them too.
    for (const auto& entry : listed->m_mapMembers) EXPECT_EQ(Pixel(entry.second->m_imgHead, 20, 20), ColorOf(entry.first));
    const int fetched = requests_.load();
    EXPECT_EQ(fetched, 3);

    // A member speaks: the member list keeps its records, and nothing is
    // fetched again.
    const CDataUser* before = static_cast<CDataUser*>(members.GetUser(10002));
    lum_thrift::StructMessage line;
    line.fromid = 10002;
    line.gid = 501;
    line.toid = kOwnId;
    line.sendTime = "2012-09-01 08:00:00";
    line.content = "%3Cfont%3E%E5%A5%BD%3C%2Ffont%3E";
    line.msgType = lum_thrift::MsgType::IsGroupMessage;
    main_->SendMessage(UM_GROUP_MESSAGE, 0, reinterpret_cast<LPARAM>(&line));
    EXPECT_EQ(lumheads::PendingHeads(), 0);
    EXPECT_EQ(members.GetUser(10002), before);
    // Nor once the work the line queued has run.
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(lumheads::PendingHeads(), 0);
    EXPECT_EQ(requests_.load(), fetched);
    EXPECT_TRUE(rowShowsHead(0) && rowShowsHead(1) && rowShowsHead(2));
}

}  // namespace
