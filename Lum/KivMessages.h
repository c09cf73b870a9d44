// The custom window messages of the whole client: main window, lists, chat
// windows, message panes and plug-in frames all use these numbers.
//
// A message that carries a pointer is sent with SendMessage (synchronous)
// unless marked "posted": the object belongs to the sender and is valid only
// during the call, so a receiver that keeps anything copies it. A posted
// message carries only pointers to objects that outlive it (records owned by
// the lists, the own record, the system store). Handlers return 0 unless
// noted; senders ignore the result.
#pragma once

#include "platform/msgdef.h"

// Tray icon callback (the shell); the same number is the main window's timer
// id. wParam: icon id; lParam: the mouse message.
#define UM_TRAY_NOTIFY (WM_USER + 999)  // 2023
// Login result. To the main window (login worker, also with code 101 when the
// call failed): wParam a token naming the login (its request object),
// lParam StructLoginResp*. Posted on to the
// login-progress dialog: wParam 0, lParam the int result code.
#define UM_LOGIN_RESULT (WM_USER + 1001)  // 2025
// Group-list reply: wParam 0, lParam StructGroupListResp*.
#define UM_GROUP_LIST (WM_USER + 1004)  // 2028
// Friend-list reply: wParam 0, lParam StructFriendListResp*.
#define UM_FRIEND_LIST (WM_USER + 1006)  // 2030
// User-info reply: wParam 0, lParam StructUser* (the reply's user).
#define UM_USER_INFO (WM_USER + 1007)  // 2031
// A contact's online state (heartbeat): wParam user id, lParam status 0 to 9.
#define UM_CONTACT_STATUS (WM_USER + 1008)  // 2032
// One-to-one chat message (heartbeat, queued replay of kind 0): wParam 0,
// lParam StructMessage*.
#define UM_USER_MESSAGE (WM_USER + 1009)  // 2033
// Group message (heartbeat, queued replay of other kinds): wParam 0,
// lParam StructMessage*.
#define UM_GROUP_MESSAGE (WM_USER + 1010)  // 2034
// Peer hole punch (no sender): wParam 0, lParam XMLNode* holding a "hole" element.
#define UM_PEER_HOLE (WM_USER + 1011)  // 2035
// Peer address. To the main window (no sender): wParam 0, lParam XMLNode*
// holding a "hole" element. Forwarded to a group chat window: wParam socket
// address*, lParam sender id; to a user chat window: wParam the address text,
// lParam the port.
#define UM_PEER_ADDRESS (WM_USER + 1012)  // 2036
// A member was removed from a group (heartbeat): wParam 0, lParam StructMessage*.
#define UM_GROUP_MEMBER_REMOVED (WM_USER + 1015)  // 2039
// A group was dissolved or left (heartbeat): wParam 0, lParam StructMessage*.
#define UM_GROUP_DELETED (WM_USER + 1016)  // 2040
// The user was added to a group (heartbeat): wParam 0, lParam StructMessage*.
#define UM_GROUP_ADDED (WM_USER + 1019)  // 2043
// Another user joined a group (heartbeat): wParam 0, lParam StructMessage*.
#define UM_GROUP_MEMBER_JOINED (WM_USER + 1020)  // 2044
// Black-list reply: wParam 0, lParam StructBlackListResp*; the ids are added
// to the main window's black-list set.
#define UM_ID_LIST (WM_USER + 1021)  // 2045
// A friend request (heartbeat): wParam 0, lParam StructMessage*.
#define UM_FRIEND_REQUEST (WM_USER + 1022)  // 2046

