// Chatting through the stand-in service: a real main window logged in as one
// user, and a second user speaking the service protocol directly. Messages
// arrive with the heartbeat, are queued while no chat window is open (the
// tray flashes), replayed when the chat opens, shown at once while it is
// open, and every line lands in the history; lines typed into the pane reach
// the other user; hostile messages never run script.
#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/KivMessages.h"
#include "Lum/chat/MessageBody.h"
#include "Lum/LumResource.h"
#include "Lum/session/ServiceConnection.h"
#include "Lum/session/Workers.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/shellapi.h"
#include "platform/sound.h"
#include "platform/uiapp.h"
#include "tests/platform/ProgramSpeed.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiProbe.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/WireFormat.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

using namespace lum_thrift;

namespace {

// The other user, speaking the service protocol directly.
class Peer {
public:
    Peer(int port, const std::string& account) : port_(port)
    {
        StructLogin login;
        login.name = account;
        login.pwd = "123456";
        login.type = 2;
        login.version = 6;
        StructLoginResp reply;
        Call([&](LumServiceClient& c) { c.login(reply, login); });
        key_ = reply.key;
        id_ = reply.user.userid;
    }
    int32_t SendUser(int to, const std::string& inner)
    {
        int32_t code = -1;
        Call([&](LumServiceClient& c) { code = c.SendUserMsg(key_, to, 1, standin::PercentEncode(inner)); });
        return code;
    }
    int32_t SendGroup(int gid, const std::string& inner)
    {
        int32_t code = -1;
        Call([&](LumServiceClient& c) { code = c.SendGroupMsg(key_, gid, standin::PercentEncode(inner)); });
        return code;
    }
    std::vector<StructMessage> Heartbeat()
    {
        StructOnlineResp reply;
        Call([&](LumServiceClient& c) { c.MaintainOnline(reply, key_, UserStatus::UserStatusPC); });
        return reply.msgList;
    }
    int Id() const { return id_; }

private:
    // The stand-in always answers, if slowly on a busy machine (a line of
    // megabytes is parsed there before the answer): the other user waits for
    // it without a deadline of its own.
    template <class F> void Call(F f)
    {
        ServiceTimeouts patient;
        patient.sendMs = 0;
        patient.recvMs = 0;
        CServiceConnection connection("127.0.0.1", port_, patient);
        connection.Open();
        f(connection.Client());
        connection.Close();
    }
    int port_;
    std::string key_;
    int id_ = 0;
};

class ChatFlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE));
        port_ = service_.Start(0);
        ASSERT_GT(port_, 0);
        const std::string ini = dir_.file("Lum.ini");
        WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
        WritePrivateProfileString("Service", "Port", std::to_string(port_).c_str(), ini.c_str());
        SetServiceTimeouts(ServiceTimeouts{2000, 2000, 2000});
        services_.SetExitWaitMs(20);
        CKivUsersListCtrl::s_loadHead = [](CDataUser*) {};
        services_.SetSound([this](const char* file) { sounds_.push_back(file); });
        services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
            boxes_.push_back(text.str());
            return IDOK;
        });
        app_ = std::make_unique<CKivApp>();
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
        main_->ShowWindow(SW_SHOW);
        // Log in as 10001 through the login window.
        main_->m_dlgLogin.m_editAccount.SetWindowText("13800000001");
        main_->m_dlgLogin.m_editPassword.SetWindowText("123456");
        main_->m_dlgLogin.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_LOGIN, BN_CLICKED), 0);
        ASSERT_TRUE(lumui::PumpUntil([&] { return app_->GetOwnUserId() == 10001 && main_->m_listFriend.GetUser(10002); },
                                     10000));
        ASSERT_TRUE(lumui::PumpUntil([&] { return main_->m_listGroup.GetGroup(501) != nullptr; }, 10000));
    }

    void TearDown() override
    {
        app_->m_pMainWnd = nullptr;
        main_->DestroyWindow();
        main_.reset();
        uiwait::QueuedWorkDone();
        app_.reset();
        CKivUsersListCtrl::s_loadHead = nullptr;
        service_.Stop();
        SetServiceTimeouts(ServiceTimeouts());
    }

    // One heartbeat of the client, handled to the end. The worker hands what
    // it brought to the UI thread and waits there until it has been taken
    // in, so the UI loop runs until the worker has ended: joining a late
    // worker without it would wait for ever. A late heartbeat is a failure;
    // the worker still ends within its connection's own limits.
    void Heartbeat()
    {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            ThreadMaintainOnline(nullptr);
            done = true;
        });
        EXPECT_TRUE(lumui::PumpUntil([&] { return done.load(); }, lumtest::ProgramMs(10000)))
            << "the heartbeat was not handled in " << lumtest::ProgramMs(10000) << " ms";
        while (!done) lumui::Pump(10);
        worker.join();
    }

    // History rows of a contact (gid 1) or a group (gid), received (0) or sent (1).
    int HistoryCount(int id, int gid, int type)
    {
        return main_->m_dbMsg.GetCount("history_msg where id=? and gid=? and type=?",
                                       {CString(std::to_string(id).c_str()), CString(std::to_string(gid).c_str()),
                                        CString(std::to_string(type).c_str())});
    }

    CDataUser* Wei() { return static_cast<CDataUser*>(main_->m_listFriend.GetUser(10002)); }

    // A message the service hands the own user (10001) as it is, sendTime
    // included.
    void Push(int type, int from, int gid, const std::string& sendTime, const std::string& inner)
    {
        standin::PendingMessage m;
        m.fromid = from;
        m.toid = 10001;
        m.gid = gid;
        m.msgType = type;
        m.sendTime = sendTime;
        m.content = standin::PercentEncode(inner);
        service_.AddPending(10001, m);
    }

    // The history area of a pane as markup, and as the text a person reads.
    static std::string PaneHtml(CDlgChatMsgListBase& pane)
    {
        CString out;
        pane.InvokeScriptMethod("eval", {"document.getElementById('MsgHistoryIFrame').contentDocument.body.innerHTML"},
                                &out);
        return out.str();
    }
    static std::string PaneText(CDlgChatMsgListBase& pane)
    {
        CString out;
        pane.InvokeScriptMethod("eval", {"document.getElementById('MsgHistoryIFrame').contentDocument.body.textContent"},
                                &out);
        return out.str();
    }

    // Opens the chat of a record as a click in a list does, page loaded.
    template <class Chat> Chat* Open(CData* rec)
    {
        main_->SendMessage(UM_OPEN_CHAT, reinterpret_cast<WPARAM>(rec), 0);
        auto* chat = dynamic_cast<Chat*>(rec->m_dlgChat);
        EXPECT_NE(chat, nullptr);
        if (chat) {
            EXPECT_TRUE(lumui::PumpUntil([&] { return chat->m_dlgMsgList.m_nDocComplete != 0; }, 10000));
        }
        return chat;
    }

    TempDir dir_;
    TestServices services_;
    standin::StandinService service_;
    int port_ = 0;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
    std::vector<std::string> sounds_;
    std::vector<std::string> boxes_;
};

