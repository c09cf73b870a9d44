// The chat windows and the group list's menus and commands, with a real main
// window and the stand-in service behind the workers: titles, sizes, the
// lines the windows add to their panes, automatic replies while away (also
// between two away users), the black list, group types, SMS blocking,
// dissolving and quitting groups, notices about groups, and the removal of
// a member who is also a friend.
#include "Common/stores/FileDbMsg.h"
#include "Common/stores/FileDbUser.h"
#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/KivMessages.h"
#include "Lum/LumResource.h"
#include "Lum/session/ServiceConnection.h"
#include "Lum/session/Workers.h"
#include "Lum/protocol/LumService.h"
#include "platform/commdlg.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/menu.h"
#include "platform/module.h"
#include "platform/uiapp.h"
#include "platform/uitest.h"
#include "tests/platform/ScreenPixels.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/StandinService.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

const int kOwn = 10001;
const int kPeer = 10002;
const int kGid = 5001;

int QueryInt(sqlite3* db, const std::string& sql)
{
    sqlite3_stmt* st = nullptr;
    int value = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        value = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return value;
}

std::unique_ptr<CDataUser> User(int id, const char* name, int gid)
{
    auto rec = std::make_unique<CDataUser>();
    rec->m_nId = id;
    rec->m_bstrName = name;
    rec->m_nGroupId = gid;
    return rec;
}

std::unique_ptr<CDataGroup> Group(int gid, const char* name, int style, int master, std::vector<int> members)
{
    auto rec = std::make_unique<CDataGroup>();
    rec->m_nId = gid;
    rec->m_bstrName = name;
    rec->m_nStyle = style;
    rec->m_nIsMaster = master;
    for (int id : members) {
        auto* m = new CDataUser;
        m->m_nId = id;
        m->m_bstrName = ("成员" + std::to_string(id)).c_str();
        m->m_nGroupId = gid;
        rec->m_mapMembers[id] = m;
    }
    return rec;
}

// Presses keys in the popup menu that is about to open (from inside the
// menu's own loop, once it is shown); `seen` gets the popup. It looks for the
// menu on every turn of the loop for up to ten seconds: a count of turns ran
// out in no time on a busy machine, before the menu showed, and the menu's
// loop then waited for keys that never came.
void AnswerMenu(std::vector<UINT> keys, HWND* seen = nullptr,
                std::chrono::steady_clock::time_point until = std::chrono::steady_clock::now() +
                                                              std::chrono::seconds(10))
{
    lumui::RunLater([keys, seen, until] {
        HWND popup = lumui::OpenPopupMenu();
        if (!popup) {
            if (std::chrono::steady_clock::now() < until) AnswerMenu(keys, seen, until);
            return;
        }
        if (seen) *seen = popup;
        for (UINT key : keys) lumui::SendKey(popup, key);
    });
}

// Up from no selection lands on the last entry.
void ChooseLastMenuEntry()
{
    AnswerMenu({VK_UP, VK_RETURN});
}

class ChatWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        std::string error;
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE, &error)) << error;
        const int port = service_.Start(0);
        ASSERT_GT(port, 0);
        const std::string ini = dir_.file("Lum.ini");
        WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
        WritePrivateProfileString("Service", "Port", std::to_string(port).c_str(), ini.c_str());
        SetServiceTimeouts(ServiceTimeouts{1000, 1000, 2000});

        CKivUsersListCtrl::s_loadHead = [](CDataUser*) {};
        CKivUsersListCtrl::s_createChat = CreateUserChatWindow;
        CKivGroupListCtrl::s_loadHead = [](CDataGroup*) {};
        CKivGroupListCtrl::s_storeGroup = [](CDataGroup*, void*) {};
        services_.SetExitWaitMs(10);
        services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
            boxes.push_back(text.str());
            return answer;
        });

        app_ = std::make_unique<CKivApp>();
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
        // No heartbeat: the test plays the service's pushes itself.
        main_->KillTimer(2023);
        app_->SetOwnUserId(kOwn);
        app_->m_userSelf.m_nId = kOwn;
        app_->m_userSelf.m_strPhone = "13800000001";
        main_->ConnectUserStores(kOwn);
    }

    void TearDown() override
    {
        // The lists' records take their chat windows with them; windows of
        // records the test owned went with those records. What is left (a
        // window whose record let go of it) is destroyed here, and every
        // window object goes with its window.
        main_->m_listFriend.DeleteAllUsers();
        main_->m_listStranger.DeleteAllUsers();
        main_->m_listGroup.DeleteAllGroups();
        for (HWND chat : chats_)
            if (IsWindow(chat)) ::DestroyWindow(chat);
        chats_.clear();
        app_->m_pMainWnd = nullptr;
        main_->DestroyWindow();
        main_.reset();
        uiwait::QueuedWorkDone();
        app_.reset();
        service_.Stop();
        SetServiceTimeouts(ServiceTimeouts());
        CKivUsersListCtrl::s_createChat = nullptr;
        CKivDlgChatUser::s_pluginCommand = nullptr;
        CKivDlgChatUser::s_startPeerTransfer = nullptr;
        CKivGroupListCtrl::s_pluginCommand = nullptr;
        CKivGroupListCtrl::s_loadHead = StartGroupHeadDownload;
        CKivGroupListCtrl::s_storeGroup = StartGroupStoreWrite;
        CKivDlgChatUser::ResetAutoReplies();
    }

    // A session of a seeded user, as the login would give it.
    std::string KeyOf(const std::string& account)
    {
        CServiceConnection connection;
        connection.Open();
        lum_thrift::StructLogin login;
        login.name = account;
        login.pwd = "123456";
        login.type = 2;
        login.version = 6;
        lum_thrift::StructLoginResp reply;
        connection.Client().login(reply, login);
        connection.Close();
        return reply.key;
    }

    size_t Calls(const std::string& method) const
    {
        const auto requests = service_.Requests();
        return static_cast<size_t>(std::count_if(requests.begin(), requests.end(),
                                                 [&](const standin::ReceivedRequest& r) { return r.method == method; }));
    }

    // Waits for `n` calls of `method` and until no thread making such calls
    // (`proc`) runs any more, so that a call too many shows.
    bool WaitCalls(const std::string& method, size_t n, AFX_THREADPROC proc)
    {
        const bool reached =
            lumui::PumpUntil([&] { return Calls(method) >= n && lumui::RunningThreads(proc) == 0; }, 5000);
        return reached && Calls(method) == n;
    }

    CKivDlgChatUser* UserChat(CDataUser* rec)
    {
        auto* chat = static_cast<CKivDlgChatUser*>(CreateUserChatWindow(nullptr, rec));
        if (chat) chats_.push_back(chat->m_hWnd);
        return chat;
    }

    CDataUser* AddFriend(int id, const char* name)
    {
        main_->m_listFriend.AddUser(User(id, name, 1).get(), 1);
        return static_cast<CDataUser*>(main_->m_listFriend.GetUser(id));
    }

    CDataGroup* AddGroup(std::unique_ptr<CDataGroup> rec)
    {
        main_->m_listGroup.AddGroup(rec.get(), 0);
        return main_->m_listGroup.GetGroup(rec->m_nId);
    }

    CKivDlgChatGroup* GroupChat(CDataGroup* group)
    {
        main_->m_listGroup.OpenGroupChat(group);
        return static_cast<CKivDlgChatGroup*>(group->m_dlgChat);
    }

    // Whether the pane's history shows lines of text on the screen (dark
    // strokes on its light ground), waiting up to 10 s for them.
    static bool ShowsLines(CDHtmlDialog& pane)
    {
        if (!lumui::PumpUntil([&] { return lumui::IsOnScreen(pane.m_hWnd); }, 5000)) return false;
        CRect history;
        return lumui::PumpUntil(
            [&] {
                return lumui::PageElementScreenRect(&pane, "#MsgHistoryIFrame", &history) && !history.IsRectEmpty() &&
                       screenpixels::Count(history, screenpixels::Dark) > 100;
            },
            10000);
    }

    static std::string LastLine(CDlgChatMsgListBase& pane)
    {
        return pane.m_lstPending.empty() ? std::string() : pane.m_lstPending.back().str();
    }

    // Opens the popup of a right click on the group list at a client point
    // and chooses its last item.
    void RightClickChooseLast(CPoint client)
    {
        CKivGroupListCtrl& list = main_->m_listGroup;
        list.ClientToScreen(&client);
        ChooseLastMenuEntry();
        lumui::SendMouse(list.m_hWnd, WM_RBUTTONDOWN, client.x, client.y, MK_RBUTTON);
        lumui::SendMouse(list.m_hWnd, WM_RBUTTONUP, client.x, client.y);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
    }

    void ShowGroupTab()
    {
        main_->SelectTab(IDC_BTN_TAB_GROUPS);
        main_->ShowWindow(SW_SHOW);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
    }

    TempDir dir_;
    TestServices services_;
    standin::StandinService service_;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
    std::vector<HWND> chats_;
    std::vector<std::string> boxes;
    int answer = IDOK;
};

}  // namespace

