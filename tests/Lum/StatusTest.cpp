// The main window between heartbeats: contacts' states and the notices the
// heartbeat hands over, the tray icon's flashing for unread senders, the own
// status switched by idle time, the read-message hotkey, and the session
// lost while sending.
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/KivMessages.h"
#include "Lum/LumResource.h"
#include "Lum/chat/MessageBody.h"
#include "Lum/session/ServiceConnection.h"
#include "Lum/session/Workers.h"
#include "Lum/protocol/LumService.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/menu.h"
#include "platform/shellapi.h"
#include "platform/uiapp.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/WireFormat.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

namespace {

const UINT kTray = 2023;

lum_thrift::StructMessage Notice(int from, int gid, const std::string& body)
{
    lum_thrift::StructMessage m;
    m.fromid = from;
    m.gid = gid;
    m.content = standin::PercentEncode(body);
    return m;
}

class StatusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        services_.SetExitWaitMs(20);
        // No head downloads and no store writes on threads: the records are
        // what the test puts in.
        CKivUsersListCtrl::s_loadHead = [](CDataUser*) {};
        CKivGroupListCtrl::s_loadHead = [](CDataGroup*) {};
        CKivGroupListCtrl::s_storeGroup = [](CDataGroup*, void*) {};
        app_ = std::make_unique<CKivApp>();
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
        app_->SetOwnUserId(1);
        main_->ConnectUserStores(1);
        services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
            boxes_.push_back(text.str());
            return IDOK;
        });
    }

    void TearDown() override
    {
        lumui::SetIdleTimeOverride(-1);
        app_->m_pMainWnd = nullptr;
        main_->DestroyWindow();
        main_.reset();
        uiwait::QueuedWorkDone();
        app_.reset();
        CKivUsersListCtrl::s_loadHead = nullptr;
        CKivGroupListCtrl::s_loadHead = StartGroupHeadDownload;
        CKivGroupListCtrl::s_storeGroup = StartGroupStoreWrite;
    }

    CDataUser* AddUser(CKivUsersListCtrl& list, int id, const char* name, int status = 0)
    {
        CDataUser rec;
        rec.m_nId = id;
        rec.m_bstrName = name;
        rec.m_nStatus = status;
        list.AddUser(&rec, 0);
        return static_cast<CDataUser*>(list.GetUser(id));
    }

    CDataGroup* AddGroup(int gid, const char* name, std::initializer_list<int> members)
    {
        CDataGroup group;
        group.m_nId = gid;
        group.m_bstrName = name;
        for (int id : members) {
            auto* rec = new CDataUser;
            rec->m_nId = id;
            rec->m_nGroupId = gid;
            group.m_mapMembers[id] = rec;
        }
        main_->m_listGroup.AddGroup(&group, 1);
        return main_->m_listGroup.GetGroup(gid);
    }

    std::set<int> Members(int gid)
    {
        std::set<int> ids;
        if (CDataGroup* g = main_->m_listGroup.GetGroup(gid))
            for (const auto& entry : g->m_mapMembers) ids.insert(entry.first);
        return ids;
    }

    LRESULT Send(UINT message, const lum_thrift::StructMessage& m)
    {
        return main_->SendMessage(message, 0, reinterpret_cast<LPARAM>(&m));
    }

    void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) main_->SendMessage(WM_TIMER, kTray, 0);
    }

    HICON TrayIcon() { return lumui::TrayState(main_->m_hWnd, kTray).icon; }

    TempDir dir_;
    TestServices services_;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
    std::vector<std::string> boxes_;
};

