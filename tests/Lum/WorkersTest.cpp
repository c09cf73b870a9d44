// The server-call workers against the stand-in service, with a main window on
// the UI thread that records what the workers hand it.
#include "Lum/KivApp.h"
#include "Lum/KivMessages.h"
#include "Lum/session/ServiceConnection.h"
#include "Lum/session/Workers.h"
#include "platform/codepage.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/uiapp.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/standin/StandinService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using namespace lum_thrift;
using standin::Fault;
using Clock = std::chrono::steady_clock;

namespace {

// The main window as the workers see it: it keeps copies of what arrives.
class MainWindow : public CWnd {
public:
    std::vector<StructLoginResp> logins;
    std::vector<StructGroupListResp> groupLists;
    std::vector<StructFriendListResp> friendLists;
    std::vector<StructBlackListResp> blackLists;
    std::vector<StructUser> userInfos;
    int goOffline = 0;
    // Heartbeat items as they arrived: (message, wParam, lParam or the
    // message's sender id).
    struct Pushed {
        UINT message;
        WPARAM w;
        LPARAM l;
        bool operator==(const Pushed& o) const { return message == o.message && w == o.w && l == o.l; }
    };
    std::vector<Pushed> pushed;

    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override
    {
        if (message >= UM_CONTACT_STATUS && message <= UM_FRIEND_REQUEST && message != UM_ID_LIST) {
            pushed.push_back({message, w, message == UM_CONTACT_STATUS ? l : reinterpret_cast<StructMessage*>(l)->fromid});
            return 0;
        }
        return CWnd::WindowProc(message, w, l);
    }

