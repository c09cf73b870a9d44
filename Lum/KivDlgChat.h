// The chat windows: CKivDlgChatUser (one-to-one, dialog 156) and
// CKivDlgChatGroup (group, dialog 157). Modeless skinned frames without a
// parent, created on demand by the list that shows the contact or group and
// kept as long as the record; the record and the window point at each other
// (the record's m_dlgChat). A record that goes destroys its window, and a
// window object goes with its window (it is made with new and deletes
// itself once destroyed), taking the plug-in module it loaded with it. A row
// of PNG buttons sits under the painted title; the HTML pane fills the rest.
#pragma once

#include "Common/CustomPngButton.h"
#include "Common/Data.h"
#include "Lum/DlgChatMsgList.h"
#include "base/DlgBase.h"
#include "platform/controls.h"

#include <functional>
#include <vector>

class CKivUsersListCtrl;

// Dialog templates of the two windows.
#define IDD_DLG_CHAT_USER 156
#define IDD_DLG_CHAT_GROUP 157

// Registers templates 156 and 157 with the client's module; later calls do
// nothing.
void RegisterChatWindowTemplates();

// The friend and stranger lists' chat factory: makes the (hidden) chat
// window of a contact record, linked both ways; null when it could not be
// created.
CWnd* CreateUserChatWindow(CKivUsersListCtrl* list, CDataUser* rec);

// A peer's address as the main window hands it to a group chat window
// (message 2036, wParam): IPv4 address in host order (a.b.c.d is
// a << 24 | b << 16 | c << 8 | d) and port.
struct ChatPeerAddress {
    unsigned int ipv4 = 0;
    int port = 0;
};

class CKivDlgChatUser : public CDlgBase {
    DECLARE_DYNAMIC(CKivDlgChatUser)

public:
    explicit CKivDlgChatUser(CDataUser* user = nullptr);
    ~CKivDlgChatUser() override;

    // A received line of the contact: "<head>time<br/>label:rest"; the
    // pictures it shows that are not in the own files folder yet are
    // fetched from the contact (`pictures`: their names).
    void ShowUserMessage(CString text, CString time, const std::vector<CString>* pictures = nullptr);
    // The record is gone (removed from its list): the window keeps nothing
    // pointing at it.
    void ForgetUser();
    // The title as painted: "与 好友 name 聊天...", "在 group 群 与 name 聊天..." ...
    CString ComposeTitle() const;

    // The chat windows answer a contact automatically at most once while the
    // own status stays away, so two away clients never answer each other's
    // automatic replies. Called when the own status changes (a new away
    // period answers everyone again once).
    static void ResetAutoReplies();

    // Hooks of the later parts (empty: the step is skipped).
    // A contact or member sent pictures this client does not have: start
    // fetching them from its peer (the record's m_pTransMap holds their
    // names, each with the folder it goes into).
    static std::function<void(CDataUser* rec)> s_startPeerTransfer;
    // The peer's address arrived for a record with pictures to fetch: 1 when
    // the fetch was started with it, 0 when the record has no transfer object.
    static std::function<int(CDataUser* rec, const CString& address, int port)> s_peerAddressKnown;
    // A command carried out by a feature plug-in: the window, the command
    // (1022 add as friend, 1023 invite into my group, 1016 SMS notice), the
    // contact or group id, the text to pass (name and one blank for 1016)
    // and, for 1016, 1 for a contact and 0 for a group. False when the
    // plug-in could not be loaded: the window shows the failure text.
    static std::function<bool(CWnd* chat, UINT command, int id, const CString& text, int kind)> s_pluginCommand;

    CDlgChatMsgList m_dlgMsgList;
    CRect m_rcMsgList;
    CCustomPngButton m_btnAddFriend;    // 1022
    CCustomPngButton m_btnInvite;       // 1023
    CCustomPngButton m_btnSms;          // 1016
    CCustomPngButton m_btnSendFile;     // 1024
    CCustomPngButton m_btnBlackList;    // 1025
    CToolTipCtrl m_tooltip;
    CDataUser* m_pUser = nullptr;
    HMODULE m_hPlugin = nullptr;  // the plug-in loaded last (Sorvan), freed with the window
    // Set once the window was made: from then on the object goes with it
    // (a window that failed to be made leaves its object to its maker).
    bool m_bDeleteWithWindow = false;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void PostNcDestroy() override;
    void OnOK() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void DrawOwnerInBackgroud(Gdiplus::Graphics* graphics) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnGetMinMaxInfo(MINMAXINFO* info) override;
    LRESULT OnPeerAddress(WPARAM wParam, LPARAM lParam);
    LRESULT OnNoticeText(WPARAM wParam, LPARAM lParam);
    void OnSendFile();
    void OnAddFriend();
    void OnInvite();
    void OnSmsNotice();
    void OnMoveToBlack();

    DECLARE_MESSAGE_MAP()
};

class CKivDlgChatGroup : public CDlgBase {
    DECLARE_DYNAMIC(CKivDlgChatGroup)

public:
    explicit CKivDlgChatGroup(CDataGroup* group = nullptr);
    ~CKivDlgChatGroup() override;

    // A received line of a member (sender id above 0; not shown unless the
    // sender is a member), or a system line (sender id below 1); the
    // pictures the member sent that are not here yet are fetched from it.
    void ShowGroupMessage(int senderId, CString text, CString time, const std::vector<CString>* pictures = nullptr);
    // The member list refilled from the group's members.
    void RefreshMembers();
    // The own member's card in the member list.
    void SetOwnCard(CString card);
    // "在群组 name 中聊天...".
    CString ComposeTitle() const;

    CCustomPngButton m_btnBlockSms;   // 1025
    CCustomPngButton m_btnSms;        // 1016
    CCustomPngButton m_btnGroupType;  // 1022
    CDlgChatMsgListGroup m_dlgMsgList;
    CRect m_rcMsgList;
    CToolTipCtrl m_tooltip;
    CDataGroup* m_pGroup = nullptr;
    HMODULE m_hPlugin = nullptr;  // freed with the window
    bool m_bDeleteWithWindow = false;  // as for the one-to-one window

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void PostNcDestroy() override;
    void OnOK() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void DrawOwnerInBackgroud(Gdiplus::Graphics* graphics) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnGetMinMaxInfo(MINMAXINFO* info) override;
    LRESULT OnPeerAddress(WPARAM wParam, LPARAM lParam);
    LRESULT OnNoticeText(WPARAM wParam, LPARAM lParam);
    void OnBlockSmsMenu();
    void OnSmsNotice();
    void OnGroupTypeMenu();
    void OnBlockSms(UINT command);
    void OnClassGroup();
    void OnBroadcastGroup();
    void OnInteractiveGroup();

    DECLARE_MESSAGE_MAP()
};
