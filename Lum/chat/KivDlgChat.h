// The chat windows: CKivDlgChatUser (one-to-one, dialog 156) and
// CKivDlgChatGroup (group, dialog 157). Modeless skinned frames without a
// parent, created on demand by the list that shows the contact or group and
// kept as long as the record; the record and the window point at each other
// (the record's m_dlgChat). A record that goes destroys its window, and a
// window object goes with its window (it is made with new and deletes
// itself once destroyed), taking the plug-in module it loaded with it. A row
// of PNG buttons sits under the painted title; the HTML pane fills the rest.
#pragma once

#include "Common/controls/CustomPngButton.h"
#include "Common/records/Data.h"
#include "Lum/chat/DlgChatMsgList.h"
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

// What the two chat windows share: the buttons under the title (their
// pictures, tooltips and backgrounds), the painted title, the HTML pane's
// placement, the plug-in module loaded last (freed with the object) and the
// object's going with its window, which its record forgets; Enter sends
// what was typed, the pane follows the window's size and the window keeps a
// minimum size.
class CKivDlgChatBase : public CDlgBase {
    DECLARE_DYNAMIC(CKivDlgChatBase)

public:
    explicit CKivDlgChatBase(UINT templateId);
    ~CKivDlgChatBase() override;

    // The title as painted (and as the window's text).
    virtual CString ComposeTitle() const = 0;

    CRect m_rcMsgList;
    CToolTipCtrl m_tooltip;
    HMODULE m_hPlugin = nullptr;  // the plug-in loaded last, freed with the window
    // Set once the window was made: from then on the object goes with it
    // (a window that failed to be made leaves its object to its maker).
    bool m_bDeleteWithWindow = false;

protected:
    // A button under the title: the control, its id, its picture (a
    // four-frame strip of the client's resources) and its tooltip.
    struct TitleButton {
        CCustomPngButton* button;
        UINT id;
        UINT png;
        const char* tip;
    };
    // The window's buttons, left to right.
    virtual std::vector<TitleButton> TitleButtons() = 0;
    // The contact or group the window chats with; null once it is gone.
    virtual CData* Record() const = 0;
    // The window's HTML pane.
    virtual CDlgChatMsgListBase& Pane() = 0;
    // A peer's address (message 2036) and a file-transfer notice line
    // (message 3037), each as the window's kind of chat takes them.
    virtual LRESULT OnPeerAddress(WPARAM wParam, LPARAM lParam) = 0;
    virtual LRESULT OnNoticeText(WPARAM wParam, LPARAM lParam) = 0;
    // The window's size as it was made is the frame's starting size; then
    // the pane is made and placed under the buttons.
    void CreatePaneInFrame();

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void PostNcDestroy() override;
    // The buttons' backgrounds, and the title while there is a record.
    void DrawOwnerInBackgroud(Gdiplus::Graphics* graphics) override;
    void OnOK() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnGetMinMaxInfo(MINMAXINFO* info) override;

    DECLARE_MESSAGE_MAP()
};

class CKivDlgChatUser : public CKivDlgChatBase {
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
    // "与 好友 name 聊天...", "在 group 群 与 name 聊天..." ...
    CString ComposeTitle() const override;

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
    CCustomPngButton m_btnAddFriend;    // 1022
    CCustomPngButton m_btnInvite;       // 1023
    CCustomPngButton m_btnSms;          // 1016
    CCustomPngButton m_btnSendFile;     // 1024
    CCustomPngButton m_btnBlackList;    // 1025
    CDataUser* m_pUser = nullptr;

protected:
    std::vector<TitleButton> TitleButtons() override;
    CData* Record() const override { return m_pUser; }
    CDlgChatMsgListBase& Pane() override { return m_dlgMsgList; }
    LRESULT OnPeerAddress(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnNoticeText(WPARAM wParam, LPARAM lParam) override;
    void OnSendFile();
    void OnAddFriend();
    void OnInvite();
    void OnSmsNotice();
    void OnMoveToBlack();

    DECLARE_MESSAGE_MAP()
};

class CKivDlgChatGroup : public CKivDlgChatBase {
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
    CString ComposeTitle() const override;

    CCustomPngButton m_btnBlockSms;   // 1025
    CCustomPngButton m_btnSms;        // 1016
    CCustomPngButton m_btnGroupType;  // 1022
    CDlgChatMsgListGroup m_dlgMsgList;
    CDataGroup* m_pGroup = nullptr;

protected:
    std::vector<TitleButton> TitleButtons() override;
    CData* Record() const override { return m_pGroup; }
    CDlgChatMsgListBase& Pane() override { return m_dlgMsgList; }
    LRESULT OnPeerAddress(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnNoticeText(WPARAM wParam, LPARAM lParam) override;
    void OnBlockSmsMenu();
    void OnSmsNotice();
    void OnGroupTypeMenu();
    void OnBlockSms(UINT command);
    void OnClassGroup();
    void OnBroadcastGroup();
    void OnInteractiveGroup();

    DECLARE_MESSAGE_MAP()
};
