#include "Lum/session/Workers.h"

#include "base/MenuCommands.h"
#include "Lum/KivApp.h"
#include "Lum/KivMessages.h"
#include "Lum/session/ServiceConnection.h"
#include "platform/uiapp.h"

#include <thrift/Thrift.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

using lum_thrift::LumServiceClient;

namespace {

// The status menu's "offline" command: the main window's go-offline, which
// does nothing when the client is offline already.

// The session key as it is when the worker starts.
std::string SessionKey()
{
    CKivApp* app = GetKivApp();
    return app ? app->GetSessionKey() : std::string();
}

// Makes the one call of a worker on a connection of its own: open, call,
// close, release. False when the service could not be reached or the reply
// was not usable; the worker then acts on the failure.
template <typename Call>
bool CallService(Call&& call)
{
    try {
        CServiceConnection connection;
        connection.Open();
        call(connection.Client());
        connection.Close();
        return true;
    } catch (const apache::thrift::TException&) {
        return false;
    } catch (const std::exception&) {
        // Nothing else may escape a worker thread: it would end the process.
        return false;
    }
}

// A message box shown on the UI thread, where the main window pointer that
// gives its owner is read safely.
void ShowMessage(const char* text)
{
    const CString copy(text);
    lumui::RunOnUiThread([&copy] { AfxMessageBox(copy, MB_OK); });
}

}  // namespace

// ---------------------------------------------------------------- main window

HWND GetMainWindowHandle()
{
    // The main window and the application's pointer to it belong to the UI
    // thread; they are read there so that a window being destroyed is never
    // looked at halfway.
    HWND hwnd = nullptr;
    auto read = [&hwnd] {
        CWinApp* app = AfxGetApp();
        CWnd* main = app ? app->m_pMainWnd : nullptr;
        hwnd = main ? main->GetSafeHwnd() : nullptr;
    };
    if (lumui::IsUiThread())
        read();
    else
        lumui::RunOnUiThread(read);
    return hwnd;
}

LRESULT SendToMainWindow(UINT message, WPARAM wParam, LPARAM lParam)
{
    // One trip to the UI thread: the main window is looked up and its handler
    // run there, so a window closing meanwhile is never reached.
    LRESULT result = 0;
    auto deliver = [&] {
        CWinApp* app = AfxGetApp();
        CWnd* main = app ? app->m_pMainWnd : nullptr;
        HWND hwnd = main ? main->GetSafeHwnd() : nullptr;
        if (hwnd && IsWindow(hwnd)) result = SendMessage(hwnd, message, wParam, lParam);
    };
    if (lumui::IsUiThread())
        deliver();
    else
        lumui::RunOnUiThread(deliver);
    return result;
}

// ---------------------------------------------------------------- session loss

void HandleSessionLost(int code)
{
    SendToMainWindow(WM_COMMAND, IDM_OFFLINE, 0);
    switch (code) {
    case lum_thrift::ResultCode::LOGIN_IN_OTHER:
        ShowMessage("你已正在其它地方登录中，被迫下线！");
        break;
    case lum_thrift::ResultCode::LOGIN_OUT_TIME:
        ShowMessage("连接服务器超时，请重新登录！!");
        break;
    case lum_thrift::ResultCode::PARA_ERROR:
        break;
    default:
        ShowMessage("连接服务器超时，请重新登录！");
        break;
    }
}

// ---------------------------------------------------------------- heartbeat

namespace {

// Heartbeats that failed in a row, process-wide. Overlapping heartbeat
// workers (a slow service) count without losing increments.
std::atomic<int> g_heartbeatFailures{0};

// The UI thread is given back between slices of a dispatch after this long,
// so that painting and input never wait for a whole reply.
const auto kSliceBudget = std::chrono::milliseconds(4);

}  // namespace

int MessageKindOf(const lum_thrift::StructMessage& msg)
{
    // The generated reader stores the wire's integer in the enum member
    // whatever it is; its bytes are read back as that integer.
    static_assert(sizeof(msg.msgType) == sizeof(int32_t), "the kind is a 32-bit integer on the wire");
    int32_t kind = 0;
    std::memcpy(&kind, &msg.msgType, sizeof kind);
    return kind;
}