TEST_F(StatusTest, ContactStatesReachFriendsStrangersAndGroupMembers)
{
    CDataUser* wei = AddUser(main_->m_listFriend, 120, "Wei");
    CDataUser* na = AddUser(main_->m_listStranger, 121, "Na");
    AddGroup(9001, "Class 3", {120, 122});

    main_->SendMessage(UM_CONTACT_STATUS, 120, 2);
    main_->SendMessage(UM_CONTACT_STATUS, 121, 3);
    EXPECT_EQ(wei->m_nStatus, 2);
    EXPECT_EQ(na->m_nStatus, 3);
    EXPECT_EQ(main_->m_listGroup.GetGroup(9001)->m_mapMembers[120]->m_nStatus, 2);

    // Values outside 0 to 9 (a negative one too) change nothing.
    main_->SendMessage(UM_CONTACT_STATUS, 120, 10);
    main_->SendMessage(UM_CONTACT_STATUS, 120, static_cast<LPARAM>(-1));
    EXPECT_EQ(wei->m_nStatus, 2);
    main_->SendMessage(UM_CONTACT_STATUS, 120, 0);
    EXPECT_EQ(wei->m_nStatus, 0);
}

TEST_F(StatusTest, GroupNoticesChangeTheGroupList)
{
    AddGroup(9001, "Class 3", {5, 6});
    AddGroup(9002, "Chess", {6});

    // A member removed; a notice of another kind or about an unknown group
    // changes nothing.
    EXPECT_EQ(Send(UM_GROUP_MEMBER_REMOVED, Notice(6, 9001, "<info cmd=\"delgroupuser\" fromid=\"5\"/>")), 1);
    EXPECT_EQ(Members(9001), (std::set<int>{6}));
    EXPECT_EQ(Send(UM_GROUP_MEMBER_REMOVED, Notice(6, 9001, "<info cmd=\"joined\" fromid=\"6\"/>")), 0);
    EXPECT_EQ(Send(UM_GROUP_MEMBER_REMOVED, Notice(6, 9999, "<info cmd=\"delgroupuser\" fromid=\"6\"/>")), 1);
    EXPECT_EQ(Send(UM_GROUP_MEMBER_REMOVED, Notice(0, 9001, "<info cmd=\"delgroupuser\" fromid=\"6\"/>")), 0);
    EXPECT_EQ(Members(9001), (std::set<int>{6}));

    // A member joined, with the characters that would break markup taken
    // out of the name.
    EXPECT_EQ(Send(UM_GROUP_MEMBER_JOINED, Notice(7, 9001, "<info cmd=\"joined\" fromid=\"7\" fromname=\"李'/&gt;明\"/>")), 1);
    EXPECT_EQ(Members(9001), (std::set<int>{6, 7}));
    EXPECT_STREQ(static_cast<const char*>(main_->m_listGroup.GetGroup(9001)->m_mapMembers[7]->m_bstrName), "李明");

    // Deleted (dissolved or left) groups go; a body that is not XML is ignored.
    EXPECT_EQ(Send(UM_GROUP_DELETED, Notice(6, 9002, "<info cmd=\"delgroup\"/>")), 1);
    EXPECT_EQ(main_->m_listGroup.GetGroup(9002), nullptr);
    EXPECT_EQ(Send(UM_GROUP_DELETED, Notice(6, 9001, "<info cmd=\"delgroup\"")), 0);
    EXPECT_NE(main_->m_listGroup.GetGroup(9001), nullptr);

    // Added to a group: the group comes with its members; a member without
    // an id is dropped; a group already listed is left alone.
    EXPECT_EQ(Send(UM_GROUP_ADDED, Notice(1, 9003,
                                          "<info cmd=\"addgroup\" gid=\"9003\" gname=\"数学组\">"
                                          "<user id=\"1\" name=\"me\"/><user id=\"8\" name=\"Fang\" carte=\"组长\"/>"
                                          "<user name=\"nobody\"/></info>")),
              1);
    CDataGroup* added = main_->m_listGroup.GetGroup(9003);
    ASSERT_NE(added, nullptr);
    EXPECT_STREQ(static_cast<const char*>(added->m_bstrName), "数学组");
    EXPECT_EQ(Members(9003), (std::set<int>{1, 8}));
    EXPECT_EQ(added->m_mapMembers[8]->m_strRemark, "组长");
    EXPECT_EQ(Send(UM_GROUP_ADDED, Notice(1, 9003, "<info gid=\"9003\" gname=\"other\"/>")), 0);
    EXPECT_STREQ(static_cast<const char*>(main_->m_listGroup.GetGroup(9003)->m_bstrName), "数学组");

    // A group created by the user gets the user as its owner member.
    CDataGroup created;
    created.m_nId = 9004;
    created.m_bstrName = "New";
    main_->SendMessage(UM_GROUP_CREATED, reinterpret_cast<WPARAM>(&created), 0);
    ASSERT_NE(main_->m_listGroup.GetGroup(9004), nullptr);
    EXPECT_EQ(main_->m_listGroup.GetGroup(9004)->m_mapMembers[1]->m_nMemberRole, 1);
}

