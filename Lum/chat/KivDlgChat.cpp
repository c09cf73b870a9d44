#include "Lum/chat/KivDlgChat.h"

#include "Common/Common.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/KivMessages.h"
#include "Lum/transfer/PeerTransfer.h"
#include "Lum/modules/PluginModule.h"
#include "Lum/contacts/KivUsersListCtrl.h"
#include "Lum/chat/MessageBody.h"
#include "Lum/session/Workers.h"
#include "base/MenuCommands.h"
#include "base/WndMenu.h"
#include "platform/codepage.h"
#include "platform/commdlg.h"
#include "platform/dialog.h"
#include "platform/threads.h"
#include "platform/timeutil.h"
#include "platform/uiapp.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// Button pictures (four-frame strips of the client's resources).
const UINT kPngAddFriend = 157;
const UINT kPngInvite = 158;
const UINT kPngBlock = 159;
const UINT kPngSendFile = 160;
const UINT kPngSms = 161;
const UINT kPngGroupType = 171;

// Control ids of the buttons under the title.
const UINT kBtnSms = 1016;
const UINT kBtnAddFriend = 1022;
const UINT kBtnGroupType = 1022;
const UINT kBtnInvite = 1023;
const UINT kBtnSendFile = 1024;
const UINT kBtnBlackList = 1025;
const UINT kBtnBlockSms = 1025;

// The pane fills the window below the buttons.
const int kPaneX = 3;
const int kPaneY = 70;
const int kPaneRightGap = 8;
const int kPaneBottomGap = 5;

const int kMinTrackWidth = 540;
const int kMinTrackHeight = 450;

const int kStatusAway = 2;
const int kStyleClass = 8;
const int kStyleBroadcast = 2;
const int kStyleInteractive = 1;

CKivDlg* MainDlg()
{
    CWinApp* app = AfxGetApp();
    CWnd* main = app ? app->m_pMainWnd : nullptr;
    if (!main || !main->IsKindOf(RUNTIME_CLASS(CKivDlg))) return nullptr;
    return static_cast<CKivDlg*>(main);
}

// The record's name without the blank the store keeps after it.
CString TrimmedName(const CData* rec)
{
    CString name = NameOf(rec);
    name.Trim();
    return name;
}

// "name(id)" for a name that is neither empty nor the id itself, else the
// id; escaped, as names come from other users and the label goes into a
// page line.
CString SenderLabel(const CDataUser* rec)
{
    const CString id = IdText(rec->m_nId);
    const CString name = TrimmedName(rec);
    if (name.IsEmpty() || name == id) return id;
    CString label;
    label.Format("%s(%d)", EscapeHtml(name).GetString(), rec->m_nId);
    return label;
}

// The text's leading tag (up to and including the first ">") and the rest.
void SplitHead(const CString& text, CString* head, CString* rest)
{
    const int end = text.Find('>');
    if (end < 0) {
        *head = CString();
        *rest = text;
        return;
    }
    *head = text.Left(end + 1);
    *rest = text.Mid(end + 1);
}

// Pictures a line of the record shows that are not in the files folder yet
// join the record's pictures to fetch (name -> the folder the pane shows
// them from), and the fetch from the record's peer starts.
void AddPendingPictures(CDataUser* rec, const std::vector<CString>* pictures)
{
    if (!rec || !pictures || pictures->empty()) return;
    // The own files folder, where the panes look for pictures.
    CKivApp* app = GetKivApp();
    const CString folder = app ? app->m_strUserPath : CString();
    EnterCriticalSection(&rec->m_cs);
    if (!rec->m_pTransMap) rec->m_pTransMap = new std::map<CString, CString>;
    for (const CString& name : *pictures) (*rec->m_pTransMap)[name] = folder;
    LeaveCriticalSection(&rec->m_cs);
    if (CKivDlgChatUser::s_startPeerTransfer) CKivDlgChatUser::s_startPeerTransfer(rec);
}

bool HasPendingPictures(CDataUser* rec)
{
    EnterCriticalSection(&rec->m_cs);
    const bool pending = rec->m_pTransMap && !rec->m_pTransMap->empty();
    LeaveCriticalSection(&rec->m_cs);
    return pending;
}