UINT HeartbeatMessageFor(const lum_thrift::StructMessage& msg, int ownId)
{
    switch (MessageKindOf(msg)) {
    case lum_thrift::MsgType::IsUserMessage:
        return UM_USER_MESSAGE;
    case lum_thrift::MsgType::IsGroupMessage:
        return UM_GROUP_MESSAGE;
    case lum_thrift::MsgType::IsUserDelete:
        return UM_GROUP_MEMBER_REMOVED;
    case lum_thrift::MsgType::IsUserAdd:
        return msg.fromid == ownId ? UM_GROUP_ADDED : UM_GROUP_MEMBER_JOINED;
    case lum_thrift::MsgType::IsGroupDelete:
    case lum_thrift::MsgType::IsGroupQuit:
        return UM_GROUP_DELETED;
    case lum_thrift::MsgType::IsFriendAdd:
        return UM_FRIEND_REQUEST;
    default:
        return 0;  // not dispatched
    }
}

void DispatchHeartbeatReply(const lum_thrift::StructOnlineResp& reply)
{
    // The messages in list order, then the states in ascending id order (the
    // map's order). Every item is one synchronous message to the main window,
    // handled on the UI thread while the reply stays on this thread's stack;
    // the items are handed over in slices, each one trip to the UI thread.
    const size_t messages = reply.msgList.size();
    const size_t total = messages + reply.onlineStatus.size();
    auto state = reply.onlineStatus.begin();
    size_t next = 0;
    while (next < total) {
        auto slice = [&] {
            CWinApp* app = AfxGetApp();
            CWnd* main = app ? app->m_pMainWnd : nullptr;
            HWND hwnd = main ? main->GetSafeHwnd() : nullptr;
            if (!hwnd || !IsWindow(hwnd)) {
                next = total;  // the window went: nothing more to hand over
                return;
            }
            const auto start = std::chrono::steady_clock::now();
            do {
                if (next < messages) {
                    const lum_thrift::StructMessage& msg = reply.msgList[next];
                    // The own id as it is now: it decides between two notices.
                    const UINT message = HeartbeatMessageFor(msg, OwnId());
                    if (message)
                        SendMessage(hwnd, message, 0, reinterpret_cast<LPARAM>(const_cast<lum_thrift::StructMessage*>(&msg)));
                } else {
                    // Statuses travel sign-extended from 16 bits.
                    SendMessage(hwnd, UM_CONTACT_STATUS, static_cast<WPARAM>(static_cast<UINT>(state->first)),
                                static_cast<LPARAM>(state->second));
                    ++state;
                }
                ++next;
            } while (next < total && IsWindow(hwnd) && std::chrono::steady_clock::now() - start < kSliceBudget);
        };
        if (lumui::IsUiThread())
            slice();
        else
            lumui::RunOnUiThread(slice);
    }
}

void RecordHeartbeatFailure()
{
    // The eighth failure in a row puts the client offline (quietly); the
    // switch runs on the UI thread, where the state it changes lives.
    if (++g_heartbeatFailures > 7) {
        g_heartbeatFailures = 0;
        SendToMainWindow(WM_COMMAND, IDM_OFFLINE, 0);
    }
}

int HeartbeatFailureCount()
{
    return g_heartbeatFailures.load();
}

UINT ThreadMaintainOnline(LPVOID)
{
    const std::string key = SessionKey();
    lum_thrift::StructOnlineResp reply;
    if (!CallService([&](LumServiceClient& c) { c.MaintainOnline(reply, key, lum_thrift::UserStatus::UserStatusPC); })) {
        RecordHeartbeatFailure();
        return 0;
    }
    // A reply with a code other than 0 is dispatched like any other.
    DispatchHeartbeatReply(reply);
    g_heartbeatFailures = 0;
    return 0;
}

// ---------------------------------------------------------------- login and lists

UINT ThreadLogin(LPVOID param)
{
    std::unique_ptr<lum_thrift::StructLogin> login(static_cast<lum_thrift::StructLogin*>(param));
    lum_thrift::StructLoginResp reply;
    const bool ok = login && CallService([&](LumServiceClient& c) { c.login(reply, *login); });
    if (!ok) {
        // Whatever part of a reply was read is dropped.
        reply = lum_thrift::StructLoginResp();
        reply.code = lum_thrift::ResultCode::TRANSPORT_EXCEPTION;
    }
    // The request object stays alive until the reply was handled, so its
    // address identifies this login to the main window.
    SendToMainWindow(UM_LOGIN_RESULT, reinterpret_cast<WPARAM>(login.get()), reinterpret_cast<LPARAM>(&reply));
    return 0;
}