TEST_F(StatusTest, AFriendRequestMovesTheRequesterFromStrangersToFriends)
{
    AddUser(main_->m_listStranger, 130, "Stranger");
    EXPECT_EQ(Send(UM_FRIEND_REQUEST, Notice(130, 0, "<info cmd=\"addfriend\" fromid=\"130\" fromphone=\"13900000000\" "
                                                     "fromname=\"王&gt;芳\"/>")),
              1);
    EXPECT_EQ(main_->m_listStranger.GetUser(130), nullptr);
    auto* rec = static_cast<CDataUser*>(main_->m_listFriend.GetUser(130));
    ASSERT_NE(rec, nullptr);
    EXPECT_STREQ(static_cast<const char*>(rec->m_bstrName), "王芳");
    EXPECT_EQ(rec->m_strPhone, "13900000000");

    EXPECT_EQ(Send(UM_FRIEND_REQUEST, Notice(131, 0, "<info cmd=\"joined\" fromid=\"131\"/>")), 0);
    EXPECT_EQ(main_->m_listFriend.GetUser(131), nullptr);
}

TEST_F(StatusTest, TrayFlashesForAnUnreadSenderAndStopsWhenOpened)
{
    // Only the test's ticks move the animation (the window's own timer would
    // add phases whenever the machine is slow).
    main_->KillTimer(kTray);
    const HICON idle = TrayIcon();
    ASSERT_NE(idle, nullptr);
    // Nobody unread yet: the icon is never touched.
    Tick(5);
    EXPECT_EQ(TrayIcon(), idle);

    CDataUser* wei = AddUser(main_->m_listFriend, 120, "Wei");
    wei->m_imgHead = new Gdiplus::Bitmap(40, 40, Gdiplus::PixelFormat32bppARGB);
    __StructMessage queued;
    queued.fromid = 120;
    wei->AddMsgToUnreadNews(queued);
    main_->m_stackNewMsg.Push(wei);

    // Blank, head, blank, head...
    Tick();
    EXPECT_EQ(TrayIcon(), nullptr);
    Tick();
    const HICON head = TrayIcon();
    EXPECT_NE(head, nullptr);
    EXPECT_NE(head, idle);
    Tick();
    EXPECT_EQ(TrayIcon(), nullptr);
    Tick();
    EXPECT_NE(TrayIcon(), nullptr);

    // A click on the tray opens the sender: the stack empties, the icon
    // shows one blank phase and then the status icon for good.
    ASSERT_TRUE(lumui::ClickTray(main_->m_hWnd, kTray, WM_LBUTTONDOWN));
    lumui::PumpUntil([&] { return main_->m_stackNewMsg.IsEmpty(); }, 2000);
    EXPECT_TRUE(main_->m_stackNewMsg.IsEmpty());
    EXPECT_TRUE(wei->m_vecUnread.empty());
    Tick();
    EXPECT_EQ(TrayIcon(), nullptr);
    Tick(3);
    EXPECT_EQ(TrayIcon(), idle);

    // A sender removed from its list leaves the stack: the icon stays put.
    CDataUser* na = AddUser(main_->m_listStranger, 121, "Na");
    main_->m_stackNewMsg.Push(na);
    main_->m_listStranger.RemoveUser(121);
    Tick(4);
    EXPECT_EQ(TrayIcon(), idle);
}