// A picture arrived: the record waits for it no more.
void PictureArrived(CDataUser* rec, const CString& name)
{
    if (!rec) return;
    EnterCriticalSection(&rec->m_cs);
    if (rec->m_pTransMap) rec->m_pTransMap->erase(name);
    LeaveCriticalSection(&rec->m_cs);
}

// Plug-in commands (add as friend, invite, SMS notice): the hook carries
// them out; without one, or when it cannot load the plug-in, the failure
// text is shown.
void RunPlugin(CWnd* chat, UINT command, int id, const CString& text, int kind, const char* failure)
{
    const bool done = CKivDlgChatUser::s_pluginCommand && CKivDlgChatUser::s_pluginCommand(chat, command, id, text, kind);
    if (!done) AfxMessageBox(failure, MB_OK);
}

// The SMS notice of both windows (contacts: kind 1, groups: kind 0).
void SmsNotice(CWnd* chat, int id, const CString& name, int kind)
{
    if (OwnAccount().Find('@') > 0) {
        AfxMessageBox("此功能目前只对本网用户开放", MB_OK);
        return;
    }
    RunPlugin(chat, kBtnSms, id, name + " ", kind, "加载Bellwick.dll失败,未能实现通知短信功能");
}

// The title into the back buffer (8, 8, 500, 30) with the main window's
// title font and brush (a font of its own when there is no main window).
void DrawTitle(Gdiplus::Graphics* g, const CString& title)
{
    if (!g) return;
    CKivDlg* main = MainDlg();
    Gdiplus::Font* font = main ? main->m_pFont : nullptr;
    Gdiplus::Brush* brush = main ? main->m_pBrushWhite : nullptr;
    std::unique_ptr<Gdiplus::Font> ownFont;
    std::unique_ptr<Gdiplus::SolidBrush> ownBrush;
    if (!font) {
        ownFont = std::make_unique<Gdiplus::Font>(L"SimSun", 9.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPoint);
        font = ownFont.get();
    }
    if (!brush) {
        ownBrush = std::make_unique<Gdiplus::SolidBrush>(Gdiplus::Color(0xFFFFFFFF));
        brush = ownBrush.get();
    }
    const std::wstring wide = MultiByteToWide(CP_ACP, title.GetString());
    const Gdiplus::RectF layout(8, 8, 500 - 8, 30 - 8);
    g->DrawString(wide.c_str(), static_cast<Gdiplus::INT>(wide.size()), font, layout, nullptr, brush);
}

void SetButtonBack(CDlgBase* dlg, CCustomPngButton& button)
{
    if (!button.m_hWnd || !dlg->m_pBgBitmap) return;
    CRect r;
    button.GetWindowRect(&r);
    dlg->ScreenToClient(&r);
    button.SetButtonBackImage(dlg->m_pBgBitmap, r.left, r.top);
}

void LoadButton(CCustomPngButton& button, UINT png)
{
    CResourceScope scope(AfxGetInstanceHandle());
    button.SetButtonImage(png);
}

// Tool-tip relay of both windows.
void RelayToolTip(CToolTipCtrl& tooltip, MSG* msg)
{
    if (msg && tooltip.m_hWnd &&
        (msg->message == WM_MOUSEMOVE || msg->message == WM_LBUTTONDOWN || msg->message == WM_LBUTTONUP))
        tooltip.RelayEvent(msg);
}

// Places a pane at (3, 70) over the window's width - 8 and height - 75.
void PlacePane(CWnd* dlg, CWnd& pane, CRect& placement, int cx, int cy)
{
    if (!pane.m_hWnd) return;
    if (cx <= 0 || cy <= 0) {
        // A bare WM_SIZE (0, 0): lay out for the present size.
        CRect r;
        dlg->GetClientRect(&r);
        cx = r.Width();
        cy = r.Height();
    }
    const int w = cx - kPaneRightGap, h = cy - kPaneY - kPaneBottomGap;
    if (w <= 0 || h <= 0) return;
    placement = CRect(kPaneX, kPaneY, kPaneX + w, kPaneY + h);
    pane.MoveWindow(kPaneX, kPaneY, w, h);
}