UINT ThreadGetGroupList(LPVOID)
{
    const std::string key = SessionKey();
    lum_thrift::StructGroupListResp reply;
    if (CallService([&](LumServiceClient& c) { c.getGroupList(reply, key); }))
        SendToMainWindow(UM_GROUP_LIST, 0, reinterpret_cast<LPARAM>(&reply));
    return 0;
}

UINT ThreadGetFriendList(LPVOID)
{
    const std::string key = SessionKey();
    lum_thrift::StructFriendListResp reply;
    if (CallService([&](LumServiceClient& c) { c.getFriendList(reply, key); }))
        SendToMainWindow(UM_FRIEND_LIST, 0, reinterpret_cast<LPARAM>(&reply));
    return 0;
}

UINT ThreadGetBlackList(LPVOID)
{
    const std::string key = SessionKey();
    lum_thrift::StructBlackListResp reply;
    if (CallService([&](LumServiceClient& c) { c.getBlackList(reply, key); }))
        SendToMainWindow(UM_ID_LIST, 0, reinterpret_cast<LPARAM>(&reply));
    return 0;
}

UINT ThreadGetUserInfo(LPVOID param)
{
    std::unique_ptr<UserInfoBlock> block(static_cast<UserInfoBlock*>(param));
    if (!block) return 0;
    const std::string key = SessionKey();
    lum_thrift::StructUserInfoResp reply;
    if (CallService([&](LumServiceClient& c) { c.GetUserInfo(reply, key, block->userid, block->gid); }))
        SendToMainWindow(UM_USER_INFO, 0, reinterpret_cast<LPARAM>(&reply.user));
    return 0;
}

// ---------------------------------------------------------------- chat

namespace {

// The end of a send: a line the service did not take (no answer, a reply
// that is none, or a code other than 0) is marked in its pane, which is
// looked up on the UI thread; a code other than 0 also ends the session.
void FinishSend(const SendMsgBlock& block, bool answered, int32_t result)
{
    if ((!answered || result != lum_thrift::ResultCode::SUCCESS) && block.pane && !block.lineId.IsEmpty()) {
        const HWND pane = block.pane;
        const CString& line = block.lineId;
        lumui::RunOnUiThread([pane, &line] {
            if (IsWindow(pane)) ::SendMessage(pane, UM_SEND_FAILED, reinterpret_cast<WPARAM>(line.GetString()), 0);
        });
    }
    if (answered && result != lum_thrift::ResultCode::SUCCESS) HandleSessionLost(result);
}

}  // namespace

UINT ThreadSendUserMsg(LPVOID param)
{
    std::unique_ptr<SendMsgBlock> block(static_cast<SendMsgBlock*>(param));
    if (!block) return 0;
    const std::string key = SessionKey();
    const std::string msg = AnsiToUtf8(block->msg).str();
    int32_t result = 0;
    const bool answered =
        CallService([&](LumServiceClient& c) { result = c.SendUserMsg(key, block->toid, block->gid, msg); });
    FinishSend(*block, answered, result);
    return 0;
}

UINT ThreadSendGroupMsg(LPVOID param)
{
    std::unique_ptr<SendMsgBlock> block(static_cast<SendMsgBlock*>(param));
    if (!block) return 0;
    const std::string key = SessionKey();
    const std::string msg = AnsiToUtf8(block->msg).str();
    int32_t result = 0;
    const bool answered = CallService([&](LumServiceClient& c) { result = c.SendGroupMsg(key, block->gid, msg); });
    FinishSend(*block, answered, result);
    return 0;
}

// ---------------------------------------------------------------- contacts and groups

UINT ThreadMoveUserToBlack(LPVOID param)
{
    const int32_t blackId = static_cast<int32_t>(reinterpret_cast<intptr_t>(param));
    const std::string key = SessionKey();
    CallService([&](LumServiceClient& c) { c.MoveUserToBlack(key, blackId); });
    return 0;
}

UINT ThreadDealJoinGroupResp(LPVOID param)
{
    std::unique_ptr<JoinGroupRespBlock> block(static_cast<JoinGroupRespBlock*>(param));
    if (!block) return 0;
    const std::string key = SessionKey();
    const std::string gname = AnsiToUtf8(block->gname).str();
    CallService([&](LumServiceClient& c) { c.DealJoinGroupResp(key, block->toid, block->gid, gname); });
    return 0;
}