    size_t Received() const
    {
        return logins.size() + groupLists.size() + friendLists.size() + blackLists.size() + userInfos.size() +
               static_cast<size_t>(goOffline);
    }

private:
    LRESULT OnLoginResult(WPARAM, LPARAM l)
    {
        logins.push_back(*reinterpret_cast<StructLoginResp*>(l));
        return 0;
    }
    LRESULT OnGroupList(WPARAM, LPARAM l)
    {
        groupLists.push_back(*reinterpret_cast<StructGroupListResp*>(l));
        return 0;
    }
    LRESULT OnFriendList(WPARAM, LPARAM l)
    {
        friendLists.push_back(*reinterpret_cast<StructFriendListResp*>(l));
        return 0;
    }
    LRESULT OnIdList(WPARAM, LPARAM l)
    {
        blackLists.push_back(*reinterpret_cast<StructBlackListResp*>(l));
        return 0;
    }
    LRESULT OnUserInfo(WPARAM, LPARAM l)
    {
        userInfos.push_back(*reinterpret_cast<StructUser*>(l));
        return 0;
    }
    void OnGoOffline() { ++goOffline; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MainWindow, CWnd)
    ON_MESSAGE(UM_LOGIN_RESULT, OnLoginResult)
    ON_MESSAGE(UM_GROUP_LIST, OnGroupList)
    ON_MESSAGE(UM_FRIEND_LIST, OnFriendList)
    ON_MESSAGE(UM_ID_LIST, OnIdList)
    ON_MESSAGE(UM_USER_INFO, OnUserInfo)
    ON_COMMAND(9073, OnGoOffline)
END_MESSAGE_MAP()

// The member-import dialog as the import worker sees it.
class ImportRecorder : public IGroupUserImport {
public:
    void SetRowResult(int row, int code) override
    {
        std::lock_guard<std::mutex> lock(lock_);
        results[row] = code;
    }
    void SetRowText(int row, int column, const CString& text) override
    {
        std::lock_guard<std::mutex> lock(lock_);
        texts[{row, column}] = text.str();
    }
    void SetStartButtonText(const CString& text) override
    {
        std::lock_guard<std::mutex> lock(lock_);
        button = text.str();
    }
    std::map<int, int> results;
    std::map<std::pair<int, int>, std::string> texts;
    std::string button;

private:
    std::mutex lock_;
};

class WorkersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        std::string error;
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE, &error)) << error;
        port_ = service_.Start(0);
        ASSERT_GT(port_, 0);
        const std::string ini = dir_.file("Lum.ini");
        WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
        WritePrivateProfileString("Service", "Port", std::to_string(port_).c_str(), ini.c_str());
        SetServiceTimeouts(ServiceTimeouts{1000, 1000, 1000});

        app_ = std::make_unique<CKivApp>();
        window_ = std::make_unique<MainWindow>();
        ASSERT_TRUE(window_->CreateEx(0, nullptr, "main", WS_POPUP, 0, 0, 100, 100, nullptr, 0));
        app_->m_pMainWnd = window_.get();
        services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
            std::lock_guard<std::mutex> lock(boxLock_);
            boxes_.push_back(text.str());
            return IDOK;
        });
    }

    void TearDown() override
    {
        if (app_) app_->m_pMainWnd = nullptr;
        if (window_) window_->DestroyWindow();
        window_.reset();
        app_.reset();
        service_.Stop();
        SetServiceTimeouts(ServiceTimeouts());
    }

    // Runs one worker to its end while the UI thread handles what it sends.
    void Run(AFX_THREADPROC proc, LPVOID param = nullptr)
    {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            proc(param);
            done = true;
        });
        EXPECT_TRUE(lumui::PumpUntil([&] { return done.load(); }, 20000));
        worker.join();
    }

    StructLoginResp LoginWith(const std::string& account, const std::string& pwd)
    {
        auto* login = new StructLogin;
        login->name = account;
        login->pwd = pwd;
        login->type = 2;
        login->version = 6;
        const size_t before = window_->logins.size();
        Run(ThreadLogin, login);
        EXPECT_EQ(window_->logins.size(), before + 1);
        return window_->logins.empty() ? StructLoginResp() : window_->logins.back();
    }

    // Logs in and keeps the session key as the login completion does.
    void LogIn(const std::string& account)
    {
        StructLoginResp r = LoginWith(account, "123456");
        ASSERT_EQ(r.code, ResultCode::SUCCESS);
        app_->SetSessionKey(r.key);
        app_->SetOwnUserId(r.user.userid);
    }

    std::vector<std::string> Boxes()
    {
        std::lock_guard<std::mutex> lock(boxLock_);
        return boxes_;
    }

    size_t RequestCount() const { return service_.Requests().size(); }

    TempDir dir_;
    TestServices services_;
    standin::StandinService service_;
    int port_ = 0;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<MainWindow> window_;
    std::mutex boxLock_;
    std::vector<std::string> boxes_;
};

}  // namespace

TEST_F(WorkersTest, LoginReportsEveryOutcomeToTheMainWindow)
{
    StructLoginResp ok = LoginWith("13800000001", "123456");
    EXPECT_EQ(ok.code, ResultCode::SUCCESS);
    EXPECT_FALSE(ok.key.empty());
    EXPECT_EQ(ok.user.userid, 10001);
    EXPECT_EQ(ok.user.name, "张伟");

    EXPECT_EQ(LoginWith("13800000001", "wrong").code, ResultCode::LOGIN_PWD_ERR);
    EXPECT_EQ(LoginWith("13899999999", "123456").code, ResultCode::LOGIN_NO_REGISTER);

    // Refused connection: a transport failure, reported as code 101.
    service_.SetRefuseConnections(true);
    StructLoginResp refused = LoginWith("13800000001", "123456");
    EXPECT_EQ(refused.code, ResultCode::TRANSPORT_EXCEPTION);
    EXPECT_TRUE(refused.key.empty());
    service_.SetRefuseConnections(false);

    // A service that accepts and says nothing fails the call after the
    // socket time-out instead of hanging the worker.
    Fault silent;
    silent.kind = Fault::Slow;
    silent.delayMs = 30000;
    service_.SetFault("login", silent);
    auto start = Clock::now();
    EXPECT_EQ(LoginWith("13800000001", "123456").code, ResultCode::TRANSPORT_EXCEPTION);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 10.0);
}

