// The HTML panes of the chat windows: CDlgChatMsgList for one-to-one chats
// (dialog 104, page 105) and CDlgChatMsgListGroup for group chats (dialog
// 106, page 107, with the group's member list beside the page). The page
// shows the conversation (history area), the write area with its font bar,
// face and greeting pickers, and the contact's or group's card; the pane
// takes the typed text from the page, stores it in the history and starts
// the send worker, and pushes lines, fonts, colours, picture reloads and
// transfer progress into the page.
#pragma once

#include "Common/records/Data.h"
#include "Lum/contacts/KivGroupUsersListCtrl.h"
#include "platform/dhtml.h"

#include <functional>
#include <list>

// Registers the pane templates 104 (user pane) and 106 (group pane, with the
// member list 1031) with the client's module; later calls do nothing.
void RegisterChatPaneTemplates();

// Process-wide font of the chat panes (read when a page loads, changed by
// the page's font bar, stored by the main window as the font settings).
struct ChatFont {
    CString family;
    int size = 0;    // pixels
    CString color;   // "#RRGGBB"
    int bold = 0;
    int italic = 0;
    int underline = 0;
};
ChatFont& GetChatFont();
// 1: Ctrl+Enter sends and Enter breaks the line; 0: Enter sends.
int& ChatSendKeyMode();

// What both panes share: the page, pending history lines, fonts, send key,
// pictures, colour and history commands.
class CDlgChatMsgListBase : public CDHtmlDialog {
    DECLARE_DYNAMIC(CDlgChatMsgListBase)

public:
    CDlgChatMsgListBase(UINT pageTemplateId, UINT htmlResourceId, CWnd* parent = nullptr);
    ~CDlgChatMsgListBase() override;

    // A line for the history area: shown at once when the page has loaded,
    // otherwise kept and shown, in order, when it has.
    void AppendHistoryLine(const CString& line);
    // A notice line (file transfer) shown in the history area with the
    // program's files folder.
    void ShowNoticeLine(const CString& text);
    // Sends what was typed (Enter, the send button, the page's HTMLSendMsg).
    void OnOK() override;
    void OnCancel() override;

    BOOL OnInitDialog() override;
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;
    BOOL IsExternalDispatchSafe() override;
    HRESULT ShowContextMenu(DWORD id, POINT* pt, IUnknown* cmdTarget, IDispatch* object) override;
    HRESULT TranslateAccelerator(LPMSG msg, const GUID* cmdGroup, DWORD cmdId) override;

    // Sends what was typed, without the send-key check (the send button).
    void SendTyped();
    // Inserts markup at the caret of the write area.
    void InsertWriteText(const CString& markup);
    // A typed line the service did not take (message 3048, wParam the
    // page's id of the line): marked in the history area as not delivered.
    LRESULT OnSendFailed(WPARAM wParam, LPARAM lParam);

    // Methods the page reaches through window.external.
    void HTMLSendMsg();
    void HTMLCloseDlg();
    void updateFontSet(const VARIANT& name, const VARIANT& value);

    int m_nDocComplete = 0;
    std::list<CString> m_lstPending;

    // Shows the message-history viewer (the main window's history plug-in)
    // for a contact or group: its id, name and kind (1 friend, 2 stranger,
    // or the member's group id, for contacts; 3 group, 4 discussion group).
    // Unset: the history button does nothing.
    static std::function<void(int id, const CString& name, int kind)> s_showHistory;
    // Whether a Ctrl key (left or right) is down; tests replace it.
    static std::function<bool()> s_isCtrlDown;

protected:
    // The record of the chat (null when gone), its id and the worker that
    // sends a line; implemented by the two panes.
    virtual CData* ChatRecord() = 0;
    virtual void StoreSentLine(const CString& markup, const CString& plain, const CString& time) = 0;
    // `lineId`: the page's id of the typed line, marked should the service
    // not take it.
    virtual void StartSend(const CString& markup, const CString& lineId) = 0;
    virtual void CallSetInfo() = 0;
    // Kind and name for the history viewer.
    virtual int HistoryKind() = 0;
    virtual CString RecordName() = 0;

    HRESULT OnButtonOK(IHTMLElement* element);
    HRESULT OnImgSendImage(IHTMLElement* element);
    HRESULT OnImgShowHistory(IHTMLElement* element);
    HRESULT OnImgColor(IHTMLElement* element);

    // The own status (1 online, 2 away, 3 offline) and the history store of
    // the main window; the own files folder ("<program folder><own id>/").
    static int OwnStatus();
    static void* HistoryStore();
    static CString FilesFolder();

    // The page's address, as its document-complete reports it.
    CString m_strPageUrl;

    DECLARE_DISPATCH_MAP()
    DECLARE_DHTML_EVENT_MAP()
};

class CDlgChatMsgList : public CDlgChatMsgListBase {
    DECLARE_DYNCREATE(CDlgChatMsgList)

public:
    CDlgChatMsgList();
    ~CDlgChatMsgList() override;

    // Transfer progress of an offered file (message 3046): wParam the file id
    // (CString*), lParam the percent.
    LRESULT OnFileProgress(WPARAM wParam, LPARAM lParam);
    // The page accepts an offered file: its id, the path on the peer's
    // machine and the group (list) id of the offer.
    void TrunFile(const VARIANT& fileId, const VARIANT& filePath, const VARIANT& groupId);

    // The peer-to-peer transfer of an accepted file (pane, file id, path on
    // the peer's machine, group id). Unset: accepting does nothing.
    static std::function<void(CDlgChatMsgList* pane, const CString& fileId, const CString& filePath, int groupId)>
        s_acceptFile;
    // The state name the card shows for a contact ("PC端", "离线", ...).
    static CString StateName(const CDataUser* user);

    CDataUser* m_pUser = nullptr;  // lent by the chat window, never freed here
    CString m_strPeerAddr;         // dotted IPv4 of the peer, "" until known
    int m_nPeerPort = 0;
    int m_nHoleRequest = 0;

protected:
    CData* ChatRecord() override;
    void StoreSentLine(const CString& markup, const CString& plain, const CString& time) override;
    void StartSend(const CString& markup, const CString& lineId) override;
    void CallSetInfo() override;
    int HistoryKind() override;
    CString RecordName() override;

    DECLARE_DISPATCH_MAP()
    DECLARE_MESSAGE_MAP()
};

class CDlgChatMsgListGroup : public CDlgChatMsgListBase {
    DECLARE_DYNCREATE(CDlgChatMsgListGroup)

public:
    CDlgChatMsgListGroup();
    ~CDlgChatMsgListGroup() override;

    // Empties the member list and fills it from the group's members.
    void FillMembers();
    // The page approves a join request of a user.
    void AccessJoinGroup(const VARIANT& userId);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnSize(UINT type, int cx, int cy) override;
    // The page leaves the right column to the group's card (painted here)
    // and the member list under it: a page view paints over any control it
    // overlaps.
    CRect PageRect(int cx, int cy) override;
    void OnPaint() override;
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    CDataGroup* m_pGroup = nullptr;  // lent by the chat window, never freed here
    CKivGroupUsersListCtrl m_listMembers;  // control 1031
    int m_nMembersFilled = 0;

protected:
    CData* ChatRecord() override;
    void StoreSentLine(const CString& markup, const CString& plain, const CString& time) override;
    void StartSend(const CString& markup, const CString& lineId) override;
    void CallSetInfo() override;
    int HistoryKind() override;
    CString RecordName() override;

    DECLARE_DISPATCH_MAP()

    DECLARE_MESSAGE_MAP()
};
