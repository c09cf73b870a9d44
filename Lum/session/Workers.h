// Server-call workers.
//
// Every call the client makes to the messaging service runs on a worker
// thread of its own (started with AfxBeginThread) and makes exactly one call
// on a connection of its own, opened and closed around the call
// (CServiceConnection: service address from Lum.ini, socket time-outs, so a
// silent service fails the call instead of hanging it).
//
// Parameter blocks are allocated with new by the starter; the worker owns and
// deletes them, whatever happens. Texts in blocks are in the ANSI code page.
//
// Results reach the main window only through its handle: the worker asks for
// the handle after the call, checks that the window still exists and uses
// the synchronous SendMessage, whose handler runs on the UI thread while the
// reply on the worker's stack stays valid. A window that went away meanwhile
// (log-out, close, quit) gets nothing, and no worker keeps a pointer to a
// window across its call.
#pragma once

#include "Lum/protocol/LumService.h"
#include "platform/afx.h"
#include "platform/window.h"

#include <functional>
#include <memory>
#include <vector>

// ---------------------------------------------------------------- parameter blocks

// ThreadLogin takes a lum_thrift::StructLogin allocated with new.

// ThreadSendUserMsg, ThreadSendGroupMsg.
struct SendMsgBlock {
    int nUnused = 0;  // not sent
    int toid = 0;     // not sent by the group send
    int gid = 0;
    CString msg;
    // A line typed into a pane: the pane and the page's id of the line,
    // which the pane marks as not delivered when the service does not take
    // it (UM_SEND_FAILED). Empty for sends nobody typed.
    HWND pane = nullptr;
    CString lineId;
};

// ThreadGetUserInfo.
struct UserInfoBlock {
    int userid = 0;
    int gid = 0;
};

// ThreadDealJoinGroupResp.
struct JoinGroupRespBlock {
    int toid = 0;
    int gid = 0;
    CString gname;
};

// ThreadDealInviteGroupResp.
struct InviteGroupRespBlock {
    int toid = 0;
    int gid = 0;
    CString gname;
    CString fromname;
};

// ThreadDeleteGroup: type 4 dissolves the group, 5 quits it.
struct DeleteGroupBlock {
    int gid = 0;
    int type = 0;
};

// ThreadDeleteUser.
struct DeleteUserBlock {
    int deleteid = 0;
    int gid = 0;
};

// ThreadEditGroupStyle.
struct GroupStyleBlock {
    int groupID = 0;
    short style = 0;
};

// ThreadEditGroupIsMaster: toType 2 makes a deputy owner, 0 undoes it.
struct GroupMasterBlock {
    int groupID = 0;
    int userID = 0;
    short toType = 0;
};

// ThreadGetPwd takes a CString allocated with new: the typed account.
// ThreadMoveUserToBlack takes the user id itself as its parameter
// (reinterpret_cast<LPVOID>(static_cast<intptr_t>(id))).

// ---------------------------------------------------------------- member import

// One row of the member-import list: columns 0 to 2 (name, phone, e-mail).
struct ImportRow {
    CString name;
    CString phone;
    CString email;
};

// The member-import dialog as the import worker sees it. The worker calls it
// on its own thread; an implementation reaches its windows through their
// handles (SendMessage, IsWindow), so that a dialog closed meanwhile is never
// touched.
class IGroupUserImport {
public:
    virtual ~IGroupUserImport() = default;
    // A row was imported with the service's result code; the dialog writes
    // the row's result text into column 3.
    virtual void SetRowResult(int row, int code) = 0;
    // Writes a text into one cell of the import list.
    virtual void SetRowText(int row, int column, const CString& text) = 0;
    // Sets the text of the dialog's start button.
    virtual void SetStartButtonText(const CString& text) = 0;
    // True once the dialog went away or started over: no more calls.
    virtual bool Cancelled() const { return false; }
};

// ThreadImportGroupUser: the rows of the import list in order and the
// dialog's settings as they were when the import started.
struct ImportGroupUserBlock {
    std::vector<ImportRow> rows;
    int gid = 0;
    int groupType = 0;
    int isAddFriend = 0;  // 1 when the add-as-friend box was ticked
    std::shared_ptr<IGroupUserImport> dialog;
};

// ---------------------------------------------------------------- workers

UINT ThreadLogin(LPVOID param);                 // lum_thrift::StructLogin*
UINT ThreadGetGroupList(LPVOID param);          // no parameter
UINT ThreadGetFriendList(LPVOID param);         // no parameter
UINT ThreadGetBlackList(LPVOID param);          // the parameter is not read; pass null
UINT ThreadSendUserMsg(LPVOID param);           // SendMsgBlock*
UINT ThreadSendGroupMsg(LPVOID param);          // SendMsgBlock*
UINT ThreadMaintainOnline(LPVOID param);        // no parameter
UINT ThreadGetUserInfo(LPVOID param);           // UserInfoBlock*
UINT ThreadMoveUserToBlack(LPVOID param);       // the user id
UINT ThreadDealJoinGroupResp(LPVOID param);     // JoinGroupRespBlock*
UINT ThreadDealInviteGroupResp(LPVOID param);   // InviteGroupRespBlock*
UINT ThreadDeleteGroup(LPVOID param);           // DeleteGroupBlock*
UINT ThreadDeleteUser(LPVOID param);            // DeleteUserBlock*
UINT ThreadImportGroupUser(LPVOID param);       // ImportGroupUserBlock*
UINT ThreadEditGroupStyle(LPVOID param);        // GroupStyleBlock*
UINT ThreadEditGroupIsMaster(LPVOID param);     // GroupMasterBlock*
UINT ThreadExit(LPVOID param);                  // no parameter
UINT ThreadGetPwd(LPVOID param);                // CString*

// A send was answered with `code` (not 0): puts the client offline (through
// the main window's go-offline command, run on the UI thread) and shows the
// text of the code; 10 shows nothing.
void HandleSessionLost(int code);

// ---------------------------------------------------------------- heartbeat

// The kind of a pushed item as the integer the service sent: a kind this
// client does not know (42) is a value the enum cannot hold, so it is never
// read as the enum.
int MessageKindOf(const lum_thrift::StructMessage& msg);
// The main-window message of one pushed item (0: the kind is not handed on).
// An "added to a group" item is about the own user when its sender is
// `ownId`, otherwise about another member joining.
UINT HeartbeatMessageFor(const lum_thrift::StructMessage& msg, int ownId);
// Hands a heartbeat reply to the main window: each message of the list in
// order, then UM_CONTACT_STATUS for each state in ascending id order, each
// with a synchronous SendMessage. Called on a worker thread it returns when
// all were handled; the items go over in slices of a few milliseconds of UI
// time so that the UI thread is never held for a whole large reply.
void DispatchHeartbeatReply(const lum_thrift::StructOnlineResp& reply);
// A heartbeat failed: counted; the eighth in a row runs the main window's
// go-offline command and starts the count again.
void RecordHeartbeatFailure();
int HeartbeatFailureCount();

// ---------------------------------------------------------------- main window

// The main window's handle (the application's main window pointer, read on
// the UI thread), or null when there is none.
HWND GetMainWindowHandle();
// Sends a message to the main window when it exists; 0 otherwise.
LRESULT SendToMainWindow(UINT message, WPARAM wParam, LPARAM lParam);