TEST_F(ChatWindowTest, TitlesNameTheContactOrGroupAndWindowsKeepTheirMinimumSize)
{
    CDataUser* fr = AddFriend(kPeer, "李娜");
    main_->m_listFriend.OpenChat(fr);
    auto* chat = static_cast<CKivDlgChatUser*>(fr->m_dlgChat);
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(chat->m_pUser, fr);
    EXPECT_EQ(chat->m_dlgMsgList.m_pUser, fr);
    EXPECT_EQ(chat->ComposeTitle().str(), "与 好友 李娜 聊天...");

    auto stranger = User(10003, "", 2);
    EXPECT_EQ(UserChat(stranger.get())->ComposeTitle().str(), "与 陌生人 10003 聊天...");
    AddGroup(Group(kGid, "数学建模", 1, 0, {kOwn, 10004}));
    auto member = User(10004, "刘洋", kGid);
    EXPECT_EQ(UserChat(member.get())->ComposeTitle().str(), "在 数学建模(5001) 群 与 刘洋 聊天...");
    auto unknownGroup = User(10005, "陈静", 5999);
    EXPECT_EQ(UserChat(unknownGroup.get())->ComposeTitle().str(), "与 陈静 聊天...");

    // The painted title is the window text; the buttons carry their tips.
    chat->ShowWindow(SW_SHOW);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    CString text;
    chat->GetWindowText(text);
    EXPECT_EQ(text.str(), "与 好友 李娜 聊天...");
    EXPECT_EQ(chat->m_tooltip.GetToolCount(), 5);
    CRect r;
    chat->GetWindowRect(&r);
    EXPECT_EQ(r.Width(), 600);  // 400 x 300 dialog units
    EXPECT_EQ(r.Height(), 487);
    CRect pane;
    chat->m_dlgMsgList.GetWindowRect(&pane);
    chat->ScreenToClient(&pane);
    EXPECT_EQ(pane, CRect(3, 70, 3 + 600 - 8, 70 + 487 - 75));

    // Dragging the right edge and the bottom edge far in stops at 540 x 450
    // (both edges are grabbed where the pane does not cover them).
    auto drag = [&](CPoint from, int dx, int dy) {
        lumui::SendMouse(chat->m_hWnd, WM_MOUSEMOVE, from.x, from.y);
        lumui::SendMouse(chat->m_hWnd, WM_LBUTTONDOWN, from.x, from.y, MK_LBUTTON);
        lumui::SendMouse(chat->m_hWnd, WM_MOUSEMOVE, from.x + dx, from.y + dy, MK_LBUTTON);
        lumui::SendMouse(chat->m_hWnd, WM_LBUTTONUP, from.x + dx, from.y + dy);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
    };
    drag(CPoint(r.right - 2, r.top + 40), -300, 0);
    drag(CPoint(r.left + 200, r.bottom - 2), 0, -300);
    chat->GetWindowRect(&r);
    EXPECT_EQ(r.Width(), 540);
    EXPECT_EQ(r.Height(), 450);
    chat->m_dlgMsgList.GetWindowRect(&pane);
    EXPECT_EQ(pane.Width(), 540 - 8);
    EXPECT_EQ(pane.Height(), 450 - 75);

    // The group window: opened by the group list at 550 x 490, centred.
    CDataGroup* group = main_->m_listGroup.GetGroup(kGid);
    CKivDlgChatGroup* groupChat = GroupChat(group);
    ASSERT_NE(groupChat, nullptr);
    EXPECT_EQ(groupChat->ComposeTitle().str(), "在群组 数学建模 中聊天...");
    groupChat->GetWindowRect(&r);
    EXPECT_EQ(r.Width(), 550);
    EXPECT_EQ(r.Height(), 490);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 550) / 2);
    EXPECT_EQ(groupChat->m_dlgMsgList.m_listMembers.m_nListId, kGid);
    MINMAXINFO info{};
    groupChat->SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 540);
    EXPECT_EQ(info.ptMinTrackSize.y, 450);
    // Opening again keeps the one window.
    main_->m_listGroup.OpenGroupChat(group);
    EXPECT_EQ(group->m_dlgChat, groupChat);
}

TEST_F(ChatWindowTest, ReceivedLinesShowTimeAndAnEscapedLabel)
{
    auto rec = User(kPeer, "<b>李娜</b>", 2);
    CKivDlgChatUser* chat = UserChat(rec.get());
    chat->ShowUserMessage("<span style='color:red'>你好</span>", "2024-03-01 08:00:00");
    EXPECT_EQ(LastLine(chat->m_dlgMsgList),
              "<span style='color:red'>2024-03-01 08:00:00<br/>&lt;b&gt;李娜&lt;/b&gt;(10002):你好</span>");
    // A name equal to the id, or none: the id alone.
    rec->m_bstrName = "10002";
    chat->ShowUserMessage("plain", "t");
    EXPECT_EQ(LastLine(chat->m_dlgMsgList), "t<br/>10002:plain");

    // Pictures the line shows and this client lacks join the record's
    // pictures to fetch, each with the files folder it goes into, and the
    // fetch starts.
    std::vector<CDataUser*> started;
    CKivDlgChatUser::s_startPeerTransfer = [&](CDataUser* r) { started.push_back(r); };
    app_->SetUserPath((dir_.path() + "/10001/").c_str());
    const std::vector<CString> pictures = {"a.png", "b.png"};
    chat->ShowUserMessage("<span>pictures</span>", "t", &pictures);
    ASSERT_NE(rec->m_pTransMap, nullptr);
    EXPECT_EQ(rec->m_pTransMap->size(), 2u);
    EXPECT_EQ((*rec->m_pTransMap)["b.png"], app_->m_strUserPath);
    EXPECT_EQ(started, std::vector<CDataUser*>{rec.get()});

    // The group window: members only, system lines without a sender.
    CDataGroup* group = AddGroup(Group(kGid, "数学建模", 1, 0, {kOwn, 10004}));
    group->m_mapMembers[10004]->m_bstrName = "刘<洋>";
    CKivDlgChatGroup* groupChat = GroupChat(group);
    CDlgChatMsgListGroup& pane = groupChat->m_dlgMsgList;
    const size_t before = pane.m_lstPending.size();
    groupChat->ShowGroupMessage(10005, "<span>不是成员</span>", "t1");
    EXPECT_EQ(pane.m_lstPending.size(), before);
    groupChat->ShowGroupMessage(10004, "<span>大家好</span>", "t2");
    EXPECT_EQ(LastLine(pane), "<span>t2<br/>刘&lt;洋&gt;(10004):大家好</span>");
    groupChat->ShowGroupMessage(0, "成员10005加入了本群", "t3");
    EXPECT_EQ(LastLine(pane), "t3<br/>系统消息:成员10005加入了本群");
}