// Creates a pane from its own template as a child of the chat window.
void CreatePane(CDlgBase* dlg, CDialog& pane, CRect& placement)
{
    if (!pane.Create(pane.m_nIDTemplate, dlg)) return;
    pane.SetParent(dlg);
    const int w = dlg->m_rcClient.right - dlg->m_rcClient.left;
    const int h = dlg->m_rcClient.bottom - dlg->m_rcClient.top;
    PlacePane(dlg, pane, placement, w, h);
    pane.ShowWindow(SW_SHOW);
}

// ---------------------------------------------------------------- automatic replies

// Contacts answered automatically in the present away period, as (own id,
// contact id).
std::mutex g_autoReplyLock;
std::set<std::pair<int, int>> g_autoReplied;

// True once per contact and away period.
bool TakeAutoReply(int ownId, int contactId)
{
    std::lock_guard<std::mutex> lock(g_autoReplyLock);
    return g_autoReplied.insert({ownId, contactId}).second;
}

void ClearAutoReplies()
{
    std::lock_guard<std::mutex> lock(g_autoReplyLock);
    g_autoReplied.clear();
}

void SendToContact(const CDataUser* rec, const CString& body)
{
    auto* block = new SendMsgBlock;
    block->nUnused = OwnId();
    block->toid = rec->m_nId;
    block->gid = rec->m_nGroupId;
    block->msg = body;
    if (!AfxBeginThread(ThreadSendUserMsg, block)) delete block;
}

// ---------------------------------------------------------------- templates

DialogItemTemplate PngButton(UINT id, int x, int y)
{
    // One 32 x 32 frame; the picture sizes the button.
    return DialogItem("Button", id, x, y, 21, 20, WS_TABSTOP | BS_OWNERDRAW);
}

DialogTemplate ChatTemplate(UINT id, const char* caption)
{
    DialogTemplate t;
    t.id = id;
    t.cx = 400;
    t.cy = 300;
    t.dialogUnits = true;
    t.style = WS_POPUP;
    t.caption = caption;
    return t;
}

}  // namespace

void RegisterChatWindowTemplates()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    DialogTemplate user = ChatTemplate(IDD_DLG_CHAT_USER, "聊天");
    user.items = {PngButton(kBtnAddFriend, 17, 20), PngButton(kBtnInvite, 69, 20), PngButton(kBtnSms, 120, 20),
                  PngButton(kBtnSendFile, 170, 20), PngButton(kBtnBlackList, 220, 20)};
    DialogTemplate group = ChatTemplate(IDD_DLG_CHAT_GROUP, "群聊");
    group.items = {PngButton(kBtnBlockSms, 17, 20), PngButton(kBtnSms, 64, 20), PngButton(kBtnGroupType, 110, 20)};
    HINSTANCE module = AfxGetInstanceHandle();
    RegisterDialogTemplate(module, user);
    RegisterDialogTemplate(module, group);
    // The panes the windows create.
    RegisterChatPaneTemplates();
}

CWnd* CreateUserChatWindow(CKivUsersListCtrl*, CDataUser* rec)
{
    if (!rec) return nullptr;
    RegisterChatWindowTemplates();
    // The window lives as long as the record, and the object as the window.
    auto* chat = new CKivDlgChatUser(rec);
    // The record takes the window only once it exists: a record freed while
    // the page is being made (a member list refilled meanwhile) must not
    // destroy a window halfway through its creation.
    if (!chat->Create(IDD_DLG_CHAT_USER, nullptr)) {
        delete chat;
        return nullptr;
    }
    chat->m_bDeleteWithWindow = true;
    rec->m_dlgChat = chat;
    return chat;
}

// ================================================================ CKivDlgChatBase

IMPLEMENT_DYNAMIC(CKivDlgChatBase, CDlgBase)

BEGIN_MESSAGE_MAP(CKivDlgChatBase, CDlgBase)
    ON_WM_SIZE()
    ON_WM_GETMINMAXINFO()
    ON_MESSAGE(UM_PEER_ADDRESS, OnPeerAddress)
    ON_MESSAGE(UM_CHAT_NOTICE_TEXT, OnNoticeText)
END_MESSAGE_MAP()