TEST_F(StatusTest, TrayRightClickShowsTheStatusMenuThenTheMainWindow)
{
    main_->ShowWindow(SW_HIDE);
    HWND popup = nullptr;
    // The click arrives as a posted message: wait for the menu it opens.
    std::function<void()> closeMenu = [&] {
        popup = lumui::OpenPopupMenu();
        if (!popup) {
            lumui::RunLater(closeMenu);
            return;
        }
        std::filesystem::create_directories(SCREENSHOT_DIR);
        lumui::SaveWindowImage(popup, SCREENSHOT_DIR "/tray-menu.png");
        lumui::SendKey(popup, VK_ESCAPE);
    };
    lumui::RunLater(closeMenu);
    ASSERT_TRUE(lumui::ClickTray(main_->m_hWnd, kTray, WM_RBUTTONUP));
    EXPECT_TRUE(lumui::PumpUntil([&] { return main_->IsWindowVisible() != FALSE; }, 3000));
    EXPECT_NE(popup, nullptr);
    // Other mouse messages do nothing.
    main_->ShowWindow(SW_HIDE);
    main_->SendMessage(UM_TRAY_NOTIFY, kTray, WM_MOUSEMOVE);
    EXPECT_FALSE(main_->IsWindowVisible());
}

TEST_F(StatusTest, IdleTimeSwitchesToAwayAndBackInMinutes)
{
    app_->m_nIdleTime = 5;  // minutes, as the settings page offers it
    // Six minutes idle: away at the next check, which comes with the 18th tick.
    lumui::SetIdleTimeOverride(6 * 60 * 1000);
    Tick(17);
    EXPECT_EQ(main_->m_nStatus, 1);
    Tick();
    EXPECT_EQ(main_->m_nStatus, 2);

    // Input a second ago: online again.
    lumui::SetIdleTimeOverride(1000);
    Tick(18);
    EXPECT_EQ(main_->m_nStatus, 1);

    // Five seconds short of five minutes is not yet idle.
    lumui::SetIdleTimeOverride(5 * 60 * 1000 - 5000);
    Tick(18);
    EXPECT_EQ(main_->m_nStatus, 1);

    // Away chosen by hand returns to online when there was input.
    main_->SendMessage(WM_COMMAND, 9072, 0);
    EXPECT_EQ(main_->m_nStatus, 2);
    Tick(18);
    EXPECT_EQ(main_->m_nStatus, 1);

    // No threshold: no switching at all.
    app_->m_nIdleTime = 0;
    lumui::SetIdleTimeOverride(60 * 60 * 1000);
    Tick(36);
    EXPECT_EQ(main_->m_nStatus, 1);
}

TEST_F(StatusTest, ReadMessageHotkeySettingAndPress)
{
    UINT mods = 0, vk = 0;
    EXPECT_TRUE(ParseHotKeySetting("Ctrl+Alt+Z", &mods, &vk));
    EXPECT_EQ(mods, static_cast<UINT>(MOD_CONTROL | MOD_ALT));
    EXPECT_EQ(vk, static_cast<UINT>('Z'));
    EXPECT_TRUE(ParseHotKeySetting("Alt+F", &mods, &vk));
    EXPECT_EQ(mods, static_cast<UINT>(MOD_ALT));
    EXPECT_EQ(vk, static_cast<UINT>('F'));
    EXPECT_FALSE(ParseHotKeySetting("0", &mods, &vk));
    EXPECT_FALSE(ParseHotKeySetting("", &mods, &vk));
    EXPECT_FALSE(ParseHotKeySetting("Ctrl+Alt+", &mods, &vk));

    // The setting is read with the others; the press opens the newest
    // unread sender.
    main_->m_dbSys.InsertSysSet(1, "Hotkey_ReadMsg", "Ctrl+Alt+Z");
    main_->SendMessage(UM_SETTINGS_CHANGED, 0, 0);
    CDataUser* wei = AddUser(main_->m_listFriend, 120, "Wei");
    main_->m_stackNewMsg.Push(wei);
    ASSERT_TRUE(lumui::FireHotKey(main_->m_hWnd, 2022));
    EXPECT_TRUE(lumui::PumpUntil([&] { return main_->m_stackNewMsg.IsEmpty() != FALSE; }));
}