TEST_F(ChatWindowTest, AwayRepliesOncePerContactSoTwoAwayClientsStop)
{
    const std::string keyA = KeyOf("13800000001"), keyB = KeyOf("13800000002");
    ASSERT_FALSE(keyA.empty());
    ASSERT_FALSE(keyB.empty());
    // Client A (10001) with B in its friend list; client B (10002) with A.
    auto bAtA = User(kPeer, "李娜", 1);
    auto aAtB = User(kOwn, "张伟", 1);
    CKivDlgChatUser* chatA = UserChat(bAtA.get());
    CKivDlgChatUser* chatB = UserChat(aAtB.get());
    auto actAs = [&](int id, const std::string& key) {
        app_->SetOwnUserId(id);
        app_->SetSessionKey(key);
    };
    actAs(kOwn, keyA);

    // Online, or away without a reply text: nothing is sent.
    main_->m_nStatus = 1;
    app_->m_strReplyText = "我现在不在";
    chatA->ShowUserMessage("<span>在吗</span>", "t");
    main_->m_nStatus = 2;
    app_->m_strReplyText = "";
    chatA->ShowUserMessage("<span>在吗</span>", "t");
    EXPECT_TRUE(WaitCalls("SendUserMsg", 0, ThreadSendUserMsg));

    // Away with a text: one reply, as it stands.
    app_->m_strReplyText = "我现在不在";
    chatA->ShowUserMessage("<span>在吗</span>", "t");
    ASSERT_TRUE(WaitCalls("SendUserMsg", 1, ThreadSendUserMsg));
    const auto atB = service_.Pending(kPeer);
    ASSERT_EQ(atB.size(), 1u);
    EXPECT_EQ(atB[0].content, "我现在不在");
    EXPECT_EQ(atB[0].fromid, kOwn);

    // B is away too and answers A's automatic reply once; A does not answer
    // that one, nor B's next line: the exchange stops.
    actAs(kPeer, keyB);
    chatB->ShowUserMessage("我现在不在", "t");
    ASSERT_TRUE(WaitCalls("SendUserMsg", 2, ThreadSendUserMsg));
    actAs(kOwn, keyA);
    chatA->ShowUserMessage("我现在不在", "t");
    chatA->ShowUserMessage("<span>还在吗</span>", "t");
    EXPECT_TRUE(WaitCalls("SendUserMsg", 2, ThreadSendUserMsg));

    // Back online and away again: a new away period answers once more.
    main_->m_nStatus = 1;
    chatA->ShowUserMessage("<span>回来了?</span>", "t");
    main_->m_nStatus = 2;
    chatA->ShowUserMessage("<span>回来了?</span>", "t");
    EXPECT_TRUE(WaitCalls("SendUserMsg", 3, ThreadSendUserMsg));

    // No session key (offline): no reply.
    CKivDlgChatUser::ResetAutoReplies();
    app_->SetSessionKey("");
    chatA->ShowUserMessage("<span>?</span>", "t");
    EXPECT_TRUE(WaitCalls("SendUserMsg", 3, ThreadSendUserMsg));
}