CKivDlgChatBase::CKivDlgChatBase(UINT templateId) : CDlgBase(templateId, nullptr) {}

CKivDlgChatBase::~CKivDlgChatBase()
{
    // The module the window loaded goes with it (no export is called).
    HMODULE module = m_hPlugin;
    m_hPlugin = nullptr;
    ReleasePluginModule(module, false);
}

void CKivDlgChatBase::DoDataExchange(CDataExchange* dx)
{
    CDlgBase::DoDataExchange(dx);
    for (const TitleButton& b : TitleButtons()) DDX_Control(dx, b.id, *b.button);
}

BOOL CKivDlgChatBase::OnInitDialog()
{
    CDlgBase::OnInitDialog();
    const std::vector<TitleButton> buttons = TitleButtons();
    for (const TitleButton& b : buttons) LoadButton(*b.button, b.png);
    EnableToolTips(TRUE);
    if (m_tooltip.Create(this)) {
        for (const TitleButton& b : buttons) m_tooltip.AddTool(b.button, b.tip);
    }
    CreatePaneInFrame();
    return TRUE;
}

void CKivDlgChatBase::PostNcDestroy()
{
    // The object goes with its window; a record still pointing at it
    // forgets it.
    CData* rec = Record();
    if (rec && rec->m_dlgChat == this) rec->m_dlgChat = nullptr;
    if (m_bDeleteWithWindow) delete this;
}

void CKivDlgChatBase::DrawOwnerInBackgroud(Gdiplus::Graphics* g)
{
    for (const TitleButton& b : TitleButtons()) SetButtonBack(this, *b.button);
    if (!Record()) return;
    const CString title = ComposeTitle();
    DrawTitle(g, title);
    SetWindowText(title);
}

void CKivDlgChatBase::CreatePaneInFrame()
{
    CRect r;
    GetWindowRect(&r);
    m_rcClient = CRect(0, 0, r.Width(), r.Height());
    InitSize(r.Width(), r.Height());
    CreatePane(this, Pane(), m_rcMsgList);
}

void CKivDlgChatBase::OnOK()
{
    // Enter in the window sends what was typed.
    CDlgChatMsgListBase& pane = Pane();
    if (pane.m_hWnd) pane.OnOK();
}

BOOL CKivDlgChatBase::PreTranslateMessage(MSG* msg)
{
    RelayToolTip(m_tooltip, msg);
    return CDlgBase::PreTranslateMessage(msg);
}

void CKivDlgChatBase::OnSize(UINT type, int cx, int cy)
{
    CDlgBase::OnSize(type, cx, cy);
    PlacePane(this, Pane(), m_rcMsgList, cx, cy);
}

void CKivDlgChatBase::OnGetMinMaxInfo(MINMAXINFO* info)
{
    CDlgBase::OnGetMinMaxInfo(info);
    if (!info) return;
    info->ptMinTrackSize.x = kMinTrackWidth;
    info->ptMinTrackSize.y = kMinTrackHeight;
}

// ================================================================ CKivDlgChatUser

std::function<void(CDataUser*)> CKivDlgChatUser::s_startPeerTransfer;
std::function<int(CDataUser*, const CString&, int)> CKivDlgChatUser::s_peerAddressKnown;
std::function<bool(CWnd*, UINT, int, const CString&, int)> CKivDlgChatUser::s_pluginCommand;

IMPLEMENT_DYNAMIC(CKivDlgChatUser, CKivDlgChatBase)

BEGIN_MESSAGE_MAP(CKivDlgChatUser, CKivDlgChatBase)
    ON_COMMAND(kBtnSendFile, OnSendFile)
    ON_COMMAND(kBtnAddFriend, OnAddFriend)
    ON_COMMAND(kBtnInvite, OnInvite)
    ON_COMMAND(kBtnSms, OnSmsNotice)
    ON_COMMAND(kBtnBlackList, OnMoveToBlack)
END_MESSAGE_MAP()

CKivDlgChatUser::CKivDlgChatUser(CDataUser* user) : CKivDlgChatBase(IDD_DLG_CHAT_USER), m_pUser(user)
{
    m_dlgMsgList.m_pUser = user;
}

