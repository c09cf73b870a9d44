// The client's main window: a narrow skinned panel that runs as the
// application's modal dialog for the whole process life. It owns the local
// stores, the contact and group lists, the login and login-progress windows
// and the panel's buttons, and receives the custom window messages of the
// client. Until a login succeeds it is fully transparent and the login
// window, laid over it, is all the user sees.
#pragma once

#include "Common/controls/CustomPngButton.h"
#include "Common/controls/CustomStaticLink.h"
#include "Common/stores/FileDbMsg.h"
#include "Common/stores/FileDbSys.h"
#include "Common/stores/FileDbUser.h"
#include "Common/controls/LayeredWindowHelperST.h"
#include "Lum/DlgChangeSkin.h"
#include "Lum/session/KivDlgLogin.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/contacts/KivRecords.h"
#include "Lum/chat/KivRouting.h"
#include "Lum/contacts/KivUsersListCtrl.h"
#include "Lum/chat/MessageBody.h"
#include "Lum/chat/StackNewMsg.h"
#include "base/DlgBase.h"
#include "base/WinAutoHide.h"
#include "platform/controls.h"
#include "platform/listctrl.h"
#include "platform/shellapi.h"

#include <memory>

class CKivDlg : public CDlgBase {
    DECLARE_DYNAMIC(CKivDlg)

public:
    explicit CKivDlg(CWnd* parent = nullptr);
    ~CKivDlg() override;

    BOOL OnInitDialog() override;
    BOOL DestroyWindow() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawOwnerInBackgroud(Gdiplus::Graphics* graphics) override;
    void OnBnClickedButtonDlgMin() override;
    void OnBnClickedButtonDlgClose() override;

    // Tab selection: 1014 friends, 1015 groups, 1016 strangers.
    void SelectTab(UINT id);
    // Own status changes (1 online, 2 away, 3 offline).
    void GoOnline();
    void GoAway();
    void GoOffline();
    // The offline switch: status 3, grey own head, session key emptied.
    void SwitchOffline();
    // Rebuilds the panel's own head image from the own record (the default
    // head when it has none).
    void ReloadOwnHead();
    // The picture of the status button for a status.
    void SetStatusImage(int status);
    // The tray icon's picture.
    void SetTrayIcon(HICON icon);
    // Connects the user store and the message store for a user; stores still
    // open for another user are closed first.
    void ConnectUserStores(int userId);
    // A store that was damaged and set aside by its Connect is reported to
    // the user once, in a box naming the kept file (`what`: the store's
    // contents in words).
    static void TellSetAside(const CFileDB& store, const char* what);
    // Opens the chat of the newest unread sender (tray click, hotkey), or
    // shows the main window when nobody is unread.
    void OpenNewestUnread();
    // Registers the read-message hotkey from a setting such as "Ctrl+Alt+Z";
    // an empty value or "0" removes the present registration. A combination
    // another program holds is reported in a message box.
    void RegisterReadMsgHotKey(CString value);
    // Whether a record pointer is a record the main window still holds: the
    // own record, a friend, stranger or group, or a member of a group.
    bool IsLiveRecord(const CData* rec);

    // ---- feature plug-ins
    // Ends the plug-in in the slot (its ExitInstance, then free) and loads
    // `file` into the slot; null, after `failureText` was shown, when the
    // file cannot be loaded.
    HMODULE LoadSlotPlugin(LPCSTR file, LPCSTR failureText);
    // Ends the plug-in in the slot, if any, and empties the slot.
    void FreeSlotPlugin();
    // The history plug-in, loaded again when it is not loaded; null, after
    // its failure box, when it still cannot be loaded.
    HMODULE GetQuillon();
    // The history viewer for a contact or group: id, name and kind (1
    // friend, 2 stranger or the member's group id; 3 group, 4 discussion).
    void ShowHistory(int id, CString name, int kind);
    // The one-recipient SMS notice: receiver id, its name as passed to the
    // plug-in (the name followed by one blank) and type (1 contact, 0
    // group). False when refused by the account test or the plug-in could
    // not be loaded; the failure box is shown only when `failureBox` is set.
    bool ShowFastSmsNotify(int id, CString nameText, int type, bool failureBox = true);
    // Whether a login account is refused for SMS: it has an at sign after
    // its first character.
    static bool IsSmsRefused(const CString& account);