TEST_F(ChatFlowTest, MessagesQueueWhileTheChatIsClosedAndReplayWhenItOpens)
{
    Peer na(port_, "13800000002");
    ASSERT_EQ(na.Id(), 10002);
    ASSERT_EQ(na.SendUser(10001, "<span style=\"color:#000000\">It's 周六下午见</span>"), 0);
    ASSERT_EQ(na.SendUser(10001, "<span>看图</span><span><img id=\"p1.png\" src=\"file:///p1.png\"/></span>"), 0);
    // A hostile line: it would close the chat window if its script ran.
    ASSERT_EQ(na.SendUser(10001, "<img src=\"x\" onerror=\"window.external.HTMLCloseDlg()\"/>"
                                 "<script>window.external.HTMLCloseDlg()</script>&lt;/div&gt; \"quoted\""),
              0);
    Heartbeat();

    // Nobody has the chat open: queued on the friend, who tops the unread
    // stack, with a sound each and nothing in the history yet.
    CDataUser* na0 = Wei();
    ASSERT_NE(na0, nullptr);
    EXPECT_EQ(na0->m_vecUnread.size(), 3u);
    EXPECT_EQ(main_->m_stackNewMsg.Top(), na0);
    EXPECT_EQ(sounds_.size(), 3u);
    EXPECT_EQ(HistoryCount(10002, 1, 0), 0);
    // The tray flashes between blank and the sender.
    main_->SendMessage(WM_TIMER, 2023, 0);
    EXPECT_EQ(lumui::TrayState(main_->m_hWnd, 2023).icon, nullptr);
    main_->SendMessage(WM_TIMER, 2023, 0);
    EXPECT_NE(lumui::TrayState(main_->m_hWnd, 2023).icon, nullptr);

    // A click on the tray opens the chat, which replays the three lines in
    // order and stores them.
    ASSERT_TRUE(lumui::ClickTray(main_->m_hWnd, 2023, WM_LBUTTONDOWN));
    ASSERT_TRUE(lumui::PumpUntil([&] { return main_->m_stackNewMsg.IsEmpty(); }, 5000));
    auto* chat = dynamic_cast<CKivDlgChatUser*>(Wei()->m_dlgChat);
    ASSERT_NE(chat, nullptr);
    EXPECT_TRUE(chat->IsWindowVisible());
    EXPECT_TRUE(Wei()->m_vecUnread.empty());
    EXPECT_EQ(HistoryCount(10002, 1, 0), 3);
    ASSERT_TRUE(lumui::PumpUntil([&] { return chat->m_dlgMsgList.m_nDocComplete != 0; }, 10000));
    // The hostile line shows as text, with no element of its own and
    // nothing run: the window is still there.
    EXPECT_TRUE(lumui::PumpUntil([&] { return PaneText(chat->m_dlgMsgList).find("</div> \"quoted\"") != std::string::npos; }))
        << PaneText(chat->m_dlgMsgList);
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    CString hostileElements;
    chat->m_dlgMsgList.InvokeScriptMethod(
        "eval",
        {"String(document.getElementById('MsgHistoryIFrame').contentDocument.querySelectorAll('[onerror],script').length)"},
        &hostileElements);
    EXPECT_EQ(hostileElements.str(), "0");
    EXPECT_TRUE(IsWindow(chat->m_hWnd) && chat->IsWindowVisible());
    std::filesystem::create_directories(SCREENSHOT_DIR);
    lumui::SaveScreenImage(SCREENSHOT_DIR "/chat-flow-user.png");

    // While the chat is open a line shows and is stored at once.
    ASSERT_EQ(na.SendUser(10001, "<span>在吗？</span>"), 0);
    Heartbeat();
    EXPECT_EQ(HistoryCount(10002, 1, 0), 4);
    EXPECT_TRUE(Wei()->m_vecUnread.empty());

    // A line typed into the pane reaches the friend and the own history.
    chat->m_dlgMsgList.InsertWriteText("收到，It's fine");
    chat->m_dlgMsgList.SendTyped();
    ASSERT_TRUE(lumui::PumpUntil([&] { return HistoryCount(10002, 1, 1) == 1; }, 5000));
    std::vector<StructMessage> got;
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            for (const StructMessage& m : na.Heartbeat()) got.push_back(m);
            return !got.empty();
        },
        5000));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].fromid, 10001);
    EXPECT_NE(PercentDecode(got[0].content).find("It's fine"), std::string::npos) << got[0].content;
}