TEST_F(ChatWindowTest, UserWindowCommands)
{
    app_->SetSessionKey(KeyOf("13800000001"));
    CDataUser* fr = AddFriend(kPeer, "李娜");
    main_->m_listFriend.OpenChat(fr);
    auto* chat = static_cast<CKivDlgChatUser*>(fr->m_dlgChat);
    ASSERT_NE(chat, nullptr);

    // Add as friend: already one. The SMS notice, whose module is not
    // beside the program, says its module failed to load.
    chat->SendMessage(WM_COMMAND, 1022, 0);
    chat->SendMessage(WM_COMMAND, 1016, 0);
    EXPECT_EQ(boxes, (std::vector<std::string>{"已经在好友列表中,不需要再加入", "加载Bellwick.dll失败,未能实现通知短信功能"}));
    boxes.clear();
    std::vector<std::string> calls;
    const auto hooks = CKivDlgChatUser::s_pluginCommand;
    CKivDlgChatUser::s_pluginCommand = [&](CWnd*, UINT command, int id, const CString& text, int kind) {
        calls.push_back(std::to_string(command) + "," + std::to_string(id) + "," + text.str() + "," +
                        std::to_string(kind));
        return true;
    };
    chat->SendMessage(WM_COMMAND, 1016, 0);
    EXPECT_EQ(calls, std::vector<std::string>{"1016,10002,李娜 ,1"});
    app_->m_userSelf.m_strPhone = "zhang@example.com";
    chat->SendMessage(WM_COMMAND, 1016, 0);
    EXPECT_EQ(boxes, std::vector<std::string>{"此功能目前只对本网用户开放"});
    boxes.clear();

    // Send file: cancelled sends nothing; a chosen file is offered.
    const size_t pendingBefore = chat->m_dlgMsgList.m_lstPending.size();
    services_.SetFileDialog([](const CString& filter, DWORD flags) {
        EXPECT_EQ(filter.str(), "所有文件|*.*||");
        EXPECT_NE(flags & OFN_FILEMUSTEXIST, 0u);
        return CString();
    });
    chat->SendMessage(WM_COMMAND, 1024, 0);
    EXPECT_EQ(chat->m_dlgMsgList.m_lstPending.size(), pendingBefore);
    const std::string path = dir_.file("报告<1>.txt");
    std::ofstream(path) << "data";
    services_.SetFileDialog([&](const CString&, DWORD) { return CString(path.c_str()); });
    chat->SendMessage(WM_COMMAND, 1024, 0);
    const std::string line = LastLine(chat->m_dlgMsgList);
    EXPECT_NE(line.find("<br/>发送文件:报告&lt;1&gt;.txt,等待对方接收.<div id='"), std::string::npos) << line;
    EXPECT_NE(line.find("_pro' style='width:1px; height:20px;"), std::string::npos);
    ASSERT_TRUE(WaitCalls("SendUserMsg", 1, ThreadSendUserMsg));
    const auto offered = service_.Pending(kPeer);
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0].content.rfind("<file id=\"", 0), 0u);
    // The path is escaped, so that "<" in a name does not break the offer.
    EXPECT_NE(offered[0].content.find("\">" + dir_.file("报告&lt;1&gt;.txt") + "</file>"), std::string::npos)
        << offered[0].content;

    CKivDlgChatUser::s_pluginCommand = hooks;
    // With the search module beside the program, the invitation opens in
    // the chat window's own module.
    std::filesystem::copy_file(LUM_BIN_DIR "/libSorvan.so", dir_.file("libSorvan.so"));
    chat->SendMessage(WM_COMMAND, 1023, 0);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    ASSERT_NE(chat->m_hPlugin, nullptr);
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            for (HWND hwnd : lumui::VisibleTopLevelWindows()) {
                CString caption;
                CWnd::FromHandle(hwnd)->GetWindowText(caption);
                if (caption == "邀请加入我的群") return true;
            }
            return false;
        },
        5000))
        << "no invitation window";
    const HMODULE sorvan = chat->m_hPlugin;

    // Black list, cancelled: nothing; confirmed: the service is told, the id
    // is black-listed, the friend leaves and the window forgets the record.
    answer = IDCANCEL;
    chat->SendMessage(WM_COMMAND, 1025, 0);
    EXPECT_EQ(boxes, std::vector<std::string>{"您确认要把 李娜 (10002) 移至黑名单中吗?"});
    EXPECT_EQ(main_->m_listFriend.GetItemCount(), 1);
    answer = IDOK;
    chat->ShowWindow(SW_SHOW);
    const HWND chatWindow = chat->m_hWnd;
    chat->SendMessage(WM_COMMAND, 1025, 0);
    EXPECT_TRUE(main_->m_book.BlackList().count(kPeer));
    EXPECT_EQ(main_->m_listFriend.GetUser(kPeer), nullptr);
    EXPECT_FALSE(chat->IsWindowVisible());
    EXPECT_EQ(chat->m_pUser, nullptr);
    EXPECT_EQ(chat->m_dlgMsgList.m_pUser, nullptr);
    EXPECT_TRUE(lumui::PumpUntil([&] { return service_.BlackList(kOwn).count(kPeer) == 1; }));
    // The record is gone and the window with it, once its command was over;
    // the module it loaded went with it.
    EXPECT_TRUE(lumui::PumpUntil([&] { return !IsWindow(chatWindow); }, 3000));
    EXPECT_FALSE(IsModuleLoaded(sorvan));
}