CKivDlgChatUser::~CKivDlgChatUser()
{
    if (m_dlgMsgList.m_hWnd) m_dlgMsgList.DestroyWindow();
}

void CKivDlgChatUser::ResetAutoReplies()
{
    ClearAutoReplies();
}

std::vector<CKivDlgChatBase::TitleButton> CKivDlgChatUser::TitleButtons()
{
    return {{&m_btnAddFriend, kBtnAddFriend, kPngAddFriend, "加为好友"},
            {&m_btnInvite, kBtnInvite, kPngInvite, "加入我的群"},
            {&m_btnSms, kBtnSms, kPngSms, "发送通知短信"},
            {&m_btnSendFile, kBtnSendFile, kPngSendFile, "传输文件"},
            {&m_btnBlackList, kBtnBlackList, kPngBlock, "加为黑名单"}};
}

CString CKivDlgChatUser::ComposeTitle() const
{
    if (!m_pUser) return CString();
    CString name = TrimmedName(m_pUser);
    if (name.IsEmpty()) name = IdText(m_pUser->m_nId);
    const int gid = m_pUser->m_nGroupId;
    if (gid == 1) name = "好友 " + name;
    else if (gid == 2) name = "陌生人 " + name;
    CString title = "与 " + name + " 聊天...";
    if (gid > 100) {
        CKivDlg* main = MainDlg();
        const CDataGroup* rec = main ? main->m_book.GroupOf(gid) : nullptr;
        const CString group = rec ? CKivGroupListCtrl::RowText(rec) : CString();
        if (!group.IsEmpty()) title = "在 " + group + " 群 " + title;
    }
    return title;
}

void CKivDlgChatUser::ForgetUser()
{
    m_pUser = nullptr;
    m_dlgMsgList.m_pUser = nullptr;
}

void CKivDlgChatUser::ShowUserMessage(CString text, CString time, const std::vector<CString>* pictures)
{
    if (!m_pUser) return;
    AddPendingPictures(m_pUser, pictures);

    CString head, rest;
    SplitHead(text, &head, &rest);
    // The time is the service's text: shown as text, never as markup.
    CString line;
    line.Format("%s%s<br/>%s:%s", head.GetString(), EscapeHtml(time).GetString(), SenderLabel(m_pUser).GetString(),
                rest.GetString());
    m_dlgMsgList.AppendHistoryLine(line);

    // The automatic reply while away: once per contact and away period, so
    // that two away clients stop after one reply each.
    CKivApp* app = GetKivApp();
    CKivDlg* main = MainDlg();
    if (!app || !main) return;
    if (main->m_nStatus != kStatusAway) {
        ClearAutoReplies();
        return;
    }
    if (app->m_strReplyText.IsEmpty() || app->GetSessionKey().empty()) return;
    if (!TakeAutoReply(app->GetOwnUserId(), m_pUser->m_nId)) return;
    SendToContact(m_pUser, app->m_strReplyText);
}

LRESULT CKivDlgChatUser::OnPeerAddress(WPARAM wParam, LPARAM lParam)
{
    const char* address = reinterpret_cast<const char*>(wParam);
    m_dlgMsgList.m_strPeerAddr = address ? address : "";
    m_dlgMsgList.m_nPeerPort = static_cast<int>(lParam);
    if (!m_pUser || !HasPendingPictures(m_pUser) || !s_peerAddressKnown) return 0;
    return s_peerAddressKnown(m_pUser, m_dlgMsgList.m_strPeerAddr, m_dlgMsgList.m_nPeerPort) ? 1 : 0;
}

LRESULT CKivDlgChatUser::OnNoticeText(WPARAM wParam, LPARAM)
{
    const char* text = reinterpret_cast<const char*>(wParam);
    if (!text) return 0;
    PictureArrived(m_pUser, text);
    m_dlgMsgList.ShowNoticeLine(text);
    return 0;
}