TEST_F(WorkersTest, ListAndInfoWorkersHandTheirRepliesToTheMainWindow)
{
    LogIn("13800000001");
    const size_t before = RequestCount();
    Run(ThreadGetGroupList);
    Run(ThreadGetFriendList);
    Run(ThreadGetUserInfo, new UserInfoBlock{10002, 1});
    EXPECT_EQ(RequestCount(), before + 3);  // one call each

    ASSERT_EQ(window_->groupLists.size(), 1u);
    ASSERT_EQ(window_->groupLists[0].groupList.size(), 2u);
    EXPECT_EQ(window_->groupLists[0].groupList[0].name, "计算机一班");
    ASSERT_EQ(window_->friendLists.size(), 1u);
    EXPECT_EQ(window_->friendLists[0].friendList.size(), 3u);
    ASSERT_EQ(window_->userInfos.size(), 1u);
    EXPECT_EQ(window_->userInfos[0].userid, 10002);
    EXPECT_EQ(window_->userInfos[0].name, "李娜");

    // The black list of another user, with its ids.
    LogIn("13800000003");
    Run(ThreadGetBlackList);
    ASSERT_EQ(window_->blackLists.size(), 1u);
    EXPECT_EQ(window_->blackLists[0].blackList, std::vector<int32_t>{10005});

    // A reply with a failure code is passed on as it is (the key is gone).
    app_->SetSessionKey("");
    Run(ThreadGetFriendList);
    ASSERT_EQ(window_->friendLists.size(), 2u);
    EXPECT_NE(window_->friendLists[1].code, ResultCode::SUCCESS);

    // An unreachable service: list calls end without a message.
    service_.SetRefuseConnections(true);
    const size_t received = window_->Received();
    Run(ThreadGetGroupList);
    Run(ThreadGetFriendList);
    Run(ThreadGetBlackList);
    Run(ThreadGetUserInfo, new UserInfoBlock{10002, 1});
    EXPECT_EQ(window_->Received(), received);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(WorkersTest, SendWorkersConvertTheTextToUtf8)
{
    const UINT codePage = GetACP();
    ASSERT_TRUE(SetAnsiCodePage(CP_GBK));
    LogIn("13800000001");
    const std::string hello = "<msg>你好</msg>";
    auto* user = new SendMsgBlock;
    user->toid = 10002;
    user->msg = CString(ConvertCodePage(CP_UTF8, CP_GBK, hello));
    Run(ThreadSendUserMsg, user);
    auto* group = new SendMsgBlock;
    group->toid = 12345;  // not sent
    group->gid = 502;
    group->msg = CString(ConvertCodePage(CP_UTF8, CP_GBK, "<msg>周六</msg>"));
    Run(ThreadSendGroupMsg, group);
    SetAnsiCodePage(codePage);

    auto pending = service_.Pending(10002);
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].content, hello);
    EXPECT_EQ(pending[0].fromid, 10001);
    EXPECT_EQ(pending[1].gid, 502);
    EXPECT_EQ(pending[1].content, "<msg>周六</msg>");
    // Success: the client stays online, nothing is shown.
    EXPECT_EQ(window_->goOffline, 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(WorkersTest, ALostSessionPutsTheClientOfflineAndSaysWhy)
{
    LogIn("13800000001");
    auto sendAnsweredWith = [&](int code, bool group) {
        Fault fault;
        fault.kind = Fault::ResultCode;
        fault.code = code;
        service_.SetFault(group ? "SendGroupMsg" : "SendUserMsg", fault);
        auto* block = new SendMsgBlock;
        block->toid = 10002;
        block->gid = group ? 502 : 0;
        block->msg = "hi";
        Run(group ? ThreadSendGroupMsg : ThreadSendUserMsg, block);
    };

    sendAnsweredWith(ResultCode::LOGIN_IN_OTHER, false);
    EXPECT_EQ(window_->goOffline, 1);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"你已正在其它地方登录中，被迫下线！"});

    // 10: offline without a message.
    sendAnsweredWith(ResultCode::PARA_ERROR, true);
    EXPECT_EQ(window_->goOffline, 2);
    EXPECT_EQ(Boxes().size(), 1u);

    sendAnsweredWith(ResultCode::LOGIN_OUT_TIME, false);
    sendAnsweredWith(ResultCode::FAIL, true);
    EXPECT_EQ(window_->goOffline, 4);
    ASSERT_EQ(Boxes().size(), 3u);
    EXPECT_EQ(Boxes()[1], "连接服务器超时，请重新登录！!");
    EXPECT_EQ(Boxes()[2], "连接服务器超时，请重新登录！");

    // A send that cannot reach the service is not a lost session.
    service_.SetRefuseConnections(true);
    sendAnsweredWith(ResultCode::SUCCESS, false);
    EXPECT_EQ(window_->goOffline, 4);
    EXPECT_EQ(Boxes().size(), 3u);

    // Without a main window the message is still shown.
    service_.SetRefuseConnections(false);
    app_->m_pMainWnd = nullptr;
    sendAnsweredWith(ResultCode::LOGIN_IN_OTHER, false);
    EXPECT_EQ(window_->goOffline, 4);
    EXPECT_EQ(Boxes().size(), 4u);
}