TEST_F(ChatWindowTest, GroupWindowTypesAndSmsBlocking)
{
    app_->SetSessionKey(KeyOf("13800000001"));
    auto rec = Group(kGid, "数学建模", 1, 1, {kOwn});
    rec->m_strClass = "普通";
    CDataGroup* group = AddGroup(std::move(rec));
    CKivDlgChatGroup* chat = GroupChat(group);
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(chat->m_tooltip.GetToolCount(), 3);

    // A class group only for the campus category.
    chat->SendMessage(WM_COMMAND, 9078, 0);
    EXPECT_EQ(boxes, std::vector<std::string>{"普通群不能切换为班级群!"});
    EXPECT_EQ(group->m_nStyle, 1);
    EXPECT_EQ(Calls("editGroupStyle"), 0u);
    chat->SendMessage(WM_COMMAND, 9079, 0);
    EXPECT_EQ(group->m_nStyle, 2);  // at once, before the service answers
    group->m_strClass = "Orvane";
    chat->SendMessage(WM_COMMAND, 9078, 0);
    EXPECT_EQ(group->m_nStyle, 8);
    chat->SendMessage(WM_COMMAND, 9080, 0);
    EXPECT_EQ(group->m_nStyle, 1);
    EXPECT_TRUE(lumui::PumpUntil([&] { return Calls("editGroupStyle") == 3; }));

    // The type menu shows with the current type checked; choosing its last
    // item makes an interactive group.
    group->m_nStyle = 8;
    ChooseLastMenuEntry();
    chat->SendMessage(WM_COMMAND, 1022, 0);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(group->m_nStyle, 1);
    // The type changes' replies are in (a refused one says so in a box).
    EXPECT_TRUE(lumui::PumpUntil([] { return lumui::RunningThreads(ThreadEditGroupStyle) == 0; }));
    ASSERT_TRUE(uiwait::QueuedWorkDone());

    // The service does not know this group, so it refuses each of the four
    // changes, and each refusal is said once its answer is in.
    EXPECT_TRUE(lumui::PumpUntil(
        [&] { return std::count(boxes.begin(), boxes.end(), std::string("群类型设置失败，请稍后再试")) == 4; }))
        << boxes.size() << " boxes";

    // SMS blocking from the window's menu and from the group list: the days
    // are kept and sent with SetBotherDay.
    boxes.clear();
    ChooseLastMenuEntry();  // the last entry: 7 days
    chat->SendMessage(WM_COMMAND, 1025, 0);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(group->m_nGroupType, 7);
    EXPECT_TRUE(lumui::PumpUntil([&] { return Calls("SetBotherDay") == 1; }));
    main_->m_listGroup.SetSelectionMark(0);
    main_->m_listGroup.SendMessage(WM_COMMAND, 9032, 0);
    EXPECT_EQ(group->m_nGroupType, 3);
    EXPECT_TRUE(WaitCalls("SetBotherDay", 2, ThreadSetBotherDay));
    EXPECT_TRUE(WaitCalls("getBlackList", 0, ThreadGetBlackList));
    // Accounts outside the campus network are refused.
    app_->m_userSelf.m_strPhone = "zhang@example.com";
    main_->m_listGroup.SendMessage(WM_COMMAND, 9031, 0);
    chat->SendMessage(WM_COMMAND, 1016, 0);
    EXPECT_EQ(group->m_nGroupType, 3);
    EXPECT_EQ(boxes, (std::vector<std::string>{"此功能目前只对本网用户开放", "此功能目前只对本网用户开放"}));
}

TEST_F(ChatWindowTest, GroupListMenusAndCommands)
{
    app_->SetSessionKey(KeyOf("13800000001"));
    ShowGroupTab();
    AddGroup(Group(kGid, "数学建模", 1, 1, {kOwn}));
    AddGroup(Group(5002, "读书会", 1, 0, {kOwn}));
    AddGroup(Group(5003, "周末讨论", 4, 1, {kOwn}));
    AddGroup(Group(5004, "课题讨论", 4, 0, {kOwn}));
    CKivGroupListCtrl& list = main_->m_listGroup;
    ASSERT_EQ(list.GetItemCount(), 4);
    const int rowHeight = list.m_nRowHeight;

    // The last entry of each row's menu: dissolve for owned groups, quit
    // otherwise (all cancelled here).
    answer = IDCANCEL;
    for (int row = 0; row < 4; ++row) RightClickChooseLast(CPoint(100, row * rowHeight + rowHeight / 2));
    EXPECT_EQ(boxes, (std::vector<std::string>{"您确认要解散群 数学建模(5001)吗?", "您确认要退出群 读书会(5002)吗?",
                                               "您确认要解散群 周末讨论(5003)吗?", "您确认要退出群 课题讨论(5004)吗?"}));
    EXPECT_EQ(list.GetItemCount(), 4);

    // Confirmed: the group leaves at once, with its chat window closed.
    answer = IDOK;
    boxes.clear();
    CKivDlgChatGroup* chat = GroupChat(list.GetGroup(5002));
    chat->ShowWindow(SW_SHOW);
    const HWND quitChat = chat->m_hWnd;
    list.SetSelectionMark(list.FindRow(5002));
    list.SendMessage(WM_COMMAND, 9049, 0);
    EXPECT_EQ(list.GetGroup(5002), nullptr);
    EXPECT_EQ(list.GetItemCount(), 3);
    // With the group gone its chat window went too.
    EXPECT_FALSE(IsWindow(quitChat));
    list.SetSelectionMark(list.FindRow(kGid));
    list.SendMessage(WM_COMMAND, 9048, 0);
    EXPECT_EQ(list.GetGroup(kGid), nullptr);
    EXPECT_TRUE(lumui::PumpUntil([&] { return Calls("DeleteGroup") == 2; }));

    // Plug-in commands: the failure texts without their plug-ins, the
    // arguments with them.
    list.SetSelectionMark(list.FindRow(5003));
    boxes.clear();
    for (UINT command : {9038u, 9041u, 9039u}) list.SendMessage(WM_COMMAND, command, 0);
    EXPECT_EQ(boxes, (std::vector<std::string>{"加载Vistel.dll失败,未能实现查看个人资料功能",
                                               "加载Vistel.dll失败,未能实现查看个人资料功能",
                                               "加载Clanor.dll失败,未能实现修改群资料功能"}));
    std::vector<std::string> calls;
    CKivGroupListCtrl::s_pluginCommand = [&](CKivGroupListCtrl*, UINT command, int gid, const CString& text, int arg) {
        calls.push_back(std::to_string(command) + "," + std::to_string(gid) + "," + text.str() + "," +
                        std::to_string(arg));
        return true;
    };
    for (UINT command : {9042u, 9039u, 9040u, 9035u}) list.SendMessage(WM_COMMAND, command, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"9042,5003,周末讨论(5003),4", "9039,5003,周末讨论(5003),1",
                                               "9040,5003,周末讨论(5003),9", "9035,5003,周末讨论(5003),0"}));

    // 9034 opens the group's chat window.
    list.SendMessage(WM_COMMAND, 9034, 0);
    CDataGroup* talk = list.GetGroup(5003);
    ASSERT_NE(talk->m_dlgChat, nullptr);
    EXPECT_TRUE(talk->m_dlgChat->IsWindowVisible());

    // The blank area below the two rows left: its menu opens too (closed
    // with Escape).
    HWND blank = nullptr;
    CPoint below(100, 3 * rowHeight + 20);
    list.ClientToScreen(&below);
    AnswerMenu({VK_ESCAPE}, &blank);
    lumui::SendMouse(list.m_hWnd, WM_RBUTTONDOWN, below.x, below.y, MK_RBUTTON);
    lumui::SendMouse(list.m_hWnd, WM_RBUTTONUP, below.x, below.y);
    EXPECT_NE(blank, nullptr);
}