UINT ThreadDealInviteGroupResp(LPVOID param)
{
    std::unique_ptr<InviteGroupRespBlock> block(static_cast<InviteGroupRespBlock*>(param));
    if (!block) return 0;
    const std::string key = SessionKey();
    const std::string gname = AnsiToUtf8(block->gname).str();
    const std::string fromname = AnsiToUtf8(block->fromname).str();
    CallService([&](LumServiceClient& c) { c.DealInviteGroupResp(key, block->toid, block->gid, gname, fromname); });
    return 0;
}

UINT ThreadDeleteGroup(LPVOID param)
{
    std::unique_ptr<DeleteGroupBlock> block(static_cast<DeleteGroupBlock*>(param));
    if (!block) return 0;
    const std::string key = SessionKey();
    CallService([&](LumServiceClient& c) { c.DeleteGroup(key, block->gid, block->type); });
    return 0;
}

UINT ThreadDeleteUser(LPVOID param)
{
    std::unique_ptr<DeleteUserBlock> block(static_cast<DeleteUserBlock*>(param));
    if (!block) return 0;
    const std::string key = SessionKey();
    CallService([&](LumServiceClient& c) { c.DeleteUser(key, block->deleteid, block->gid); });
    return 0;
}

UINT ThreadEditGroupStyle(LPVOID param)
{
    std::unique_ptr<GroupStyleBlock> block(static_cast<GroupStyleBlock*>(param));
    if (!block) return 0;
    const std::string key = SessionKey();
    int32_t result = 0;
    if (CallService([&](LumServiceClient& c) { result = c.editGroupStyle(key, block->groupID, block->style); }) &&
        result != lum_thrift::ResultCode::SUCCESS)
        ShowMessage("群类型设置失败，请稍后再试");
    return 0;
}

UINT ThreadEditGroupIsMaster(LPVOID param)
{
    std::unique_ptr<GroupMasterBlock> block(static_cast<GroupMasterBlock*>(param));
    if (!block) return 0;
    const std::string key = SessionKey();
    int32_t result = 0;
    if (CallService([&](LumServiceClient& c) {
            result = c.editGroupIsMaster(key, block->groupID, block->userID, block->toType);
        }) &&
        result != lum_thrift::ResultCode::SUCCESS)
        ShowMessage("副群主设置失败，请稍后再试");
    return 0;
}

UINT ThreadImportGroupUser(LPVOID param)
{
    std::unique_ptr<ImportGroupUserBlock> block(static_cast<ImportGroupUserBlock*>(param));
    if (!block) return 0;
    const std::string key = SessionKey();
    for (size_t row = 0; row < block->rows.size(); ++row) {
        if (block->dialog && block->dialog->Cancelled()) return 0;
        const ImportRow& in = block->rows[row];
        lum_thrift::StructUser user;
        user.name = AnsiToUtf8(in.name).str();
        user.phone = AnsiToUtf8(in.phone).str();
        user.__set_email(AnsiToUtf8(in.email).str());
        // A row without a phone number is skipped: no call, no result text.
        if (user.phone.empty()) continue;

        int32_t result = 0;
        const bool ok = CallService([&](LumServiceClient& c) {
            result = c.importGroupUser(key, block->gid, user, block->groupType, block->isAddFriend);
        });
        if (!block->dialog) continue;
        if (ok)
            block->dialog->SetRowResult(static_cast<int>(row), result);
        else
            block->dialog->SetRowText(static_cast<int>(row), 3, "失败");
    }
    if (block->dialog) block->dialog->SetStartButtonText("保存结果");
    return 0;
}

// ---------------------------------------------------------------- session

UINT ThreadExit(LPVOID)
{
    const std::string key = SessionKey();
    CallService([&](LumServiceClient& c) { c.exit(key); });
    return 0;
}

UINT ThreadGetPwd(LPVOID param)
{
    std::unique_ptr<CString> account(static_cast<CString*>(param));
    if (!account) return 0;
    // The typed account goes where the session key would.
    const std::string typed = account->str();
    CallService([&](LumServiceClient& c) { c.GetPwd(typed); });
    return 0;
}