    CKivDlgLogin m_dlgLogin;
    CKivDlgLogining m_dlgLogining;
    CLayeredWindowHelperST m_layered;
    CFileDbSys m_dbSys;
    CFileDbUser m_dbUser;
    CFileDbMsg m_dbMsg;
    // Declared before the lists, whose records it holds: it outlives them.
    CStackNewMsg m_stackNewMsg;
    // The friends, strangers, groups and members the lists below keep, looked
    // up by id, and the black list.
    KivContactBook m_book;
    // Received lines: the router decides, this window's side carries it out.
    CKivRouting m_routing{*this};
    KivRouter m_router{m_book, m_routing, kShownBodyBytes};
    CKivGroupListCtrl m_listGroup;     // control 1019
    CKivUsersListCtrl m_listFriend;    // control 1017, list id 1
    CKivUsersListCtrl m_listStranger;  // control 1018, list id 2
    Gdiplus::Font* m_pFont = nullptr;
    Gdiplus::Font* m_pFontBold = nullptr;
    Gdiplus::SolidBrush* m_pBrushWhite = nullptr;
    HANDLE m_hStopEvent = nullptr;  // stops the peer-to-peer transfer's listener
    int m_nStatus = 1;
    HICON m_hIcon = nullptr;
    HICON m_hIconGroup = nullptr;
    HICON m_hIconUser = nullptr;
    HICON m_hIconScratch = nullptr;
    HICON m_hIconOffline = nullptr;
    CCustomPngButton m_btnStatus;
    CCustomPngButton m_btnMainMenu;
    CCustomPngButton m_btnMessages;
    CCustomPngButton m_btnSms;
    CCustomPngButton m_btnSettings;
    CCustomPngButton m_btnHistory;
    CCustomPngButton m_btnSkin;
    CCustomPngButton m_btnSearch;
    CCustomPngButton m_btnTabGroups;
    CCustomPngButton m_btnTabFriends;
    CCustomPngButton m_btnTabStrangers;
    CToolTipCtrl m_tooltip;
    CCustomStaticLink m_linkTopic;  // control 1020, the topic line
    Gdiplus::Bitmap* m_pHeadImage = nullptr;  // own head, 40 x 40 at (6, 25)
    CFont m_fontSearch;
    CEdit m_editSearch;
    int m_nSearchWidth = 0;
    int m_nTick = 0;
    // The tray icon; its picture alternates between blank and the newest
    // unread sender's head while somebody is unread.
    NOTIFYICONDATA m_nid;
    int m_nTrayPhase = 0;    // 1 after a blank phase was shown
    int m_nStaleSender = 1;  // 1 until a live unread sender has been seen
    WinAutoHide m_autoHide;
    HMODULE m_hQuillon = nullptr;
    HMODULE m_hPlugin = nullptr;

    // Login replies still to come, and how many of them a log-out voided.
    int m_nLoginsInFlight = 0;
    // The login whose reply is awaited (the worker's request object, as a
    // token): replies of any other login, such as one started before a
    // log-out, are dropped.
    const void* m_pCurrentLogin = nullptr;
    // The user the user store and the message store are open for (0: none).
    int m_nStoreUserId = 0;
    // The text of the topic line, as the web server last gave it.
    CString m_strTopic;
    // The skin chooser, created on first use.
    std::unique_ptr<CDlgChangeSkin> m_pDlgSkin;
    // The head loader's listener of this window (own head).
    int m_nHeadListener = 0;
    // The friend-list reply being taken over, a slice per turn of the loop;
    // a newer reply or a log-out ends it (its number changes).
    struct FriendListJob;
    void ContinueFriendList(const std::shared_ptr<FriendListJob>& job);
    unsigned m_nFriendListJob = 0;
    // Goes when the window goes: work queued for the window checks it.
    std::shared_ptr<bool> m_pAlive = std::make_shared<bool>(true);
    // Where the panel was when it last moved.
    CPoint m_ptPanel;