// Posted: a user's head image was loaded. wParam CDataUser* (list-owned or the
// own record); lParam the system store when the own record was already saved
// to it, else any other value.
#define UM_USER_HEAD_LOADED (WM_USER + 2001)  // 3025
// Posted: a group's head image was loaded. wParam CDataGroup* (list-owned);
// lParam non-zero to repaint the group list.
#define UM_GROUP_HEAD_LOADED (WM_USER + 2002)  // 3026
// The topic text: wParam CString*, lParam 0; returns 1.
#define UM_TOPIC_TEXT (WM_USER + 2003)  // 3027
// A line for a chat window's pane (file transfer): wParam the text (8-bit
// string), lParam 0.
#define UM_CHAT_NOTICE_TEXT (WM_USER + 2013)  // 3037
// Posted by the main window to itself (search button): wParam 0, lParam 0;
// returns 1 when the drop-down was shown.
#define UM_SEARCH_REQUEST (WM_USER + 2020)  // 3044
// Focus moved (no sender): wParam a window handle, lParam 0; returns 1
// (0 when the drop-down has no window).
#define UM_SEARCH_FOCUS (WM_USER + 2021)  // 3045
// File transfer progress. To the main window: wParam the transfer record; to a
// chat pane: wParam CString* file id. lParam: percent 0 to 100.
#define UM_FILE_PROGRESS (WM_USER + 2022)  // 3046
// A file transfer's completion or failure notice for the peer's chat pane:
// wParam the notice (8-bit text "<q cmd='9'><msg fromid toid gid>text</msg></q>"),
// lParam 0; returns 1 when a pane showed it.
#define UM_PEER_NOTICE (WM_USER + 2023)  // 3047
// A send worker to a chat pane: the service did not take a typed line.
// wParam the page's id of the line (text, valid during the call), lParam 0.
#define UM_SEND_FAILED (WM_USER + 2024)  // 3048

// Add a contact (Sorvan, friend requests): wParam CDataUser* (sender's), lParam 0.
#define UM_ADD_CONTACT (WM_USER + 8065)  // 9089
// Open a chat (Parlet, tray, hotkey): wParam CData* (list-owned), lParam 0.
#define UM_OPEN_CHAT (WM_USER + 8172)  // 9196
// Add a group to the group list (no sender): wParam CDataGroup*, lParam 0.
#define UM_GROUP_LIST_ADD (WM_USER + 8200)  // 9224
// Skin change: wParam CString* image name with lParam 1, or a COLORREF with
// lParam 0.
#define UM_SKIN_CHANGE (WM_USER + 8201)  // 9225

// A friend remark changed: wParam CDataUser* (id, remark), lParam 0.
#define UM_REMARK_CHANGED (WM_USER + 9001)  // 10025
// A group card changed: wParam CDataUser* (ids, card text), lParam 0.
#define UM_GROUP_CARD_CHANGED (WM_USER + 9002)  // 10026
// The settings changed (settings plug-in, login completion): wParam 0, lParam 0.
#define UM_SETTINGS_CHANGED (WM_USER + 9003)  // 10027
// A group's head image changed: wParam group id, lParam 0.
#define UM_GROUP_HEAD_CHANGED (WM_USER + 9004)  // 10028
// Ids removed from the black list: wParam CString* ids joined by ",", lParam 0.
#define UM_BLACKLIST_REMOVED (WM_USER + 9010)  // 10034
// The own head image changed: wParam 0; lParam 1 to the main window, 0 to the
// profile frame.
#define UM_OWN_HEAD_CHANGED (WM_USER + 9011)  // 10035
// The own name or note changed (or the login completed, lParam 1): wParam the
// own CDataUser* or 0, lParam 0 or 1.
#define UM_OWN_INFO_CHANGED (WM_USER + 9012)  // 10036
// A group was created: wParam CDataGroup* (sender's), lParam 0.
#define UM_GROUP_CREATED (WM_USER + 9101)  // 10125
// A group's information changed: wParam CDataGroup* (id, name, style, note), lParam 0.
#define UM_GROUP_INFO_CHANGED (WM_USER + 9201)  // 10225

// Used inside one plug-in only.
// Sorvan frame to its page: add the selected friend / join the selected group.
#define UM_ADD_SELECTED_FRIEND (WM_USER + 8051)  // 9075
#define UM_JOIN_SELECTED_GROUP (WM_USER + 8052)  // 9076
// Sorvan page to its frame: close the invitation / add-friend frame.
#define UM_CLOSE_INVITE_FRAME (WM_USER + 8252)      // 9276
#define UM_CLOSE_ADD_FRIEND_FRAME (WM_USER + 8253)  // 9277
// Parlet page to its frame: close the message centre.
#define UM_CLOSE_PARLET_FRAME (WM_USER + 8841)  // 9865
// Parlet alert page to its parent (no handler).
#define UM_ALERT_SHOW_CHAT (WM_USER + 12600)  // 13624
// Bellwick fast-SMS page to its frame: the message was sent.
#define UM_SMS_SENT (WM_USER + 23592)  // 24616