void CKivDlgChatUser::OnSendFile()
{
    if (!m_pUser) return;
    CFileDialog dlg(TRUE, nullptr, nullptr, OFN_FILEMUSTEXIST, "所有文件|*.*||", this);
    if (dlg.DoModal() != IDOK) return;
    const CString path = dlg.GetPathName();
    if (path.IsEmpty()) return;
    const CString fileName = dlg.GetFileName();

    CString fileId;
    CCommon::getFileName(&fileId, OwnId());
    CString progress;
    progress.Format("<div id='%s_out' style='width:300px;height:20px;background:#EEE;'><div id='%s_pro' "
                    "style='width:1px; height:20px;background:#B8E2F6;color:white;text-align:center;'></div></div>",
                    fileId.GetString(), fileId.GetString());
    CString line;
    line.Format("%s<br/>发送文件:%s,等待对方接收.%s", CTime::GetCurrentTime().Format("%Y-%m-%d %H:%M:%S").GetString(),
                EscapeHtml(fileName).GetString(), progress.GetString());
    m_dlgMsgList.AppendHistoryLine(line);

    // Escaped: a name holding "<" or "&" must not break the line's markup.
    const CString offer = PeerOfferMarkup(fileId, path);
    SendToContact(m_pUser, offer);
    // Only offered files are served to the contact, from a reachable port.
    PeerFileOffered(m_pUser->m_nId, m_pUser->m_nGroupId, fileId, path);
    UpdateWindow();
}

void CKivDlgChatUser::OnAddFriend()
{
    if (!m_pUser) return;
    if (m_pUser->m_nGroupId == 1) {
        AfxMessageBox("已经在好友列表中,不需要再加入", MB_OK);
        return;
    }
    RunPlugin(this, kBtnAddFriend, m_pUser->m_nId, TrimmedName(m_pUser), 0, "加载Sorvan.dll失败,未能实现添加好友功能");
}

void CKivDlgChatUser::OnInvite()
{
    if (!m_pUser) return;
    RunPlugin(this, kBtnInvite, m_pUser->m_nId, TrimmedName(m_pUser), 0, "加载Sorvan.dll失败,未能实现邀请功能");
}

void CKivDlgChatUser::OnSmsNotice()
{
    if (!m_pUser) return;
    SmsNotice(this, m_pUser->m_nId, TrimmedName(m_pUser), 1);
}

void CKivDlgChatUser::OnMoveToBlack()
{
    if (!m_pUser) return;
    const int id = m_pUser->m_nId;
    CString ask;
    ask.Format("您确认要把 %s(%d) 移至黑名单中吗?", (TrimmedName(m_pUser) + " ").GetString(), id);
    if (AfxMessageBox(ask, MB_OKCANCEL) != IDOK) return;
    AfxBeginThread(ThreadMoveUserToBlack, reinterpret_cast<LPVOID>(static_cast<intptr_t>(id)));
    CKivDlg* main = MainDlg();
    if (main) main->m_book.Block(id);
    SendMessage(WM_CLOSE, 0, 0);
    if (!main) return;
    // The friend list frees its record, which would destroy this window in
    // the middle of its own command: the record lets go of the window first,
    // and the window goes once the command is over.
    if (main->m_book.Friend(id) == m_pUser) {
        m_pUser->m_dlgChat = nullptr;
        ForgetUser();
        const HWND self = m_hWnd;
        lumui::QueueOnUiThread([self] {
            if (IsWindow(self)) ::DestroyWindow(self);
        });
    }
    main->m_listFriend.RemoveUser(id);
}

// ================================================================ CKivDlgChatGroup

IMPLEMENT_DYNAMIC(CKivDlgChatGroup, CKivDlgChatBase)

BEGIN_MESSAGE_MAP(CKivDlgChatGroup, CKivDlgChatBase)
    ON_COMMAND(kBtnBlockSms, OnBlockSmsMenu)
    ON_COMMAND(kBtnSms, OnSmsNotice)
    ON_COMMAND(kBtnGroupType, OnGroupTypeMenu)
    ON_COMMAND_RANGE(IDM_BLOCK_1_DAY, IDM_BLOCK_7_DAYS, OnBlockSms)
    ON_COMMAND(IDM_CLASS_GROUP, OnClassGroup)
    ON_COMMAND(IDM_BROADCAST_GROUP, OnBroadcastGroup)
    ON_COMMAND(IDM_INTERACTIVE_GROUP, OnInteractiveGroup)