TEST_F(ChatWindowTest, GroupNoticesAndMemberLookup)
{
    CKivGroupListCtrl& list = main_->m_listGroup;
    AddGroup(Group(kGid, "数学建模", 1, 1, {kOwn, 10004}));
    AddGroup(Group(5002, "读书会", 1, 0, {kOwn, 10004}));
    AddGroup(Group(5003, "周末讨论", 4, 0, {10004}));

    // The member record of a line: of the one group above 100; otherwise
    // the first in id order, or the one whose chat window is open.
    const KivContactBook& book = main_->m_book;
    CDataUser* in5002 = list.GetGroup(5002)->m_mapMembers.at(10004);
    EXPECT_EQ(book.MemberFor(10004, 5002), in5002);
    EXPECT_EQ(book.MemberFor(10005, 5002), nullptr);
    EXPECT_EQ(book.MemberFor(10004, 0), list.GetGroup(kGid)->m_mapMembers.at(10004));
    CKivDlgChatUser* memberChat = UserChat(in5002);
    EXPECT_EQ(book.MemberFor(10004, 0), in5002);
    CWnd closed;  // a window object without a window: not open
    in5002->m_dlgChat = &closed;
    EXPECT_EQ(book.MemberFor(10004, 1), list.GetGroup(kGid)->m_mapMembers.at(10004));
    in5002->m_dlgChat = memberChat;

    // A card change: nothing without a chat window; with one, the own row.
    auto card = User(kOwn, "", kGid);
    card->m_strRemark = "班长";
    list.SendMessage(UM_GROUP_CARD_CHANGED, reinterpret_cast<WPARAM>(card.get()), 0);
    CKivDlgChatGroup* chat = GroupChat(list.GetGroup(kGid));
    // The pane fills its member list itself once its page has loaded.
    ASSERT_TRUE(lumui::PumpUntil([&] { return chat->m_dlgMsgList.m_nDocComplete != 0; }, 10000));
    chat->RefreshMembers();
    CKivGroupUsersListCtrl& members = chat->m_dlgMsgList.m_listMembers;
    ASSERT_NE(members.GetUser(kOwn), nullptr);
    EXPECT_TRUE(static_cast<CDataUser*>(members.GetUser(kOwn))->m_strRemark.IsEmpty());
    list.SendMessage(UM_GROUP_CARD_CHANGED, reinterpret_cast<WPARAM>(card.get()), 0);
    EXPECT_EQ(static_cast<CDataUser*>(members.GetUser(kOwn))->m_strRemark.str(), "班长");
    card->m_strRemark = "";
    list.SendMessage(UM_GROUP_CARD_CHANGED, reinterpret_cast<WPARAM>(card.get()), 0);
    EXPECT_EQ(static_cast<CDataUser*>(members.GetUser(kOwn))->m_strRemark.str(), "班长");

    // An information change renames the row (a name equal to the id shows it once).
    auto info = Group(5002, "5002", 2, 0, {});
    info->m_bstrSign = "每周五";
    list.SendMessage(UM_GROUP_INFO_CHANGED, reinterpret_cast<WPARAM>(info.get()), 0);
    EXPECT_EQ(list.GetGroupName(5002).str(), "5002");
    EXPECT_EQ(list.GetGroup(5002)->m_nStyle, 2);
    EXPECT_EQ(std::string(static_cast<const char*>(list.GetGroup(5002)->m_bstrSign)), "每周五");
    info->m_nId = 5999;
    list.SendMessage(UM_GROUP_INFO_CHANGED, reinterpret_cast<WPARAM>(info.get()), 0);
    EXPECT_EQ(list.GetItemCount(), 3);

    // 9224 adds a group from the service.
    auto added = Group(5005, "新群", 1, 0, {kOwn});
    list.SendMessage(UM_GROUP_LIST_ADD, reinterpret_cast<WPARAM>(added.get()), 0);
    EXPECT_EQ(list.GetGroupName(5005).str(), "新群(5005)");

    // A member window moves to the refilled member list's new copy; a
    // member who left leaves it without a record.
    members.GetUser(10004);
    CKivDlgChatUser* fromList = UserChat(static_cast<CDataUser*>(members.GetUser(10004)));
    chat->RefreshMembers();
    EXPECT_EQ(fromList->m_pUser, members.GetUser(10004));
    EXPECT_EQ(static_cast<CDataUser*>(members.GetUser(10004))->m_dlgChat, fromList);
    list.RemoveGroupMember(10004, kGid);
    chat->RefreshMembers();
    EXPECT_EQ(fromList->m_pUser, nullptr);
}