// A group-mate writes before she is a friend: her line waits in her record
// as a member. She becomes a friend; a click on the tray opens the member's
// chat, where her line comes in again, now a friend's, and waits for the
// friend's chat. The next click shows it there, and nothing waits any more.
TEST_F(ChatFlowTest, ALineOfAGroupMateWhoBecameAFriendShowsOnTheNextTrayClick)
{
    Peer jing(port_, "13800000005");
    ASSERT_EQ(jing.SendUser(10001, "<span>还记得我吗</span>"), 0);
    Heartbeat();
    CDataUser* member = main_->m_book.MemberFor(10005, 1);
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(member->m_vecUnread.size(), 1u);
    EXPECT_EQ(main_->m_stackNewMsg.Top(), member);
    // Her friend request makes her a friend.
    Push(10, 10005, 0, "", "<info cmd=\"addfriend\" fromid=\"10005\" fromname=\"陈静\" fromphone=\"13800000005\"/>");
    Heartbeat();
    CDataUser* friendRec = main_->m_book.Friend(10005);
    ASSERT_NE(friendRec, nullptr);

    ASSERT_TRUE(lumui::ClickTray(main_->m_hWnd, 2023, WM_LBUTTONDOWN));
    ASSERT_TRUE(lumui::PumpUntil([&] { return member->m_dlgChat != nullptr; }, 5000));
    ASSERT_TRUE(lumui::ClickTray(main_->m_hWnd, 2023, WM_LBUTTONDOWN));
    ASSERT_TRUE(lumui::PumpUntil([&] { return friendRec->m_dlgChat != nullptr; }, 5000))
        << "the second click did not open the friend's chat";
    auto* chat = dynamic_cast<CKivDlgChatUser*>(friendRec->m_dlgChat);
    ASSERT_NE(chat, nullptr);
    EXPECT_TRUE(chat->IsWindowVisible());
    ASSERT_TRUE(lumui::PumpUntil([&] { return chat->m_dlgMsgList.m_nDocComplete != 0; }, 10000));
    EXPECT_TRUE(lumui::PumpUntil([&] { return PaneText(chat->m_dlgMsgList).find("还记得我吗") != std::string::npos; }))
        << PaneText(chat->m_dlgMsgList);
    EXPECT_EQ(HistoryCount(10005, 1, 0), 1);
    EXPECT_TRUE(main_->m_stackNewMsg.IsEmpty());
    EXPECT_TRUE(member->m_vecUnread.empty());
}