TEST_F(WorkersTest, CommandWorkersMakeTheirOneCall)
{
    LogIn("13800000001");
    const size_t before = RequestCount();
    const size_t received = window_->Received();

    Run(ThreadMoveUserToBlack, reinterpret_cast<LPVOID>(static_cast<intptr_t>(10005)));
    EXPECT_EQ(service_.BlackList(10001).count(10005), 1u);

    Run(ThreadEditGroupStyle, new GroupStyleBlock{501, 8});  // a deputy may
    EXPECT_EQ(service_.GroupStyle(501), 8);
    EXPECT_TRUE(Boxes().empty());

    Run(ThreadDealJoinGroupResp, new JoinGroupRespBlock{10005, 501, "计算机一班"});
    EXPECT_TRUE(service_.GroupHasMember(501, 10005));

    Run(ThreadDeleteUser, new DeleteUserBlock{10005, 501});
    EXPECT_FALSE(service_.GroupHasMember(501, 10005));

    Run(ThreadDeleteGroup, new DeleteGroupBlock{502, 5});
    EXPECT_FALSE(service_.GroupHasMember(502, 10001));

    Run(ThreadDealInviteGroupResp, new InviteGroupRespBlock{10002, 502, "羽毛球爱好者", "李娜"});
    EXPECT_TRUE(service_.GroupHasMember(502, 10001));

    // Refused by the service: the message of the row, shown once.
    Run(ThreadEditGroupStyle, new GroupStyleBlock{502, 2});  // a plain member may not
    Run(ThreadEditGroupIsMaster, new GroupMasterBlock{501, 10003, 2});  // only the owner may
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"群类型设置失败，请稍后再试", "副群主设置失败，请稍后再试"}));

    Run(ThreadGetPwd, new CString("13800000002"));
    Run(ThreadExit);
    EXPECT_FALSE(service_.IsOnline(10001));

    auto requests = service_.Requests();
    ASSERT_EQ(requests.size(), before + 10);
    const char* methods[] = {"MoveUserToBlack", "editGroupStyle",     "DealJoinGroupResp", "DeleteUser",
                             "DeleteGroup",     "DealInviteGroupResp", "editGroupStyle",    "editGroupIsMaster",
                             "GetPwd",          "exit"};
    for (size_t k = 0; k < 10; ++k) EXPECT_EQ(requests[before + k].method, methods[k]);
    // Nothing reached the main window.
    EXPECT_EQ(window_->Received(), received);

    // The owner may make a deputy.
    LogIn("13800000004");
    Run(ThreadEditGroupIsMaster, new GroupMasterBlock{501, 10003, 2});
    EXPECT_EQ(service_.MemberRole(501, 10003), 2);
    EXPECT_EQ(Boxes().size(), 2u);
}