TEST_F(ChatWindowTest, RemovingAMemberWhoIsAFriendKeepsTheFriendAndTheHistory)
{
    app_->SetSessionKey(KeyOf("13800000001"));
    AddFriend(kPeer, "李娜");
    ASSERT_EQ(main_->m_dbMsg.InsertMsg(kPeer, 1, "<span>你好</span>", 0, "2024-03-01 08:00:00", 1, "你好"), 1);
    ASSERT_EQ(main_->m_dbMsg.InsertMsg(kPeer, 1, "<span>再见</span>", 1, "2024-03-01 08:01:00", 1, "再见"), 1);
    ASSERT_EQ(main_->m_dbMsg.InsertMsg(kPeer, kGid, "<span>群里</span>", 0, "2024-03-01 08:02:00", 3, "群里"), 1);
    auto rec = Group(kGid, "数学建模", 1, 1, {kOwn, kPeer});
    rec->Update(&main_->m_dbUser, 1);
    CDataGroup* group = AddGroup(std::move(rec));
    CKivDlgChatGroup* chat = GroupChat(group);
    chat->RefreshMembers();
    CKivGroupUsersListCtrl& members = chat->m_dlgMsgList.m_listMembers;
    const int row = members.FindRow(kPeer);
    ASSERT_GE(row, 0);
    members.SetSelectionMark(row);
    answer = IDOK;
    members.SendMessage(WM_COMMAND, 9047, 0);
    EXPECT_EQ(members.GetUser(kPeer), nullptr);
    EXPECT_TRUE(lumui::PumpUntil([&] { return Calls("DeleteUser") == 1; }));

    sqlite3* users = main_->m_dbUser.db;
    EXPECT_EQ(QueryInt(users, "select count(*) from GroupUser where id=10002 and gid=1"), 1);
    EXPECT_EQ(QueryInt(users, "select count(*) from GroupUser where id=10002 and gid=5001"), 0);
    EXPECT_EQ(QueryInt(main_->m_dbMsg.db, "select count(*) from history_msg where id=10002 and gid=1"), 2);
    EXPECT_EQ(QueryInt(main_->m_dbMsg.db, "select count(*) from history_msg where id=10002"), 3);
    ASSERT_NE(main_->m_listFriend.GetUser(kPeer), nullptr);
}

// What a person sees on the screen: each window's pane shows the lines it
// was given.
TEST_F(ChatWindowTest, ChatWindowsShowTheirLinesOnTheScreen)
{
    CDataUser* fr = AddFriend(kPeer, "李娜");
    main_->m_listFriend.OpenChat(fr);
    auto* chat = static_cast<CKivDlgChatUser*>(fr->m_dlgChat);
    ASSERT_NE(chat, nullptr);
    chat->SetWindowPos(nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    chat->ShowWindow(SW_SHOW);
    chat->ShowUserMessage("<span style='color:#333'>下午的课改到302教室了</span>", "2024-03-01 14:05:10");
    ASSERT_TRUE(lumui::PumpUntil([&] { return chat->m_dlgMsgList.m_nDocComplete != 0; }, 10000));
    EXPECT_TRUE(ShowsLines(chat->m_dlgMsgList)) << "the user's pane shows no line";
    std::filesystem::create_directories(SCREENSHOT_DIR);
    EXPECT_TRUE(lumui::SaveScreenImage(SCREENSHOT_DIR "/chat_user.png"));
    chat->ShowWindow(SW_HIDE);

    CDataGroup* group = AddGroup(Group(kGid, "数学建模", 1, 1, {kOwn, 10004, 10005}));
    CKivDlgChatGroup* groupChat = GroupChat(group);
    groupChat->SetWindowPos(nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    groupChat->ShowWindow(SW_SHOW);
    groupChat->ShowGroupMessage(10004, "<span>明天交作业</span>", "2024-03-01 14:06:00");
    groupChat->ShowGroupMessage(0, "成员10005加入了本群", "2024-03-01 14:07:00");
    ASSERT_TRUE(lumui::PumpUntil([&] { return groupChat->m_dlgMsgList.m_nDocComplete != 0; }, 10000));
    groupChat->RefreshMembers();
    EXPECT_TRUE(ShowsLines(groupChat->m_dlgMsgList)) << "the group's pane shows no line";
    EXPECT_TRUE(lumui::SaveScreenImage(SCREENSHOT_DIR "/chat_group.png"));
}