END_MESSAGE_MAP()

CKivDlgChatGroup::CKivDlgChatGroup(CDataGroup* group) : CKivDlgChatBase(IDD_DLG_CHAT_GROUP), m_pGroup(group)
{
    m_dlgMsgList.m_pGroup = group;
}

// With the window go its object, its member list and the member records
// that list holds (and their chat windows).
CKivDlgChatGroup::~CKivDlgChatGroup()
{
    if (m_dlgMsgList.m_hWnd) m_dlgMsgList.DestroyWindow();
}

std::vector<CKivDlgChatBase::TitleButton> CKivDlgChatGroup::TitleButtons()
{
    return {{&m_btnBlockSms, kBtnBlockSms, kPngBlock, "屏蔽短信发送"},
            {&m_btnSms, kBtnSms, kPngSms, "发送通知短信"},
            {&m_btnGroupType, kBtnGroupType, kPngGroupType, "切换群类型"}};
}

CString CKivDlgChatGroup::ComposeTitle() const
{
    if (!m_pGroup) return CString();
    CString name = TrimmedName(m_pGroup);
    if (name.IsEmpty()) name = IdText(m_pGroup->m_nId);
    return "在群组 " + name + " 中聊天...";
}

void CKivDlgChatGroup::ShowGroupMessage(int senderId, CString text, CString time, const std::vector<CString>* pictures)
{
    if (!m_pGroup) return;
    // The time is the service's text: shown as text, never as markup.
    time = EscapeHtml(time);
    CString line;
    if (senderId > 0) {
        auto it = m_pGroup->m_mapMembers.find(senderId);
        // Only members speak in a group.
        if (it == m_pGroup->m_mapMembers.end() || !it->second) return;
        CDataUser* member = it->second;
        AddPendingPictures(member, pictures);
        CString head, rest;
        SplitHead(text, &head, &rest);
        line.Format("%s%s<br/>%s:%s", head.GetString(), time.GetString(), SenderLabel(member).GetString(),
                    rest.GetString());
    } else {
        line.Format("%s<br/>系统消息:%s", time.GetString(), text.GetString());
    }
    m_dlgMsgList.AppendHistoryLine(line);
}

namespace {

// Whether a member list's copy shows something other than the member record.
bool MemberChanged(const CDataUser* shown, const CDataUser* member)
{
    return NameOf(shown) != NameOf(member) ||
           CString(static_cast<const char*>(shown->m_bstrSign)) != CString(static_cast<const char*>(member->m_bstrSign)) ||
           shown->m_strRemark != member->m_strRemark || shown->m_nStatus != member->m_nStatus ||
           shown->m_nMemberRole != member->m_nMemberRole || (member->m_imgHead && !shown->m_imgHead);
}

}  // namespace

void CKivDlgChatGroup::RefreshMembers()
{
    if (!m_pGroup) return;
    CKivGroupUsersListCtrl& list = m_dlgMsgList.m_listMembers;
    // The list keeps its copy of every member who stays, with the copy's
    // chat window and head: only what changed is copied again, so nothing
    // that is there is fetched again. Members who left go; their one-to-one
    // windows stay open and forget them. Members who came are added.
    bool changed = false;
    std::vector<int> gone;
    for (const auto& entry : list.m_mapUsers)
        if (!m_pGroup->m_mapMembers.count(entry.first)) gone.push_back(entry.first);
    for (int id : gone) {
        CDataUser* rec = list.m_mapUsers[id];
        if (rec && rec->m_dlgChat) {
            if (rec->m_dlgChat->IsKindOf(RUNTIME_CLASS(CKivDlgChatUser)))
                static_cast<CKivDlgChatUser*>(rec->m_dlgChat)->ForgetUser();
            rec->m_dlgChat = nullptr;
        }
        list.DropUser(id);
        changed = true;
    }
    for (const auto& entry : m_pGroup->m_mapMembers) {
        if (!entry.second) continue;
        auto it = list.m_mapUsers.find(entry.first);
        if (it != list.m_mapUsers.end() && !MemberChanged(it->second, entry.second)) continue;
        list.AddUser(entry.second, 0);
        changed = true;
    }
    if (changed && list.m_hWnd) list.SendMessage(WM_SIZE, 0, 0);
}