TEST_F(ChatFlowTest, GroupLinesStrangersAndTheBlackList)
{
    Peer na(port_, "13800000002");
    Peer fang(port_, "13800000003");
    // Two members write to the class group; nobody has it open.
    ASSERT_EQ(na.SendGroup(501, "<span>明天交作业</span>"), 0);
    ASSERT_EQ(fang.SendGroup(501, "<span>收到</span>"), 0);
    Heartbeat();
    CDataGroup* group = main_->m_listGroup.GetGroup(501);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->m_vecUnread.size(), 2u);
    EXPECT_EQ(main_->m_stackNewMsg.Top(), group);

    // Opened from the tray: a group chat window with both lines stored.
    ASSERT_TRUE(lumui::ClickTray(main_->m_hWnd, 2023, WM_LBUTTONDOWN));
    ASSERT_TRUE(lumui::PumpUntil([&] { return main_->m_stackNewMsg.IsEmpty(); }, 5000));
    auto* chat = dynamic_cast<CKivDlgChatGroup*>(group->m_dlgChat);
    ASSERT_NE(chat, nullptr);
    EXPECT_TRUE(chat->IsWindowVisible());
    EXPECT_EQ(HistoryCount(10002, 501, 0) + HistoryCount(10003, 501, 0), 2);
    ASSERT_TRUE(lumui::PumpUntil([&] { return chat->m_dlgMsgList.m_nDocComplete != 0; }, 10000));
    EXPECT_TRUE(lumui::PumpUntil([&] {
        const std::string shown = PaneText(chat->m_dlgMsgList);
        return shown.find("明天交作业") != std::string::npos && shown.find("收到") != std::string::npos;
    })) << PaneText(chat->m_dlgMsgList);
    lumui::SaveScreenImage(SCREENSHOT_DIR "/chat-flow-group.png");

    // Somebody who is no contact at all becomes a stranger named by the id
    // (10005 shares a group with us: take her out of it here first, or her
    // member record would take the line).
    for (auto& entry : main_->m_listGroup.m_mapGroups) main_->m_listGroup.RemoveGroupMember(10005, entry.first);
    Peer jing(port_, "13800000005");
    ASSERT_EQ(jing.SendUser(10001, "<span>你好</span>"), 0);
    Heartbeat();
    auto* stranger = static_cast<CDataUser*>(main_->m_listStranger.GetUser(10005));
    ASSERT_NE(stranger, nullptr);
    EXPECT_EQ(stranger->m_vecUnread.size(), 1u);
    // The service's answer about the user follows.
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            auto* rec = static_cast<CDataUser*>(main_->m_listStranger.GetUser(10005));
            return rec && CString(static_cast<const char*>(rec->m_bstrName)) != "10005";
        },
        5000));

    // A black-listed sender is dropped without a sound.
    main_->m_book.BlackList().insert(10005);
    const size_t sounds = sounds_.size();
    ASSERT_EQ(jing.SendUser(10001, "<span>再说一次</span>"), 0);
    Heartbeat();
    EXPECT_EQ(sounds_.size(), sounds);
    EXPECT_EQ(static_cast<CDataUser*>(main_->m_listStranger.GetUser(10005))->m_vecUnread.size(), 1u);

    // Opening the waiting stranger from the list shows and stores the queued
    // line, as the tray would, and the stranger leaves the unread stack.
    main_->m_book.BlackList().erase(10005);
    const int historyBefore = HistoryCount(10005, 2, 0);
    main_->m_listStranger.SetSelectionMark(main_->m_listStranger.FindRow(10005));
    main_->m_listStranger.SendMessage(WM_COMMAND, 9028, 0);
    auto* waiting = static_cast<CDataUser*>(main_->m_listStranger.GetUser(10005));
    ASSERT_NE(waiting->m_dlgChat, nullptr);
    EXPECT_TRUE(waiting->m_dlgChat->IsWindowVisible());
    EXPECT_TRUE(waiting->m_vecUnread.empty());
    EXPECT_FALSE(main_->m_stackNewMsg.Contains(waiting));
    EXPECT_EQ(HistoryCount(10005, 2, 0), historyBefore + 1);
}