    // Whether a record pointer is the own record or a record of the friend or
    // stranger list (list records may have been freed since a message was
    // posted: the pointer is not read).
    bool IsLiveUser(const CDataUser* rec);
    // Heads that arrived from the head loader: the own head goes to the own
    // record, the panel and the system store.
    void OnHeadsArrived(const std::vector<const lumheads::Head*>& batch);

protected:
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;
    void OnCancel() override;
    void OnClose() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnGetMinMaxInfo(MINMAXINFO* info) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) override;
    HCURSOR OnQueryDragIcon() override;
    void OnTimer(UINT_PTR id) override;
    void OnHotKey(UINT id, UINT modifiers, UINT vk) override;

    LRESULT OnLoginResult(WPARAM wParam, LPARAM lParam);
    LRESULT OnFriendList(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupList(WPARAM wParam, LPARAM lParam);
    LRESULT OnUserInfo(WPARAM wParam, LPARAM lParam);
    LRESULT OnIdList(WPARAM wParam, LPARAM lParam);
    LRESULT OnUserHeadLoaded(WPARAM wParam, LPARAM lParam);
    LRESULT OnTopicText(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupHeadLoaded(WPARAM wParam, LPARAM lParam);
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    LRESULT OnContactStatus(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupMemberRemoved(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupDeleted(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupMemberJoined(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupAdded(WPARAM wParam, LPARAM lParam);
    LRESULT OnFriendRequest(WPARAM wParam, LPARAM lParam);
    LRESULT OnAddContact(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupCreated(WPARAM wParam, LPARAM lParam);
    LRESULT OnUserMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnOpenChat(WPARAM wParam, LPARAM lParam);
    LRESULT OnSearchRequest(WPARAM wParam, LPARAM lParam);
    // 3045: the focus went to the window wParam; unless it is the search
    // drop-down, one of its children or one of theirs, the drop-down hides.
    LRESULT OnSearchFocus(WPARAM wParam, LPARAM lParam);
    // Hides the skin chooser and the search drop-down unless `target` lies
    // inside them.
    void HidePopupsOutside(HWND target);
    LRESULT OnSettingsChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnOwnInfoChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnSkinChange(WPARAM wParam, LPARAM lParam);
    // Peer-to-peer transfer (PeerTransfer.cpp): hole notice (2035), peer
    // address (2036), serving progress (3046) and completion notices (3047).
    LRESULT OnPeerHole(WPARAM wParam, LPARAM lParam);
    LRESULT OnPeerAddress(WPARAM wParam, LPARAM lParam);
    LRESULT OnFileProgress(WPARAM wParam, LPARAM lParam);
    LRESULT OnPeerNotice(WPARAM wParam, LPARAM lParam);
    LRESULT OnBlackListRemoved(WPARAM wParam, LPARAM lParam);
    // Shows the skin chooser under the skin button (created on first use).
    void ShowSkinChooser();
    // Lays out and repaints every open window of the program with the skin
    // now set: this panel, the chat windows and the feature windows.
    void ApplySkinToOpenWindows();

    void OnBnClickedMainMenu();
    void OnBnClickedSearch();
    void OnBnClickedTabGroups();
    void OnBnClickedTabFriends();
    void OnBnClickedTabStrangers();
    void OnBnClickedMessages();
    void OnBnClickedSms();
    void OnBnClickedHistory();
    void OnBnClickedSettings();
    void OnBnClickedStatus();
    void OnBnClickedSkin();
    void OnMenuOnline();
    void OnMenuAway();
    void OnMenuOffline();
    void OnMenuSettings();
    void OnMenuCreateGroup();
    void OnMenuExit();
    void OnMenuLogout();
    void OnMenuHelp();
    void OnMenuMessageManager();
    void OnMenuSmsNotice();
    void OnMenuProfile();
    void OnMenuAddFriend();
    void OnMenuFindGroup();
    void OnMenuCreateDiscussion();
    void OnMenuSkin();
    void OnMenuChangePassword();
    void OnMenuBlackList();
    void OnSearchSetFocus();

    DECLARE_MESSAGE_MAP()

private:
    void SetButtonImage(CCustomPngButton& button, UINT id);
    // Routes the lists' and chat windows' plug-in commands to this window.
    static void InstallPluginHooks();
    HICON LoadMainIcon(UINT id);
    // One step of the tray animation (timer 2023).
    void AnimateTray();
    HICON StatusIcon() const;
    // The idle check of every 18th tick.
    void CheckIdle();
    // Sends WM_SIZE with its present size to a list (it lays out and repaints).
    static void Relayout(CWnd& list);
};

// ---------------------------------------------------------------- background downloads

// The head of a list record (the lists' head hook; called on the UI thread):
// drawn into the record at once when the head loader has it this session,
// else asked of the head loader, which hands it to the lists when it comes
// (nothing when the id is below 1).
void StartUserHeadDownload(CDataUser* rec);
// The own head, fetched anew in the background (a login, a return from
// offline): a new session's heads are fetched anew. The own record takes it
// when it comes.
void StartOwnHeadDownload(int ownId);
// No parameter: fetches the web server's "/topic.txt" and, when it is not
// empty, sends UM_TOPIC_TEXT with it to the main window. Returns 1.
UINT ThreadLoadTopic(LPVOID param);

// The read-message hotkey of a setting such as "Ctrl+Alt+Z": MOD_CONTROL
// for "Ctrl", MOD_ALT for "Alt", and the first character left once those
// and the plus signs are taken out as the key. False for an empty value, "0"
// or a value without a key.
bool ParseHotKeySetting(CString value, UINT* modifiers, UINT* vk);

// The client's main window, or null before it is made and after it went.
CKivDlg* KivMainWindow();