void CKivDlgChatGroup::SetOwnCard(CString card)
{
    CKivGroupUsersListCtrl& list = m_dlgMsgList.m_listMembers;
    auto* own = static_cast<CDataUser*>(list.GetUser(OwnId()));
    if (!own) return;
    own->m_strRemark = card;
    // The group's own member record keeps it for the next refill.
    if (m_pGroup) {
        auto member = m_pGroup->m_mapMembers.find(OwnId());
        if (member != m_pGroup->m_mapMembers.end() && member->second) member->second->m_strRemark = card;
    }
    if (list.m_hWnd) list.SendMessage(WM_SIZE, 0, 0);
}

LRESULT CKivDlgChatGroup::OnPeerAddress(WPARAM wParam, LPARAM lParam)
{
    const auto* peer = reinterpret_cast<const ChatPeerAddress*>(wParam);
    if (!peer || !m_pGroup) return 0;
    CString address;
    address.Format("%u.%u.%u.%u", (peer->ipv4 >> 24) & 0xFF, (peer->ipv4 >> 16) & 0xFF, (peer->ipv4 >> 8) & 0xFF,
                   peer->ipv4 & 0xFF);
    auto it = m_pGroup->m_mapMembers.find(static_cast<int>(lParam));
    if (it == m_pGroup->m_mapMembers.end() || !it->second ||
        !CKivDlgChatUser::s_peerAddressKnown)
        return 0;
    return CKivDlgChatUser::s_peerAddressKnown(it->second, address, peer->port) ? 1 : 0;
}

LRESULT CKivDlgChatGroup::OnNoticeText(WPARAM wParam, LPARAM)
{
    const char* text = reinterpret_cast<const char*>(wParam);
    if (!text) return 0;
    if (m_pGroup)
        for (auto& member : m_pGroup->m_mapMembers) PictureArrived(member.second, text);
    m_dlgMsgList.ShowNoticeLine(text);
    return 0;
}

void CKivDlgChatGroup::OnBlockSmsMenu()
{
    CWndMenu menu;
    menu.ShowAddBlacklist(this, AfxGetInstanceHandle());
}

void CKivDlgChatGroup::OnBlockSms(UINT command)
{
    // The blocking menu of the window works as the group list's does.
    if (m_pGroup) CKivGroupListCtrl::BlockGroupSms(m_pGroup, command);
}

void CKivDlgChatGroup::OnSmsNotice()
{
    if (!m_pGroup) return;
    SmsNotice(this, m_pGroup->m_nId, TrimmedName(m_pGroup), 0);
}

void CKivDlgChatGroup::OnGroupTypeMenu()
{
    if (!m_pGroup) return;
    UINT checked = IDM_INTERACTIVE_GROUP;
    if (m_pGroup->m_nStyle == kStyleClass) checked = IDM_CLASS_GROUP;
    else if (m_pGroup->m_nStyle == kStyleBroadcast) checked = IDM_BROADCAST_GROUP;
    CWndMenu menu;
    menu.ShowChangeGroupStyle(this, AfxGetInstanceHandle(), checked);
}

namespace {

// The style changes here at once; the worker reports a refusal itself.
void ChangeStyle(CDataGroup* group, int style)
{
    group->m_nStyle = style;
    auto* block = new GroupStyleBlock;
    block->groupID = group->m_nId;
    block->style = static_cast<short>(style);
    if (!AfxBeginThread(ThreadEditGroupStyle, block)) delete block;
}

}  // namespace

void CKivDlgChatGroup::OnClassGroup()
{
    if (!m_pGroup) return;
    if (m_pGroup->m_strClass != "Orvane") {
        AfxMessageBox("普通群不能切换为班级群!", MB_OK);
        return;
    }
    ChangeStyle(m_pGroup, kStyleClass);
}

void CKivDlgChatGroup::OnBroadcastGroup()
{
    if (m_pGroup) ChangeStyle(m_pGroup, kStyleBroadcast);
}

void CKivDlgChatGroup::OnInteractiveGroup()
{
    if (m_pGroup) ChangeStyle(m_pGroup, kStyleInteractive);
}