// The service's own texts reach the panes as text: a sendTime holding markup
// shows as those characters and runs nothing, in a one-to-one and a group
// chat, shown at once or replayed.
TEST_F(ChatFlowTest, AServerTimeHoldingMarkupShowsAsText)
{
    const std::string hostile = "<img src=x onerror=\"window.external.HTMLCloseDlg()\">2024-05-01";
    auto* chat = Open<CKivDlgChatUser>(Wei());
    ASSERT_NE(chat, nullptr);
    Push(0, 10002, 1, hostile, "<span>时间不对</span>");
    Heartbeat();
    // Queued on the group while its window is closed, replayed when it opens.
    Push(1, 10002, 501, hostile, "<span>群里时间不对</span>");
    Heartbeat();
    auto* groupChat = Open<CKivDlgChatGroup>(main_->m_listGroup.GetGroup(501));
    ASSERT_NE(groupChat, nullptr);
    // Both lines shown (the group's replayed once its page loaded).
    for (CDlgChatMsgListBase* pane : {static_cast<CDlgChatMsgListBase*>(&chat->m_dlgMsgList),
                                      static_cast<CDlgChatMsgListBase*>(&groupChat->m_dlgMsgList)})
        EXPECT_TRUE(lumui::PumpUntil([&] { return PaneText(*pane).find("时间不对") != std::string::npos; }))
            << PaneText(*pane);
    EXPECT_TRUE(uiwait::QueuedWorkDone());

    for (CDlgChatMsgListBase* pane : {static_cast<CDlgChatMsgListBase*>(&chat->m_dlgMsgList),
                                      static_cast<CDlgChatMsgListBase*>(&groupChat->m_dlgMsgList)}) {
        EXPECT_NE(PaneText(*pane).find(hostile), std::string::npos) << PaneText(*pane);
        const std::string html = PaneHtml(*pane);
        EXPECT_EQ(html.find("<img"), std::string::npos) << html;
        CString handlers;
        pane->InvokeScriptMethod("eval",
                                 {"String(document.getElementById('MsgHistoryIFrame').contentDocument"
                                  ".querySelectorAll('[onerror]').length)"},
                                 &handlers);
        EXPECT_EQ(handlers.str(), "0");
    }
    EXPECT_TRUE(IsWindow(chat->m_hWnd) && chat->IsWindowVisible());
    EXPECT_TRUE(IsWindow(groupChat->m_hWnd) && groupChat->IsWindowVisible());
}