TEST_F(WorkersTest, ImportMakesOneCallPerRowWithAPhone)
{
    LogIn("13800000001");
    auto recorder = std::make_shared<ImportRecorder>();
    auto* block = new ImportGroupUserBlock;
    block->rows = {{"王五", "13900000001", "wangwu@example.edu"}, {"没有手机", "", "x@example.edu"},
                   {"张伟", "13800000001", ""}};
    block->gid = 501;
    block->groupType = 1;
    block->isAddFriend = 1;
    block->dialog = recorder;
    const size_t before = RequestCount();
    Run(ThreadImportGroupUser, block);

    EXPECT_EQ(RequestCount(), before + 2);
    EXPECT_EQ(recorder->results, (std::map<int, int>{{0, ResultCode::SUCCESS}, {2, ResultCode::ADD_GROUP_USER_IS_EXIST}}));
    EXPECT_TRUE(recorder->texts.empty());
    EXPECT_EQ(recorder->button, "保存结果");

    // Rows whose calls fail are marked, the others go on.
    service_.SetRefuseConnections(true);
    recorder = std::make_shared<ImportRecorder>();
    block = new ImportGroupUserBlock;
    block->rows = {{"甲", "13900000011", ""}, {"乙", "", ""}, {"丙", "13900000012", ""}};
    block->gid = 501;
    block->dialog = recorder;
    Run(ThreadImportGroupUser, block);
    EXPECT_TRUE(recorder->results.empty());
    EXPECT_EQ(recorder->texts, (std::map<std::pair<int, int>, std::string>{{{0, 3}, "失败"}, {{2, 3}, "失败"}}));
    EXPECT_EQ(recorder->button, "保存结果");

    // No row with a phone: no call, and the button is still relabelled.
    service_.SetRefuseConnections(false);
    recorder = std::make_shared<ImportRecorder>();
    block = new ImportGroupUserBlock;
    block->rows = {{"乙", "", ""}};
    block->dialog = recorder;
    const size_t beforeEmpty = RequestCount();
    Run(ThreadImportGroupUser, block);
    EXPECT_EQ(RequestCount(), beforeEmpty);
    EXPECT_EQ(recorder->button, "保存结果");
}

TEST_F(WorkersTest, HeartbeatDispatchesEachKindThenTheStatesInIdOrder)
{
    LogIn("13800000002");  // user 10002
    auto push = [&](int type, int from) {
        standin::PendingMessage m;
        m.fromid = from;
        m.toid = 10002;
        m.gid = 9001;
        m.msgType = type;
        m.content = "x";
        service_.AddPending(10002, m);
    };
    push(MsgType::IsUserMessage, 1);
    push(MsgType::IsMievo, 2);  // not handed on
    push(MsgType::IsGroupMessage, 3);
    push(MsgType::IsUserDelete, 4);
    push(MsgType::IsUserAdd, 10002);  // the own user was added to a group
    push(MsgType::IsUserAdd, 5);      // somebody else joined
    push(MsgType::IsGroupDelete, 6);
    push(MsgType::IsGroupQuit, 7);
    push(MsgType::IsUserNameAndNoteEdit, 8);
    push(MsgType::IsFriendAdd, 9);
    push(MsgType::IsGroupCreate, 10);
    push(42, 11);

    Run(ThreadMaintainOnline);
    using P = MainWindow::Pushed;
    std::vector<P> messages, states;
    for (const P& p : window_->pushed) (p.message == UM_CONTACT_STATUS ? states : messages).push_back(p);
    EXPECT_EQ(messages, (std::vector<P>{{UM_USER_MESSAGE, 0, 1}, {UM_GROUP_MESSAGE, 0, 3},
                                        {UM_GROUP_MEMBER_REMOVED, 0, 4}, {UM_GROUP_ADDED, 0, 10002},
                                        {UM_GROUP_MEMBER_JOINED, 0, 5}, {UM_GROUP_DELETED, 0, 6},
                                        {UM_GROUP_DELETED, 0, 7}, {UM_FRIEND_REQUEST, 0, 9}}));
    // Every message comes before the first state; the states ascend.
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(window_->pushed.back().message, static_cast<UINT>(UM_CONTACT_STATUS));
    EXPECT_EQ(window_->pushed[messages.size()].message, static_cast<UINT>(UM_CONTACT_STATUS));
    for (size_t i = 1; i < states.size(); ++i) EXPECT_LT(states[i - 1].w, states[i].w);

    // Nothing pending: only the states, and nothing queued twice.
    window_->pushed.clear();
    Run(ThreadMaintainOnline);
    for (const P& p : window_->pushed) EXPECT_EQ(p.message, static_cast<UINT>(UM_CONTACT_STATUS));
}