TEST_F(StatusTest, SettingsLoadPicksTheReplyTextAndDefaultSounds)
{
    main_->m_dbSys.InsertSysSet(1, "Status_IdleTime", "10");
    main_->m_dbSys.InsertSysSet(1, "Status_ReplyIndex", "2");
    main_->m_dbSys.InsertSysSet(1, "Status_ReplyList", "在忙|马上回来|下课再聊");
    main_->m_dbSys.InsertSysSet(1, "Basic_PanelClose", "1");
    main_->SendMessage(UM_SETTINGS_CHANGED, 0, 0);
    EXPECT_EQ(app_->m_nIdleTime, 10);
    EXPECT_EQ(app_->m_strReplyText, "马上回来");
    EXPECT_EQ(app_->m_nPanelClose, 1);
    EXPECT_EQ(app_->m_strFriendSound, CString((dir_.path() + "/voice/MsgSound.wav").c_str()));

    // An index beyond the last entry leaves no reply; 0 picks the first.
    main_->m_dbSys.InsertSysSet(1, "Status_ReplyIndex", "7");
    main_->SendMessage(UM_SETTINGS_CHANGED, 0, 0);
    EXPECT_EQ(app_->m_strReplyText, "");
    main_->m_dbSys.InsertSysSet(1, "Status_ReplyIndex", "0");
    main_->SendMessage(UM_SETTINGS_CHANGED, 0, 0);
    EXPECT_EQ(app_->m_strReplyText, "在忙");
}

TEST_F(StatusTest, ASessionLostWhileSendingPutsTheClientOfflineWithItsText)
{
    standin::StandinService service;
    ASSERT_TRUE(service.LoadSeedFile(STANDIN_SEED_FILE));
    const int port = service.Start(0);
    ASSERT_GT(port, 0);
    const std::string ini = dir_.file("Lum.ini");
    WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
    WritePrivateProfileString("Service", "Port", std::to_string(port).c_str(), ini.c_str());
    AddUser(main_->m_listFriend, 120, "Wei");

    struct Case {
        int code;
        const char* text;
    };
    for (const Case& c : {Case{6, "你已正在其它地方登录中，被迫下线！"}, Case{7, "连接服务器超时，请重新登录！!"}}) {
        main_->m_nStatus = 1;
        app_->SetSessionKey("k");
        boxes_.clear();
        standin::Fault fault;
        fault.kind = standin::Fault::ResultCode;
        fault.code = c.code;
        service.SetFault("SendUserMsg", fault);
        auto* block = new SendMsgBlock;
        block->toid = 120;
        block->gid = 1;
        block->msg = "hi";
        std::atomic<bool> done{false};
        std::thread worker([&] {
            ThreadSendUserMsg(block);
            done = true;
        });
        EXPECT_TRUE(lumui::PumpUntil([&] { return done.load(); }, 10000));
        worker.join();
        EXPECT_EQ(boxes_, std::vector<std::string>{c.text});
        EXPECT_EQ(main_->m_nStatus, 3);
        EXPECT_TRUE(app_->GetSessionKey().empty());
        EXPECT_EQ(TrayIcon(), main_->m_hIconOffline);
        // The lists stay filled while offline.
        EXPECT_NE(main_->m_listFriend.GetUser(120), nullptr);
    }
    service.Stop();
}

}  // namespace