// A received line keeps the font it was written in (family, size, colour,
// weight, style, decoration) and nothing else of its style: it cannot lay
// itself over the pane.
TEST_F(ChatFlowTest, AReceivedStyleKeepsOnlyItsFont)
{
    auto* chat = Open<CKivDlgChatUser>(Wei());
    ASSERT_NE(chat, nullptr);
    Push(0, 10002, 1, "2024-05-01 08:00:00",
         "<span style=\"position:fixed;top:0;left:0;width:100%;height:100%;background:#FFFFFF;z-index:99;"
         "font-family:宋体;font-size:14px;color:#FF0000;font-weight:bold;font-style:italic;"
         "text-decoration:underline\">盖住整个窗格</span>");
    Push(0, 10002, 1, "2024-05-01 08:00:01", "<div style=\"position:absolute;top:0;margin-top:-500px\">上移</div>");
    Heartbeat();
    EXPECT_TRUE(lumui::PumpUntil([&] { return PaneText(chat->m_dlgMsgList).find("上移") != std::string::npos; }))
        << PaneText(chat->m_dlgMsgList);
    const std::string html = PaneHtml(chat->m_dlgMsgList);
    for (const char* gone : {"position", "width:", "height:", "background", "z-index", "top:", "margin"})
        EXPECT_EQ(html.find(gone), std::string::npos) << gone << " in " << html;
    for (const char* kept : {"font-family:宋体", "font-size:14px", "color:#FF0000", "font-weight:bold",
                             "font-style:italic", "text-decoration:underline"})
        EXPECT_NE(html.find(kept), std::string::npos) << kept << " not in " << html;
    // The text is there, and what the pane shows under it still shows.
    const std::string text = PaneText(chat->m_dlgMsgList);
    EXPECT_NE(text.find("盖住整个窗格"), std::string::npos);
    EXPECT_NE(text.find("上移"), std::string::npos);
    CString covered;
    chat->m_dlgMsgList.InvokeScriptMethod(
        "eval",
        {"(function(){var d=document.getElementById('MsgHistoryIFrame').contentDocument;"
         "var e=d.elementFromPoint(5,5);return e&&e.textContent.indexOf('盖住')>=0&&e.tagName=='SPAN'?'covered':'free';})()"},
        &covered);
    EXPECT_EQ(covered.str(), "free");
}

// A line the service did not take is marked in its pane as not delivered
// (it stays in the history as typed); a line that went has no mark.
TEST_F(ChatFlowTest, ALineTheServiceDidNotTakeIsMarkedNotDelivered)
{
    auto* chat = Open<CKivDlgChatUser>(Wei());
    auto* groupChat = Open<CKivDlgChatGroup>(main_->m_listGroup.GetGroup(501));
    ASSERT_TRUE(chat && groupChat);
    const char* const kMark = "发送失败，对方未收到";
    auto markedLine = [&](CDlgChatMsgListBase& pane) {
        CString line;
        pane.InvokeScriptMethod("eval",
                                {"(function(){var d=document.getElementById('MsgHistoryIFrame').contentDocument;"
                                 "var l=d.body.getElementsByClassName('line');var out='';"
                                 "for(var i=0;i<l.length;++i)if(l[i].textContent.indexOf('" +
                                 CString(kMark) + "')>=0)out+='['+l[i].textContent+']';return out;})()"},
                                &line);
        return line.str();
    };

    chat->m_dlgMsgList.InsertWriteText("第一句到了");
    chat->m_dlgMsgList.SendTyped();
    ASSERT_TRUE(lumui::PumpUntil([&] { return HistoryCount(10002, 1, 1) == 1; }, 5000));
    Peer na(port_, "13800000002");
    std::vector<StructMessage> got;
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            for (const StructMessage& m : na.Heartbeat()) got.push_back(m);
            return !got.empty();
        },
        5000));

    // The service answers both sends with bytes that are no reply.
    standin::Fault garbage;
    garbage.kind = standin::Fault::Raw;
    garbage.text = std::string("\x00\x00\x00\x09garbage!!", 13);
    service_.SetFault("SendUserMsg", garbage);
    service_.SetFault("SendGroupMsg", garbage);
    chat->m_dlgMsgList.InsertWriteText("第二句没到");
    chat->m_dlgMsgList.SendTyped();
    groupChat->m_dlgMsgList.InsertWriteText("群里这句也没到");
    groupChat->m_dlgMsgList.SendTyped();

    ASSERT_TRUE(lumui::PumpUntil([&] { return !markedLine(chat->m_dlgMsgList).empty(); }, 5000));
    const std::string marked = markedLine(chat->m_dlgMsgList);
    EXPECT_NE(marked.find("第二句没到"), std::string::npos) << marked;
    EXPECT_EQ(marked.find("第一句到了"), std::string::npos) << marked;
    ASSERT_TRUE(lumui::PumpUntil([&] { return !markedLine(groupChat->m_dlgMsgList).empty(); }, 5000));
    EXPECT_NE(markedLine(groupChat->m_dlgMsgList).find("群里这句也没到"), std::string::npos);
    // Stored as typed, and nothing reached the other side.
    EXPECT_EQ(HistoryCount(10002, 1, 1), 2);
    EXPECT_TRUE(na.Heartbeat().empty());
}