TEST_F(WorkersTest, HeartbeatStatesTravelSignExtended)
{
    StructOnlineResp reply;
    reply.onlineStatus[7] = -1;
    reply.onlineStatus[3] = 2;
    std::thread worker([&] { DispatchHeartbeatReply(reply); });
    EXPECT_TRUE(lumui::PumpUntil([&] { return window_->pushed.size() == 2; }, 5000));
    worker.join();
    using P = MainWindow::Pushed;
    EXPECT_EQ(window_->pushed, (std::vector<P>{{UM_CONTACT_STATUS, 3, 2}, {UM_CONTACT_STATUS, 7, -1}}));
}

TEST_F(WorkersTest, EighthFailedHeartbeatInARowGoesOfflineQuietly)
{
    LogIn("13800000002");
    Run(ThreadMaintainOnline);  // a success starts the count at 0
    service_.SetRefuseConnections(true);
    for (int i = 0; i < 7; ++i) Run(ThreadMaintainOnline);
    EXPECT_EQ(window_->goOffline, 0);
    EXPECT_EQ(HeartbeatFailureCount(), 7);
    // A success in between starts the count again.
    service_.SetRefuseConnections(false);
    Run(ThreadMaintainOnline);
    EXPECT_EQ(HeartbeatFailureCount(), 0);
    service_.SetRefuseConnections(true);
    for (int i = 0; i < 7; ++i) Run(ThreadMaintainOnline);
    EXPECT_EQ(window_->goOffline, 0);
    Run(ThreadMaintainOnline);
    EXPECT_EQ(window_->goOffline, 1);
    EXPECT_EQ(HeartbeatFailureCount(), 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(WorkersTest, AWorkerFinishingAfterItsWindowWentSendsNothing)
{
    LogIn("13800000001");
    Fault slow;
    slow.kind = Fault::Slow;
    slow.delayMs = 600;
    service_.SetFault("getFriendList", slow);
    service_.SetFault("login", slow);

    // The window is destroyed while the call is in flight (the service has it).
    std::atomic<bool> done{false};
    size_t asked = service_.Requests().size();
    std::thread worker([&] {
        ThreadGetFriendList(nullptr);
        done = true;
    });
    EXPECT_TRUE(lumui::PumpUntil([&] { return service_.Requests().size() > asked; }));
    window_->DestroyWindow();
    EXPECT_TRUE(lumui::PumpUntil([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_TRUE(window_->friendLists.empty());

    // The window object is gone as well (the application's pointer was
    // cleared first, as the main window's owner does).
    done = false;
    auto* login = new StructLogin;
    login->name = "13800000001";
    login->pwd = "123456";
    asked = service_.Requests().size();
    std::thread loginWorker([&] {
        ThreadLogin(login);
        done = true;
    });
    EXPECT_TRUE(lumui::PumpUntil([&] { return service_.Requests().size() > asked; }));
    app_->m_pMainWnd = nullptr;
    window_.reset();
    EXPECT_TRUE(lumui::PumpUntil([&] { return done.load(); }, 10000));
    loginWorker.join();
}

TEST(TextConversion, EmptyTextStaysEmpty)
{
    const UINT codePage = GetACP();
    for (UINT cp : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_GBK)}) {
        ASSERT_TRUE(SetAnsiCodePage(cp));
        EXPECT_TRUE(AnsiToUtf8("").IsEmpty());
        EXPECT_TRUE(Utf8ToAnsi("").IsEmpty());
    }
    SetAnsiCodePage(codePage);
}