// One very long line (a person types at most 1,000 characters) does not
// hold the window: the UI thread keeps answering while it arrives, the pane
// shows its beginning with a note, and the history keeps all of it.
TEST_F(ChatFlowTest, AHugeLineIsShownCutWithoutHoldingTheWindowAndStoredWhole)
{
    // The heartbeat that brings the line waits as long as the program's
    // own would: the stand-in answers with megabytes, slowly on a busy
    // machine, and the fixture's short limits are for silent servers.
    SetServiceTimeouts(ServiceTimeouts());
    auto* chat = Open<CKivDlgChatUser>(Wei());
    ASSERT_NE(chat, nullptr);
    std::string body = "<span>开头";
    while (body.size() < 4u * 1024 * 1024) body += "很长的一句话，<b>加粗</b>还有 &amp; 符号。";
    body += "结尾</span>";
    Peer na(port_, "13800000002");
    ASSERT_EQ(na.SendUser(10001, body), 0);

    // How long the UI thread holds back other work while the line arrives.
    UiProbe probe;
    ASSERT_TRUE(probe.Start());
    Heartbeat();
    // The whole line is decoded and stored by a worker: about a second here,
    // many more in an instrumented build on a busy machine.
    ASSERT_TRUE(lumui::PumpUntil([&] { return HistoryCount(10002, 1, 0) == 1; }, 60000))
        << "the whole line was not stored";
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    probe.Stop();
    EXPECT_LT(probe.Longest(), lumtest::ProgramMs(500)) << "the UI thread was held for " << probe.Longest() << " ms";

    // The pane: the beginning, cut, with the note; not the end.
    const std::string text = PaneText(chat->m_dlgMsgList);
    EXPECT_NE(text.find("开头很长的一句话，加粗还有 & 符号。"), std::string::npos);
    EXPECT_EQ(text.find("结尾"), std::string::npos);
    EXPECT_NE(text.find("消息过长"), std::string::npos);
    EXPECT_LT(text.size(), 128u * 1024);
    // The history: the whole line.
    char** table = nullptr;
    int rows = 0, cols = 0;
    ASSERT_TRUE(main_->m_dbMsg.GetRecord("select tagmsg, msg from history_msg where id=10002 and type=0", {}, &table,
                                         &rows, &cols));
    ASSERT_EQ(rows, 1);
    const std::string stored = table[cols];
    const std::string plain = table[cols + 1];
    CFileDB::FreeRecord(table);
    EXPECT_GT(stored.size(), 4u * 1024 * 1024);
    EXPECT_NE(stored.find("结尾</span>"), std::string::npos);
    EXPECT_NE(plain.find("结尾"), std::string::npos);
}

}  // namespace
