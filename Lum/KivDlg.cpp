#include "Lum/KivDlg.h"

#include "base/MenuCommands.h"
#include "Common/Common.h"
#include "Common/controls/GdiPlusBitmap.h"
#include "Lum/KivApp.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/KivMessages.h"
#include "Lum/transfer/PeerTransfer.h"
#include "Lum/KivDlgSettings.h"
#include "Lum/contacts/KivSearchList.h"
#include "Lum/modules/KivVistelHooks.h"
#include "Lum/modules/KivClanorHooks.h"
#include "Lum/modules/KivSorvanHooks.h"
#include "Lum/import/DlgGroupUserAdd.h"
#include "Lum/LumResource.h"
#include "Lum/chat/MessageBody.h"
#include "Lum/modules/PluginModule.h"
#include "Lum/session/Workers.h"
#include "base/WndMenu.h"
#include "platform/codepage.h"
#include "platform/config.h"
#include "platform/dhtml.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/threads.h"
#include "platform/uiapp.h"
#include "platform/windc.h"
#include "Lum/ConfabelExports.h"
#include "plugins/Adhor/AdhorExports.h"
#include "plugins/Bellwick/BellwickExports.h"
#include "plugins/Mievo/MievoExports.h"
#include "plugins/Parlet/ParletExports.h"
#include "plugins/Prefor/PreforExports.h"
#include "plugins/Quillon/QuillonExports.h"
#include "plugins/Sorvan/SorvanExports.h"

#include <chrono>
#include <cstdlib>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>

namespace {

// The longest stretch a long reply is taken over in before the loop turns.
const auto kReplySlice = std::chrono::milliseconds(8);

}  // namespace

namespace {

const UINT kTimerMain = 2023;
const UINT kTrayId = 2023;
const int kHotKeyReadMsg = 2022;

std::wstring Wide(const char* text)
{
    return MultiByteToWide(CP_ACP, text ? text : "");
}

// A copy of a PNG resource of the client's module (null when missing).
Gdiplus::Bitmap* LoadPng(UINT id)
{
    return CopyPngResource(id, AfxGetInstanceHandle());
}

void DrawText(Gdiplus::Graphics* g, const char* text, Gdiplus::Font* font, Gdiplus::Brush* brush, int x, int y)
{
    if (!g || !font || !brush) return;
    const std::wstring wide = Wide(text);
    g->DrawString(wide.c_str(), static_cast<Gdiplus::INT>(wide.size()), font,
                  Gdiplus::PointF(static_cast<Gdiplus::REAL>(x), static_cast<Gdiplus::REAL>(y)), brush);
}

}  // namespace

// ================================================================ CKivDlg

IMPLEMENT_DYNAMIC(CKivDlg, CDlgBase)

BEGIN_MESSAGE_MAP(CKivDlg, CDlgBase)
    ON_WM_QUERYDRAGICON()
    ON_WM_CTLCOLOR()
    ON_MESSAGE(UM_LOGIN_RESULT, OnLoginResult)
    ON_MESSAGE(UM_FRIEND_LIST, OnFriendList)
    ON_MESSAGE(UM_GROUP_LIST, OnGroupList)
    ON_MESSAGE(UM_USER_INFO, OnUserInfo)
    ON_MESSAGE(UM_ID_LIST, OnIdList)
    ON_MESSAGE(UM_USER_HEAD_LOADED, OnUserHeadLoaded)
    ON_MESSAGE(UM_TOPIC_TEXT, OnTopicText)
    ON_MESSAGE(UM_GROUP_HEAD_LOADED, OnGroupHeadLoaded)
    ON_MESSAGE(UM_TRAY_NOTIFY, OnTrayNotify)
    ON_MESSAGE(UM_CONTACT_STATUS, OnContactStatus)
    ON_MESSAGE(UM_GROUP_MEMBER_REMOVED, OnGroupMemberRemoved)
    ON_MESSAGE(UM_GROUP_DELETED, OnGroupDeleted)
    ON_MESSAGE(UM_GROUP_MEMBER_JOINED, OnGroupMemberJoined)
    ON_MESSAGE(UM_GROUP_ADDED, OnGroupAdded)
    ON_MESSAGE(UM_FRIEND_REQUEST, OnFriendRequest)
    ON_MESSAGE(UM_ADD_CONTACT, OnAddContact)
    ON_MESSAGE(UM_GROUP_CREATED, OnGroupCreated)
    ON_MESSAGE(UM_USER_MESSAGE, OnUserMessage)
    ON_MESSAGE(UM_GROUP_MESSAGE, OnGroupMessage)
    ON_MESSAGE(UM_OPEN_CHAT, OnOpenChat)
    ON_MESSAGE(UM_SEARCH_REQUEST, OnSearchRequest)
    ON_MESSAGE(UM_SEARCH_FOCUS, OnSearchFocus)
    ON_MESSAGE(UM_SETTINGS_CHANGED, OnSettingsChanged)
    ON_MESSAGE(UM_OWN_INFO_CHANGED, OnOwnInfoChanged)
    ON_MESSAGE(UM_OWN_HEAD_CHANGED, OnOwnInfoChanged)
    ON_MESSAGE(UM_SKIN_CHANGE, OnSkinChange)
    ON_MESSAGE(UM_PEER_HOLE, OnPeerHole)
    ON_MESSAGE(UM_PEER_ADDRESS, OnPeerAddress)
    ON_MESSAGE(UM_FILE_PROGRESS, OnFileProgress)
    ON_MESSAGE(UM_PEER_NOTICE, OnPeerNotice)
    ON_MESSAGE(UM_BLACKLIST_REMOVED, OnBlackListRemoved)
    ON_BN_CLICKED(IDC_BTN_MAIN_MENU, OnBnClickedMainMenu)
    ON_BN_CLICKED(IDC_BTN_SEARCH, OnBnClickedSearch)
    ON_BN_CLICKED(IDC_BTN_TAB_GROUPS, OnBnClickedTabGroups)
    ON_BN_CLICKED(IDC_BTN_TAB_FRIENDS, OnBnClickedTabFriends)
    ON_BN_CLICKED(IDC_BTN_TAB_STRANGERS, OnBnClickedTabStrangers)
    ON_WM_GETMINMAXINFO()
    ON_WM_TIMER()
    ON_WM_HOTKEY()
    ON_BN_CLICKED(IDC_BTN_MESSAGES, OnBnClickedMessages)
    ON_BN_CLICKED(IDC_BTN_SMS, OnBnClickedSms)
    ON_BN_CLICKED(IDC_BTN_HISTORY, OnBnClickedHistory)
    ON_BN_CLICKED(IDC_BTN_SETTINGS, OnBnClickedSettings)
    ON_BN_CLICKED(IDC_BTN_STATUS, OnBnClickedStatus)
    ON_COMMAND(IDM_ONLINE, OnMenuOnline)
    ON_COMMAND(IDM_AWAY, OnMenuAway)
    ON_COMMAND(IDM_OFFLINE, OnMenuOffline)
    ON_COMMAND(IDM_SETTINGS, OnMenuSettings)
    ON_COMMAND(IDM_CREATE_GROUP, OnMenuCreateGroup)
    ON_COMMAND(IDM_EXIT, OnMenuExit)
    ON_COMMAND(IDM_LOGOUT, OnMenuLogout)
    ON_COMMAND(IDM_HELP, OnMenuHelp)
    ON_COMMAND(IDM_MESSAGE_MANAGER, OnMenuMessageManager)
    ON_COMMAND(IDM_SMS_NOTICE, OnMenuSmsNotice)
    ON_COMMAND(IDM_PROFILE, OnMenuProfile)
    ON_COMMAND(IDM_ADD_FRIEND, OnMenuAddFriend)
    ON_COMMAND(IDM_FIND_GROUP, OnMenuFindGroup)
    ON_COMMAND(IDM_CREATE_DISCUSSION, OnMenuCreateDiscussion)
    ON_COMMAND(IDM_SKIN, OnMenuSkin)
    ON_COMMAND(IDM_CHANGE_PASSWORD, OnMenuChangePassword)
    ON_COMMAND(IDM_SHOW_BLACK_LIST, OnMenuBlackList)
    ON_BN_CLICKED(IDC_BTN_SKIN, OnBnClickedSkin)
    ON_EN_SETFOCUS(IDC_EDIT_SEARCH, OnSearchSetFocus)
    ON_WM_SIZE()
END_MESSAGE_MAP()

CKivDlg::CKivDlg(CWnd* parent) : CDlgBase(IDD_KIV_DIALOG, parent)
{
    RegisterLumDialogTemplates();
    m_dlgLogin.m_pSysDb = &m_dbSys;
    m_dlgLogin.m_pLogining = &m_dlgLogining;
    m_dlgLogining.m_pMain = this;
    m_dlgLogining.m_pLogin = &m_dlgLogin;
    m_listFriend.m_nListId = 1;
    m_listStranger.m_nListId = 2;
    m_book.SetShelves(&m_listFriend.m_mapUsers, &m_listStranger.m_mapUsers, &m_listGroup.m_mapGroups);
    for (CKivUsersListCtrl* list : {&m_listFriend, &m_listStranger}) {
        list->m_pUserStore = &m_dbUser;
        list->m_pStackNewMsg = &m_stackNewMsg;
        list->m_pBook = &m_book;
        list->m_pRouter = &m_router;
    }
    m_listGroup.m_pUserStore = &m_dbUser;
    m_listGroup.m_pStackNewMsg = &m_stackNewMsg;
    m_listGroup.m_pBook = &m_book;
    m_listGroup.m_pRouter = &m_router;
    m_nHeadListener =
        lumheads::AddHeadListener([this](const std::vector<const lumheads::Head*>& batch) { OnHeadsArrived(batch); });
}

CKivDlg::~CKivDlg()
{
    m_pAlive.reset();
    if (m_hWnd) DestroyWindow();
    // Head transfers end here without waiting for the web server; the heads
    // that had arrived still reach the records and the stores, which are open
    // until the members go.
    lumheads::StopHeadLoader();
    lumheads::RemoveHeadListener(m_nHeadListener);
    delete m_pHeadImage;
    delete m_pFont;
    delete m_pFontBold;
    delete m_pBrushWhite;
    // The transfer's listener sees the stop event; every other transfer
    // thread is woken and waited for before the event goes.
    if (m_hStopEvent) SetEvent(m_hStopEvent);
    PeerTransferStop();
    if (m_hStopEvent) CloseHandle(m_hStopEvent);
    for (HICON icon : {m_hIcon, m_hIconGroup, m_hIconUser, m_hIconScratch, m_hIconOffline})
        if (icon) DestroyIcon(icon);
}

void CKivDlg::DoDataExchange(CDataExchange* dx)
{
    CDlgBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_BTN_STATUS, m_btnStatus);
    DDX_Control(dx, IDC_BTN_MAIN_MENU, m_btnMainMenu);
    DDX_Control(dx, IDC_BTN_MESSAGES, m_btnMessages);
    DDX_Control(dx, IDC_BTN_SMS, m_btnSms);
    DDX_Control(dx, IDC_BTN_SETTINGS, m_btnSettings);
    DDX_Control(dx, IDC_BTN_HISTORY, m_btnHistory);
    DDX_Control(dx, IDC_BTN_SKIN, m_btnSkin);
    DDX_Control(dx, IDC_BTN_SEARCH, m_btnSearch);
    DDX_Control(dx, IDC_BTN_TAB_GROUPS, m_btnTabGroups);
    DDX_Control(dx, IDC_BTN_TAB_FRIENDS, m_btnTabFriends);
    DDX_Control(dx, IDC_BTN_TAB_STRANGERS, m_btnTabStrangers);
    DDX_Control(dx, IDC_EDIT_SEARCH, m_editSearch);
    DDX_Control(dx, IDC_LINK_TOPIC, m_linkTopic);
    DDX_Control(dx, IDC_LIST_GROUPS, m_listGroup);
    DDX_Control(dx, IDC_LIST_FRIENDS, m_listFriend);
    DDX_Control(dx, IDC_LIST_STRANGERS, m_listStranger);
}

void CKivDlg::SetButtonImage(CCustomPngButton& button, UINT id)
{
    CResourceScope scope(AfxGetInstanceHandle());
    button.SetButtonImage(id);
}

HICON CKivDlg::LoadMainIcon(UINT id)
{
    CGdiPlusBitmapResource image(id, RT_ICON, AfxGetInstanceHandle());
    if (!image.m_pBitmap) return nullptr;
    ICONINFO info;
    image.m_pBitmap->GetHBITMAP(Gdiplus::Color(0), &info.hbmColor);
    HICON icon = CreateIconIndirect(&info);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    return icon;
}

BOOL CKivDlg::OnInitDialog()
{
    CKivApp* app = GetKivApp();
    CResourceScope scope(AfxGetInstanceHandle());

    // 1. The system store and the log folder.
    m_dbSys.Connect();
    TellSetAside(m_dbSys, "设置");
    if (app) app->m_log.CreateLogFolder();

    // 2. The own head image while logged out.
    delete m_pHeadImage;
    m_pHeadImage = LoadPng(IDB_PNG_HEAD_DEFAULT);

    // 3. The frame; the window icons.
    CDlgBase::OnInitDialog();
    m_hIcon = LoadMainIcon(IDI_MAIN);
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    // 4. No task-bar button; the skin is a colour; online.
    ModifyStyleEx(0, WS_EX_TOOLWINDOW);
    CDlgBase::m_IsAppBgColor = 1;
    m_nStatus = 1;

    // 5. Transparent until a login succeeds.
    m_layered.AddLayeredStyle(m_hWnd);
    m_layered.SetTransparentPercentage(m_hWnd, 0);

    // 6. The login window, shown, and the progress window, hidden.
    m_dlgLogin.Create(IDD_DLG_LOGIN, this);
    m_dlgLogin.ShowWindow(SW_SHOW);
    m_dlgLogining.Create(IDD_DLG_LOGINING, this);
    m_dlgLogining.ShowWindow(SW_HIDE);

    // 7. Button pictures.
    m_btnStatus.SetButtonImage(IDB_PNG_STATUS_ONLINE);
    m_btnMainMenu.SetButtonImage(IDB_PNG_MENU_MAIN);
    m_btnMessages.SetButtonImage(IDB_PNG_TOOL_MESSAGES);
    m_btnSms.SetButtonImage(IDB_PNG_TOOL_SMS);
    m_btnHistory.SetButtonImage(IDB_PNG_TOOL_HISTORY);
    m_btnSkin.SetButtonImage(IDB_PNG_TOOL_SKIN);
    m_btnSearch.SetButtonImage(IDB_PNG_SEARCH);
    m_btnTabGroups.SetButtonImage(IDB_PNG_TAB_GROUPS);
    m_btnTabFriends.SetButtonImage(IDB_PNG_TAB_FRIENDS);
    m_btnTabStrangers.SetButtonImage(IDB_PNG_TAB_STRANGERS);
    const COLORREF back = RGB(255, 255, 255);
    for (CCustomPngButton* button : {&m_btnSearch, &m_btnTabGroups, &m_btnTabFriends, &m_btnTabStrangers})
        button->SetButtonBackColor(back);
    m_btnSettings.ShowWindow(SW_HIDE);

    // 8. Tool tips.
    EnableToolTips(TRUE);
    if (m_tooltip.Create(this)) {
        m_tooltip.AddTool(&m_btnMessages, "消息中心");
        m_tooltip.AddTool(&m_btnSms, "通知短信");
        m_tooltip.AddTool(&m_btnHistory, "消息管理器");
        m_tooltip.AddTool(&m_btnSkin, "皮肤管理器");
        m_tooltip.AddTool(&m_btnTabGroups, "我的群");
        m_tooltip.AddTool(&m_btnTabFriends, "我的好友");
        m_tooltip.AddTool(&m_btnTabStrangers, "陌生人");
    }

    // 9. The lists (rows of 52 pixels).
    for (CListCtrlEx* list : {static_cast<CListCtrlEx*>(&m_listGroup), static_cast<CListCtrlEx*>(&m_listFriend),
                              static_cast<CListCtrlEx*>(&m_listStranger)}) {
        list->SetRowHeight(52);
        list->m_clrBack = 0xFFFFFFFF;
        list->m_clrHover = 0xFFCFF5FF;
        list->m_clrSelect = 0xFFFFEFB1;
    }
    m_listFriend.m_bIsMaster = 0;
    m_listStranger.m_bIsMaster = 0;

    // 10. The history plug-in (no box when it is missing: its commands try
    // again); the slot is empty.
    if (!m_hQuillon) m_hQuillon = LoadPluginModule("Quillon.dll", nullptr);
    m_hPlugin = nullptr;

    // 11. GDI+ brush and fonts.
    m_pBrushWhite = new Gdiplus::SolidBrush(Gdiplus::Color(0xFFFFFFFF));
    Gdiplus::FontFamily family(L"宋体");
    m_pFont = new Gdiplus::Font(&family, 12, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    m_pFontBold = new Gdiplus::Font(&family, 12, Gdiplus::FontStyleBold, Gdiplus::UnitPixel);

    // 12. The search box.
    m_fontSearch.CreatePointFont(80, "Arial");
    m_editSearch.SetFont(&m_fontSearch);
    m_editSearch.SetWindowText("  快速查找好友或群");

    // 13. Icons; the lists' default heads make the user and group icons.
    m_hIconGroup = LoadMainIcon(IDI_MAIN);
    m_hIconUser = LoadMainIcon(IDI_MAIN);
    m_hIconScratch = LoadMainIcon(IDI_MAIN);
    m_hIconOffline = LoadMainIcon(IDI_OFFLINE);
    auto iconFrom = [](Gdiplus::Bitmap* image, HICON& icon) {
        HICON made = icon;
        if (image && CCommon::ConvertBitmapToHICON(image, &made) && made != icon) {
            DestroyIcon(icon);
            icon = made;
        }
    };
    iconFrom(m_listFriend.m_pDefaultHead, m_hIconUser);
    iconFrom(m_listGroup.m_pDefaultHead, m_hIconGroup);

    // 14. The tray icon; the timer runs from now.
    m_nid = NOTIFYICONDATA();
    m_nid.hWnd = m_hWnd;
    m_nid.uID = kTrayId;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.uCallbackMessage = UM_TRAY_NOTIFY;
    m_nid.hIcon = m_hIcon;
    snprintf(m_nid.szTip, sizeof m_nid.szTip, "%s", "Orvane");
    Shell_NotifyIcon(NIM_ADD, &m_nid);
    SetTimer(kTimerMain, 400, nullptr);
    m_nTick = 0;

    // 15. The transfer's stop event.
    if (!m_hStopEvent) m_hStopEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    PeerTransferStart(m_hStopEvent);

    // 16. The group tab.
    SelectTab(IDC_BTN_TAB_GROUPS);

    // 17. Automatic login.
    const CString autoLogin = m_dbSys.GetSysSet(0, "Basic_AutoLogin");
    if (!autoLogin.IsEmpty()) m_dlgLogin.AutoLogin(atoi(autoLogin));

    // 18. The lists' head downloads; the topic line.
    if (!CKivUsersListCtrl::s_loadHead) CKivUsersListCtrl::s_loadHead = StartUserHeadDownload;
    if (!CKivUsersListCtrl::s_createChat) CKivUsersListCtrl::s_createChat = CreateUserChatWindow;
    if (!CKivUsersListCtrl::s_sendFile)
        CKivUsersListCtrl::s_sendFile = [](CWnd* chat) {
            if (chat && chat->m_hWnd) chat->SendMessage(WM_COMMAND, 1024, 0);
        };
    if (!CKivGroupListCtrl::s_loadHead) CKivGroupListCtrl::s_loadHead = StartGroupHeadDownload;
    if (!CKivGroupListCtrl::s_storeGroup) CKivGroupListCtrl::s_storeGroup = StartGroupStoreWrite;
    InstallPluginHooks();
    AfxBeginThread(ThreadLoadTopic, nullptr);

    // 19. The frame at the window's size.
    CRect r;
    GetWindowRect(&r);
    InitSize(r.Width(), r.Height());

    // 20. The web engine starts while the login window waits for the user,
    // so that no chat window or feature page waits for it later.
    lumui::StartWebEngineSoon();
    return TRUE;
}

void CKivDlg::DrawOwnerInBackgroud(Gdiplus::Graphics* g)
{
    if (!g || !m_btnStatus.m_hWnd || !m_pBgBitmap) return;
    const int w = m_rcClient.right - m_rcClient.left;
    const int h = m_rcClient.bottom - m_rcClient.top;
    auto size = [](CWnd& wnd) {
        CRect r;
        wnd.GetWindowRect(&r);
        return CSize(r.Width(), r.Height());
    };
    auto place = [this](CCustomPngButton& button, int x, int y) {
        button.SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        button.SetButtonBackImage(m_pBgBitmap, x, y);
    };
    auto backAt = [this](CCustomPngButton& button) {
        CRect r;
        button.GetWindowRect(&r);
        ScreenToClient(&r);
        button.SetButtonBackImage(m_pBgBitmap, r.left, r.top);
    };

    // 1. The status button.
    m_btnStatus.SetButtonBackImage(m_pBgBitmap, 53, 26);

    // 2. The tool bar.
    Gdiplus::SolidBrush bar(Gdiplus::Color(0x1E000000));
    g->FillRectangle(&bar, 0, 74, w, 26);
    backAt(m_btnMessages);
    backAt(m_btnSms);
    backAt(m_btnHistory);
    place(m_btnSkin, w - size(m_btnSkin).cx - 5, 74);

    // 3. The band behind the tabs.
    {
        Gdiplus::Rect band(2, 130, w - 5, 28);
        Gdiplus::LinearGradientBrush brush(band, Gdiplus::Color(0xFFFFFFFF), Gdiplus::Color(0x80FFFFFF),
                                           Gdiplus::LinearGradientModeVertical);
        g->FillRectangle(&brush, band);
    }
    backAt(m_btnTabGroups);
    backAt(m_btnTabFriends);
    backAt(m_btnTabStrangers);

    // 4. The band above the bottom.
    {
        Gdiplus::Rect band(0, h - 50, w, 30);
        Gdiplus::LinearGradientBrush brush(band, Gdiplus::Color(0x80FFFFFF), Gdiplus::Color(0x00FFFFFF),
                                           Gdiplus::LinearGradientModeVertical);
        g->FillRectangle(&brush, band);
    }

    // 5. The own head.
    if (m_pHeadImage) {
        g->DrawImage(m_pHeadImage, 6, 25);
    } else {
        CGdiPlusBitmapResource head(IDB_PNG_HEAD_40, "PNG", AfxGetInstanceHandle());
        if (head.m_pBitmap) g->DrawImage(head.m_pBitmap, 6, 25);
    }

    // 6. The main-menu button, and the topic link beside it.
    const CSize menu = size(m_btnMainMenu);
    place(m_btnMainMenu, 2, h - menu.cy - 4);
    if (m_linkTopic.m_hWnd) {
        const int left = 2 + menu.cx + 6;
        m_linkTopic.MoveWindow(left, h - menu.cy / 2 - 12, w - left - 5, 16);
    }

    // 7. Texts.
    CKivApp* app = GetKivApp();
    DrawText(g, "Orvane", m_pFont, m_pBrushWhite, 5, 7);
    if (app) {
        DrawText(g, app->m_userSelf.m_bstrName, m_pFontBold, m_pBrushWhite, 90, 33);
        DrawText(g, app->m_userSelf.m_bstrSign, m_pFont, m_pBrushWhite, 54, 52);
    }

    // 8. The lists.
    for (CListCtrl* list : {static_cast<CListCtrl*>(&m_listGroup), static_cast<CListCtrl*>(&m_listFriend),
                            static_cast<CListCtrl*>(&m_listStranger)})
        list->MoveWindow(2, 158, w - 5, h - menu.cy - 162);

    // 9. The search button and box.
    const CSize search = size(m_btnSearch);
    place(m_btnSearch, w - search.cx - 5, 102);
    m_nSearchWidth = w - search.cx - 17;
    Gdiplus::SolidBrush white(Gdiplus::Color(0xFFFFFFFF));
    g->FillRectangle(&white, 10, 105, m_nSearchWidth, 6);
    m_editSearch.MoveWindow(10, 108, m_nSearchWidth, 17);
}

void CKivDlg::SelectTab(UINT id)
{
    struct Tab {
        UINT id;
        CCustomPngButton* button;
        CListCtrl* list;
    };
    const Tab tabs[] = {{IDC_BTN_TAB_FRIENDS, &m_btnTabFriends, &m_listFriend},
                        {IDC_BTN_TAB_GROUPS, &m_btnTabGroups, &m_listGroup},
                        {IDC_BTN_TAB_STRANGERS, &m_btnTabStrangers, &m_listStranger}};
    for (const Tab& tab : tabs) {
        const bool selected = tab.id == id;
        tab.list->ShowWindow(selected ? SW_SHOW : SW_HIDE);
        tab.button->SetIsClick(selected ? 1 : 0);
        if (!selected) tab.button->SendMessage(WM_MOUSELEAVE, 0, 0);
        tab.button->Invalidate();
    }
}

void CKivDlg::OnBnClickedTabGroups()
{
    SelectTab(IDC_BTN_TAB_GROUPS);
}

void CKivDlg::OnBnClickedTabFriends()
{
    SelectTab(IDC_BTN_TAB_FRIENDS);
}

void CKivDlg::OnBnClickedTabStrangers()
{
    SelectTab(IDC_BTN_TAB_STRANGERS);
}

void CKivDlg::SetStatusImage(int status)
{
    const UINT image = status == 1 ? IDB_PNG_STATUS_ONLINE : status == 2 ? IDB_PNG_STATUS_AWAY : IDB_PNG_STATUS_OFFLINE;
    SetButtonImage(m_btnStatus, image);
    m_btnStatus.Invalidate();
}

void CKivDlg::ReloadOwnHead()
{
    CKivApp* app = GetKivApp();
    delete m_pHeadImage;
    m_pHeadImage = nullptr;
    if (app && app->m_userSelf.m_imgHead) {
        m_pHeadImage = new Gdiplus::Bitmap(40, 40, Gdiplus::PixelFormat32bppARGB);
        Gdiplus::Graphics g(m_pHeadImage);
        g.DrawImage(app->m_userSelf.m_imgHead, 0, 0, 40, 40);
    } else {
        m_pHeadImage = LoadPng(IDB_PNG_HEAD_DEFAULT);
    }
}

void CKivDlg::ConnectUserStores(int userId)
{
    if (m_nStoreUserId != userId) {
        // The files of the earlier user are closed; every pointer to the
        // stores stays valid.
        m_dbUser.Close();
        m_dbMsg.Close();
    }
    m_nStoreUserId = userId;
    m_dbUser.Connect(userId);
    m_dbMsg.Connect(userId);
    TellSetAside(m_dbUser, "联系人");
    TellSetAside(m_dbMsg, "消息记录");
}

void CKivDlg::TellSetAside(const CFileDB& store, const char* what)
{
    const CString kept = store.SetAsidePath();
    if (kept.IsEmpty()) return;
    CString text;
    text.Format("本地%s文件已损坏，已改名为 %s 保留，并已新建。", what, kept.GetString());
    // Told once the current step (start-up, login) has finished.
    lumui::QueueOnUiThread([text] { AfxMessageBox(text, MB_OK); });
}

// ---------------------------------------------------------------- own status

void CKivDlg::GoOnline()
{
    if (m_nStatus == 1) return;
    CKivDlgChatUser::ResetAutoReplies();
    const int previous = m_nStatus;
    m_nStatus = 1;
    SetStatusImage(1);
    if (previous == 2) return;
    SetTrayIcon(m_hIcon);
    CRect r;
    GetWindowRect(&r);
    m_dlgLogining.MoveWindow(r.left, r.top, r.Width(), r.Height());
    if (!m_dlgLogining.m_strAccount.IsEmpty() && !m_dlgLogining.m_strPassword.IsEmpty())
        m_dlgLogining.ShowWindow(SW_SHOW);
    m_dlgLogining.ReLogin(1);
    // The default head in colour until the login brings the own one again.
    delete m_pHeadImage;
    m_pHeadImage = LoadPng(IDB_PNG_HEAD_DEFAULT);
    PostMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.Width(), r.Height()));
}

void CKivDlg::GoAway()
{
    if (m_nStatus == 2) return;
    // A new away period answers every contact once again.
    CKivDlgChatUser::ResetAutoReplies();
    if (m_nStatus == 3) {
        CRect r;
        GetWindowRect(&r);
        m_dlgLogining.MoveWindow(r.left, r.top, r.Width(), r.Height());
        if (!m_dlgLogining.m_strAccount.IsEmpty() && !m_dlgLogining.m_strPassword.IsEmpty())
            m_dlgLogining.ShowWindow(SW_SHOW);
        m_dlgLogining.ReLogin(2);
    }
    m_nStatus = 2;
    SetStatusImage(2);
}

void CKivDlg::GoOffline()
{
    if (m_nStatus == 3) return;
    SwitchOffline();
}

void CKivDlg::SwitchOffline()
{
    SetTrayIcon(m_hIconOffline);
    // The own head turns grey (g = (7 * green + 3 * red) / 10).
    if (m_pHeadImage) {
        const Gdiplus::INT w = static_cast<Gdiplus::INT>(m_pHeadImage->GetWidth()), h = static_cast<Gdiplus::INT>(m_pHeadImage->GetHeight());
        for (Gdiplus::INT y = 0; y < h; ++y) {
            for (Gdiplus::INT x = 0; x < w; ++x) {
                Gdiplus::Color c;
                m_pHeadImage->GetPixel(x, y, &c);
                const BYTE grey = static_cast<BYTE>((7 * c.GetG() + 3 * c.GetR()) / 10);
                m_pHeadImage->SetPixel(x, y, Gdiplus::Color(c.GetA(), grey, grey, grey));
            }
        }
    }
    CRect r;
    GetClientRect(&r);
    PostMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.Width(), r.Height()));
    m_nStatus = 3;
    SetStatusImage(3);
    if (CKivApp* app = GetKivApp()) app->SetSessionKey("");
}

void CKivDlg::OnMenuOnline()
{
    GoOnline();
}

void CKivDlg::OnMenuAway()
{
    GoAway();
}

void CKivDlg::OnMenuOffline()
{
    GoOffline();
}

// ---------------------------------------------------------------- login reply

LRESULT CKivDlg::OnLoginResult(WPARAM wParam, LPARAM lParam)
{
    auto* reply = reinterpret_cast<lum_thrift::StructLoginResp*>(lParam);
    if (!reply) return 0;
    if (m_nLoginsInFlight > 0) --m_nLoginsInFlight;
    if (reinterpret_cast<const void*>(wParam) != m_pCurrentLogin) return 0;  // not the login awaited
    m_pCurrentLogin = nullptr;
    CKivApp* app = GetKivApp();
    if (!app) return 0;
    if (reply->code == lum_thrift::ResultCode::SUCCESS) {
        const lum_thrift::StructUser& user = reply->user;
        app->SetOwnUserId(user.userid);
        CDataUser& self = app->m_userSelf;
        CString name = Utf8ToAnsi(CString(user.name));
        if (name.IsEmpty()) name.Format("%d", user.userid);
        self.m_bstrName = name;
        self.m_bstrSign = Utf8ToAnsi(CString(user.note));
        self.m_strRTime = CString(user.img_time);
        self.m_strCity = Utf8ToAnsi(CString(user.city));
        const CString phone(user.phone);
        if (self.m_strPhone != phone) {
            self.m_strPhone = phone;
            // The password remembered with this account, not one left over
            // from an earlier login of another account.
            CDataUser stored;
            self.m_strPwd = m_dbSys.GetLoginer(phone, &stored) ? stored.m_strPwd : CString();
        }
        m_dbSys.InsertUser(&self);
        MakeVerifyCode(&m_dlgLogining, CString(user.culdate));
    }
    app->SetSessionKey(reply->key);
    if (m_dlgLogining.m_hWnd) ::PostMessage(m_dlgLogining.m_hWnd, UM_LOGIN_RESULT, 0, reply->code);
    return 0;
}

// ---------------------------------------------------------------- lists from the service

struct CKivDlg::FriendListJob {
    unsigned number = 0;
    std::vector<lum_thrift::StructFriend> friends;
    size_t next = 0;
};

LRESULT CKivDlg::OnFriendList(WPARAM, LPARAM lParam)
{
    auto* reply = reinterpret_cast<lum_thrift::StructFriendListResp*>(lParam);
    if (!reply || reply->code != lum_thrift::ResultCode::SUCCESS) return 0;
    // Every friend has to be listed again to stay: without this a second
    // reply in one session (after a reconnect) would keep the friends it no
    // longer lists, since the marks of the first reply are all set.
    for (auto& entry : m_listFriend.m_mapUsers) entry.second->m_nFlag = 0;
    // The reply lives on the worker only during this call, which no longer
    // needs it: its friends are moved out (a copy of 10,000 held the UI
    // thread for some 30 ms) and taken over a slice at a time, with the loop
    // turning in between, so that a long list never holds the UI thread.
    auto job = std::make_shared<FriendListJob>();
    job->number = ++m_nFriendListJob;
    job->friends = std::move(reply->friendList);
    ContinueFriendList(job);
    return 0;
}

void CKivDlg::ContinueFriendList(const std::shared_ptr<FriendListJob>& job)
{
    // A newer reply or a log-out has taken its place.
    if (job->number != m_nFriendListJob) return;
    const auto start = std::chrono::steady_clock::now();
    m_dbUser.BeginBatch();
    while (job->next < job->friends.size()) {
        const lum_thrift::StructFriend& entry = job->friends[job->next++];
        const lum_thrift::StructUser& user = entry.user;
        CDataUser rec;
        rec.m_nId = user.userid;
        rec.m_nFlag = 1;
        rec.m_bstrName = Utf8ToAnsi(CString(user.name)).GetString();
        rec.m_strRemark = Utf8ToAnsi(CString(entry.remark));
        rec.m_strRTime = CString(user.img_time);
        rec.m_nStatus = static_cast<int>(user.status);
        rec.m_strCity = Utf8ToAnsi(CString(user.city));
        rec.m_bstrSign = Utf8ToAnsi(CString(user.note)).GetString();
        m_listFriend.AddUser(&rec, 1);
        if (std::chrono::steady_clock::now() - start > kReplySlice) break;
    }
    m_dbUser.EndBatch();
    if (job->next < job->friends.size()) {
        std::weak_ptr<bool> alive = m_pAlive;
        lumui::QueueOnUiThread([this, alive, job] {
            if (alive.lock()) ContinueFriendList(job);
        });
        return;
    }
    m_listFriend.RemoveStaleUsers();
    if (m_listFriend.m_hWnd) m_listFriend.Invalidate();
}

LRESULT CKivDlg::OnGroupList(WPARAM, LPARAM lParam)
{
    const auto* reply = reinterpret_cast<const lum_thrift::StructGroupListResp*>(lParam);
    if (!reply || reply->code != lum_thrift::ResultCode::SUCCESS) return 0;
    // Every group has to be listed again to stay (see OnFriendList).
    for (auto& entry : m_listGroup.m_mapGroups) entry.second->m_nClientFlag = 0;
    for (const lum_thrift::StructGroup& entry : reply->groupList) {
        CDataGroup group;
        group.m_nId = entry.gid;
        group.m_bstrName = Utf8ToAnsi(CString(entry.name)).GetString();
        group.m_nClientFlag = 1;
        group.m_nIsMaster = entry.isMaster;
        group.m_nStyle = entry.style;
        group.m_nGroupType = entry.groupType;
        group.m_nCapacity = entry.capacity;
        group.m_bstrSign = Utf8ToAnsi(CString(entry.note)).GetString();
        group.m_strClass = Utf8ToAnsi(CString(entry.groupClass));
        for (const lum_thrift::StructGroupUser& member : entry.userList) {
            auto* rec = new CDataUser;
            rec->m_nId = member.user.userid;
            rec->m_bstrName = Utf8ToAnsi(CString(member.user.name)).GetString();
            rec->m_strRemark = Utf8ToAnsi(CString(member.carte));
            rec->m_strCity = Utf8ToAnsi(CString(member.user.city));
            rec->m_nMemberRole = member.isMaster;
            rec->m_nFlag = 1;
            rec->m_nGroupId = group.m_nId;
            // A second member with the same id takes the place of the first.
            CDataUser*& slot = group.m_mapMembers[rec->m_nId];
            delete slot;
            slot = rec;
        }
        m_listGroup.AddGroup(&group, 1);
    }
    m_listGroup.RemoveStaleGroups();
    return 0;
}

LRESULT CKivDlg::OnUserInfo(WPARAM, LPARAM lParam)
{
    const auto* user = reinterpret_cast<const lum_thrift::StructUser*>(lParam);
    CKivApp* app = GetKivApp();
    if (!user || !app) return 0;
    const CString name = Utf8ToAnsi(CString(user->name));
    const CString note = Utf8ToAnsi(CString(user->note));
    const CString city = Utf8ToAnsi(CString(user->city));
    if (user->userid == app->GetOwnUserId()) {
        CDataUser& self = app->m_userSelf;
        self.m_bstrName = name.GetString();
        self.m_bstrSign = note.GetString();
        self.m_strCity = city;
        m_dbSys.InsertUser(&self);
        CRect r;
        GetClientRect(&r);
        PostMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.Width(), r.Height()));
        const CString imageTime(user->img_time);
        if (!imageTime.IsEmpty() && imageTime != self.m_strRTime) {
            self.m_strRTime = imageTime;
            PostMessage(UM_USER_HEAD_LOADED, reinterpret_cast<WPARAM>(&self), reinterpret_cast<LPARAM>(&m_dbSys));
        }
        return 0;
    }
    if (user->gid < 11) {
        CKivUsersListCtrl& list = user->gid == 2 ? m_listStranger : m_listFriend;
        list.UpdateUserInfo(user->userid, name, note, city, static_cast<int>(user->status));
        if (list.m_hWnd) list.SendMessage(WM_SIZE, 0, 0);
    } else {
        m_listGroup.UpdateGroupMember(user->userid, user->gid, name, note, city, static_cast<int>(user->status), 0);
        // An open chat window of the group shows the member's new name.
        if (CDataGroup* group = m_book.GroupOf(user->gid))
            if (auto* chat = dynamic_cast<CKivDlgChatGroup*>(group->m_dlgChat)) chat->RefreshMembers();
    }
    return 0;
}

LRESULT CKivDlg::OnIdList(WPARAM, LPARAM lParam)
{
    const auto* reply = reinterpret_cast<const lum_thrift::StructBlackListResp*>(lParam);
    if (!reply) return 0;
    for (int id : reply->blackList) m_book.Block(id);
    return 0;
}

// ---------------------------------------------------------------- states and notices

void CKivDlg::Relayout(CWnd& list)
{
    if (list.m_hWnd) list.SendMessage(WM_SIZE, 0, 0);
}

LRESULT CKivDlg::OnContactStatus(WPARAM wParam, LPARAM lParam)
{
    // States run from 0 to 9; anything else (a negative one too) is noise.
    if (static_cast<unsigned long>(lParam) > 9) return 0;
    const int status = static_cast<int>(lParam);
    // Every record of the user takes it; a list whose row shows it lays out again.
    using Shelf = KivContactBook::Shelf;
    m_book.ForEachRecordOf(static_cast<int>(wParam), [&](Shelf shelf, CDataUser* rec) {
        if (rec->m_nStatus == status) return;
        rec->m_nStatus = status;
        if (shelf != Shelf::kMember) Relayout(shelf == Shelf::kFriend ? m_listFriend : m_listStranger);
    });
    return 0;
}

LRESULT CKivDlg::OnGroupMemberRemoved(WPARAM, LPARAM lParam)
{
    const auto* msg = reinterpret_cast<const lum_thrift::StructMessage*>(lParam);
    if (!msg || msg->fromid <= 0 || msg->gid <= 0) return 0;
    const XMLNode notice = NoticeOf(ParseMessageBody(msg->content), "delgroupuser");
    if (notice.isEmpty()) return 0;
    CDataGroup* group = m_book.GroupOf(msg->gid);
    if (!group) return 1;
    m_listGroup.RemoveGroupMember(atoi(AttributeText(notice, "fromid")), msg->gid);
    Relayout(m_listGroup);
    // An open chat window of the group shows its member list again.
    if (auto* chat = dynamic_cast<CKivDlgChatGroup*>(group->m_dlgChat)) chat->RefreshMembers();
    return 1;
}

LRESULT CKivDlg::OnGroupDeleted(WPARAM, LPARAM lParam)
{
    const auto* msg = reinterpret_cast<const lum_thrift::StructMessage*>(lParam);
    if (!msg || msg->gid <= 0) return 0;
    if (NoticeOf(ParseMessageBody(msg->content), "delgroup").isEmpty()) return 0;
    CDataGroup* group = m_book.GroupOf(msg->gid);
    if (!group) return 1;
    if (group->m_dlgChat && group->m_dlgChat->m_hWnd) group->m_dlgChat->SendMessage(WM_CLOSE, 0, 0);
    m_listGroup.RemoveGroup(msg->gid);
    Relayout(m_listGroup);
    return 1;
}

LRESULT CKivDlg::OnGroupMemberJoined(WPARAM, LPARAM lParam)
{
    const auto* msg = reinterpret_cast<const lum_thrift::StructMessage*>(lParam);
    if (!msg || msg->fromid <= 0 || msg->gid <= 0) return 0;
    const XMLNode notice = NoticeOf(ParseMessageBody(msg->content), "joined");
    if (notice.isEmpty()) return 0;
    CDataGroup* group = m_book.GroupOf(msg->gid);
    if (!group) return 1;
    const int member = atoi(AttributeText(notice, "fromid"));
    if (member > 0) {
        m_listGroup.UpdateGroupMember(member, msg->gid, CleanNoticeName(AttributeText(notice, "fromname")), "", "", 0, 0);
        Relayout(m_listGroup);
        if (auto* chat = dynamic_cast<CKivDlgChatGroup*>(group->m_dlgChat)) chat->RefreshMembers();
    }
    return 1;
}

LRESULT CKivDlg::OnGroupAdded(WPARAM, LPARAM lParam)
{
    // The notice names the group ("gid", "gname") and lists its members as
    // "user" children ("id", "name", "carte").
    const auto* msg = reinterpret_cast<const lum_thrift::StructMessage*>(lParam);
    if (!msg) return 0;
    const XMLNode body = ParseMessageBody(msg->content);
    XMLNode element = body.getChildNode("info");
    if (element.isEmpty()) element = body;
    int gid = atoi(AttributeText(element, "gid"));
    if (gid <= 0) gid = msg->gid;
    if (gid <= 0 || m_book.GroupOf(gid)) return 0;
    CDataGroup group;
    group.m_nId = gid;
    if (element.getAttribute("gname")) group.m_bstrName = AttributeText(element, "gname").GetString();
    int it = 0;
    for (XMLNode user = element.getChildNode("user", &it); !user.isEmpty(); user = element.getChildNode("user", &it)) {
        const char* id = user.getAttribute("id");
        if (!id || atoi(id) <= 0) continue;
        auto* rec = new CDataUser;
        rec->m_nId = atoi(id);
        rec->m_bstrName = AttributeText(user, "name").GetString();
        if (user.getAttribute("carte")) rec->m_strRemark = AttributeText(user, "carte");
        rec->m_nFlag = 1;
        rec->m_nGroupId = gid;
        CDataUser*& slot = group.m_mapMembers[rec->m_nId];
        delete slot;
        slot = rec;
    }
    m_listGroup.AddGroup(&group, 1);
    Relayout(m_listGroup);
    return 1;
}

LRESULT CKivDlg::OnFriendRequest(WPARAM, LPARAM lParam)
{
    const auto* msg = reinterpret_cast<const lum_thrift::StructMessage*>(lParam);
    if (!msg || msg->fromid <= 0) return 0;
    const XMLNode notice = NoticeOf(ParseMessageBody(msg->content), "addfriend");
    if (notice.isEmpty()) return 0;
    // The requester becomes a friend at once; nobody is asked.
    CDataUser rec;
    rec.m_nId = msg->fromid;
    rec.m_strPhone = AttributeText(notice, "fromphone");
    rec.m_bstrName = CleanNoticeName(AttributeText(notice, "fromname")).GetString();
    rec.m_nReserved2 = 1;
    SendMessage(UM_ADD_CONTACT, reinterpret_cast<WPARAM>(&rec), 0);
    return 1;
}

LRESULT CKivDlg::OnAddContact(WPARAM wParam, LPARAM)
{
    auto* rec = reinterpret_cast<CDataUser*>(wParam);
    if (!rec) return 0;
    m_listFriend.AddUser(rec, 1);
    Relayout(m_listFriend);
    if (m_book.Stranger(rec->m_nId)) {
        m_listStranger.RemoveUser(rec->m_nId);
        Relayout(m_listStranger);
    }
    return 0;
}

LRESULT CKivDlg::OnGroupCreated(WPARAM wParam, LPARAM)
{
    auto* group = reinterpret_cast<CDataGroup*>(wParam);
    CKivApp* app = GetKivApp();
    if (!group || !app) return 0;
    auto* self = new CDataUser;
    self->FromUser(&app->m_userSelf);
    self->m_nId = app->GetOwnUserId();
    self->m_nMemberRole = 1;
    self->m_nFlag = 1;
    self->m_nGroupId = group->m_nId;
    CDataUser*& slot = group->m_mapMembers[self->m_nId];
    delete slot;
    slot = self;
    m_listGroup.AddGroup(group, 1);
    Relayout(m_listGroup);
    return 0;
}

// ---------------------------------------------------------------- incoming messages

LRESULT CKivDlg::OnUserMessage(WPARAM, LPARAM lParam)
{
    const auto* msg = reinterpret_cast<const lum_thrift::StructMessage*>(lParam);
    if (msg && GetKivApp()) m_router.RouteUserLine(*msg);
    return 0;
}

LRESULT CKivDlg::OnGroupMessage(WPARAM, LPARAM lParam)
{
    const auto* msg = reinterpret_cast<const lum_thrift::StructMessage*>(lParam);
    return msg ? m_routing.TakeGroupMessage(*msg) : 0;
}

LRESULT CKivDlg::OnOpenChat(WPARAM wParam, LPARAM)
{
    // 1: the record was one of this window's and its chat is open, with the
    // lines that waited shown, so that the caller may let go of them.
    return m_router.ShowChat(reinterpret_cast<CData*>(wParam)) ? 1 : 0;
}

// ---------------------------------------------------------------- background downloads

bool CKivDlg::IsLiveUser(const CDataUser* rec)
{
    if (!rec) return false;
    CKivApp* app = GetKivApp();
    if (app && rec == &app->m_userSelf) return true;
    return m_book.HoldsContact(rec);
}

LRESULT CKivDlg::OnUserHeadLoaded(WPARAM wParam, LPARAM lParam)
{
    auto* rec = reinterpret_cast<CDataUser*>(wParam);
    // A record freed since the message was posted is gone.
    if (!IsLiveUser(rec) || rec->m_nId <= 0) return 0;
    const int result = rec->Update(&m_dbUser);
    if (result != 1) return result;
    CKivApp* app = GetKivApp();
    if (app && rec->m_nId == app->GetOwnUserId()) {
        if (lParam != reinterpret_cast<LPARAM>(&m_dbSys)) m_dbSys.InsertUser(&app->m_userSelf);
        ReloadOwnHead();
        CRect r;
        GetClientRect(&r);
        PostMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.Width(), r.Height()));
    }
    return result;
}

LRESULT CKivDlg::OnGroupHeadLoaded(WPARAM wParam, LPARAM lParam)
{
    auto* rec = reinterpret_cast<CDataGroup*>(wParam);
    // A group removed since the message was posted is gone.
    if (!m_book.HoldsGroup(rec)) return 0;
    if (rec->m_nId > 0) m_listGroup.SaveGroup(rec->m_nId);
    if (lParam && m_listGroup.m_hWnd) m_listGroup.Invalidate();
    return 0;
}

void CKivDlg::OnHeadsArrived(const std::vector<const lumheads::Head*>& batch)
{
    CKivApp* app = GetKivApp();
    if (!app) return;
    const int own = app->GetOwnUserId();
    for (const lumheads::Head* head : batch) {
        if (head->group || head->id != own || own < 1 || !head->image) continue;
        DrawLoadedHead(&app->m_userSelf, head->image);
        m_dbSys.InsertUser(&app->m_userSelf);
        ReloadOwnHead();
        if (m_hWnd) {
            CRect r;
            GetClientRect(&r);
            PostMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.Width(), r.Height()));
        }
    }
}

LRESULT CKivDlg::OnTopicText(WPARAM wParam, LPARAM)
{
    const auto* text = reinterpret_cast<const CString*>(wParam);
    if (!text) return 0;
    // The topic link of the panel shows the text.
    m_strTopic = *text;
    if (m_linkTopic.m_hWnd) m_linkTopic.SetLinkText(m_strTopic);
    return 1;
}

void StartUserHeadDownload(CDataUser* rec)
{
    if (!rec || rec->m_nId < 1) return;
    if (const lumheads::Head* head = lumheads::FindHead(false, rec->m_nId)) {
        // Known this session: no second fetch.
        if (head->image) DrawLoadedHead(rec, head->image);
        return;
    }
    lumheads::RequestHead(false, rec->m_nId);
}

void StartOwnHeadDownload(int ownId)
{
    lumheads::ForgetHeads();
    lumheads::RequestHead(false, ownId, true);
}

UINT ThreadLoadTopic(LPVOID)
{
    CString text = CCommon::GetStrFromUrl(GetEndpointConfig().webBaseUrl + "/topic.txt");
    if (!text.IsEmpty()) SendToMainWindow(UM_TOPIC_TEXT, reinterpret_cast<WPARAM>(&text), 0);
    return 1;
}

// ---------------------------------------------------------------- settings, own information, skin

LRESULT CKivDlg::OnSettingsChanged(WPARAM, LPARAM)
{
    CKivApp* app = GetKivApp();
    if (!app) return 0;
    const int id = app->GetOwnUserId();
    auto read = [&](const char* key) { return m_dbSys.GetSysSet(id, key); };

    RegisterReadMsgHotKey(read("Hotkey_ReadMsg"));
    app->m_nSendMsgKey = read("Hotkey_SendMsg") == "1" ? 1 : 0;
    ChatSendKeyMode() = app->m_nSendMsgKey;
    app->m_nIdleTime = atoi(read("Status_IdleTime"));

    const CString replyIndex = read("Status_ReplyIndex");
    if (replyIndex.IsEmpty()) {
        app->m_nReplyIndex = 0;
    } else {
        app->m_nReplyIndex = atoi(replyIndex);
        read("Status_ReplyTo");
        const CString list = read("Status_ReplyList");
        app->m_strReplyText = "";
        if (!list.IsEmpty()) {
            // Entries separated by "|", counted from 1; 0 picks the first.
            const int wanted = app->m_nReplyIndex <= 1 ? 1 : app->m_nReplyIndex;
            int number = 1, start = 0;
            for (;;) {
                const int bar = list.Find('|', start);
                if (number == wanted) {
                    app->m_strReplyText = bar < 0 ? list.Mid(start) : list.Mid(start, bar - start);
                    break;
                }
                if (bar < 0) break;
                start = bar + 1;
                ++number;
            }
        }
    }

    app->m_nAlwaysTop = atoi(read("Basic_AlwaysTop"));
    SetWindowPos(app->m_nAlwaysTop == 1 ? &CWnd::wndTopMost : &CWnd::wndNoTopMost, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    app->m_nPanelClose = atoi(read("Basic_PanelClose"));
    app->m_nSoundOff = atoi(read("Sound_MsgRemind"));
    const CString folder = GetProgramFolder();
    CString sound = read("Sound_FMsgAddress");
    if (sound.IsEmpty()) sound.Format("%svoice/MsgSound.wav", folder.GetString());
    app->m_strFriendSound = sound;
    sound = read("Sound_GMsgAddress");
    if (sound.IsEmpty()) sound.Format("%svoice/MsgSound.wav", folder.GetString());
    app->m_strGroupSound = sound;
    return 0;
}

bool ParseHotKeySetting(CString value, UINT* modifiers, UINT* vk)
{
    if (value.IsEmpty() || value == "0") return false;
    UINT mods = 0;
    if (value.Find("Ctrl") >= 0) mods |= MOD_CONTROL;
    if (value.Find("Alt") >= 0) mods |= MOD_ALT;
    value.Replace("Ctrl", "");
    value.Replace("Alt", "");
    value.Replace("+", "");
    if (value.IsEmpty()) return false;
    if (modifiers) *modifiers = mods;
    if (vk) *vk = static_cast<unsigned char>(value[0]);
    return true;
}

void CKivDlg::RegisterReadMsgHotKey(CString value)
{
    UINT modifiers = 0, key = 0;
    if (!ParseHotKeySetting(value, &modifiers, &key)) {
        // No hotkey chosen: a combination registered before goes.
        if (value.IsEmpty() || value == "0") UnregisterHotKey(m_hWnd, kHotKeyReadMsg);
        return;
    }
    UnregisterHotKey(m_hWnd, kHotKeyReadMsg);
    // A combination another program holds is reported to the user.
    if (!RegisterHotKey(m_hWnd, kHotKeyReadMsg, modifiers, key)) ReportHotKeyTaken(value);
}

LRESULT CKivDlg::OnOwnInfoChanged(WPARAM, LPARAM lParam)
{
    if (lParam == 1) ReloadOwnHead();
    CRect r;
    GetClientRect(&r);
    PostMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.Width(), r.Height()));
    return 0;
}

LRESULT CKivDlg::OnSkinChange(WPARAM wParam, LPARAM lParam)
{
    CString value;
    if (lParam == 1) {
        const CString* name = reinterpret_cast<const CString*>(wParam);
        if (!name) return 0;
        char path[MAX_PATH] = "", drive[MAX_PATH] = "", dir[MAX_PATH] = "";
        GetModuleFileName(nullptr, path, sizeof path);
        _splitpath(path, drive, dir, nullptr, nullptr);
        CString theme;
        theme.Format("%s%s%s", drive, dir, "theme");
        CString image;
        image.Format("%s/%s", theme.GetString(), name->GetString());
        // A picture that does not decode is refused: the skin shown stays.
        if (!IsSkinImageUsable(image)) return 0;
        CDlgBase::m_sBgImgName = image;
        CDlgBase::m_IsAppBgColor = 0;
        value = *name;
    } else {
        const COLORREF color = static_cast<COLORREF>(wParam);
        CDlgBase::m_R = GetRValue(color);
        CDlgBase::m_G = GetGValue(color);
        CDlgBase::m_B = GetBValue(color);
        CDlgBase::m_sBgImgName = "";
        CDlgBase::m_IsAppBgColor = 1;
        value.Format("%d,%d,%d", CDlgBase::m_R, CDlgBase::m_G, CDlgBase::m_B);
    }
    if (CKivApp* app = GetKivApp()) m_dbSys.InsertSysSet(app->GetOwnUserId(), "skin", value);
    CRect r;
    GetClientRect(&r);
    PostMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.Width(), r.Height()));
    ApplySkinToOpenWindows();
    return 0;
}

// ---------------------------------------------------------------- search

void CKivDlg::OnBnClickedSearch()
{
    CString text;
    m_editSearch.GetWindowText(text);
    if (!text.IsEmpty()) PostMessage(UM_SEARCH_REQUEST, 0, 0);
}

LRESULT CKivDlg::OnSearchRequest(WPARAM, LPARAM)
{
    ShowSearchDropDown(this, m_editSearch, m_listFriend, m_listGroup, &m_dbUser);
    return 0;
}

void CKivDlg::OnSearchSetFocus()
{
    m_editSearch.SetWindowText("");
}

// ---------------------------------------------------------------- commands

void CKivDlg::OnBnClickedMainMenu()
{
    CWndMenu menu;
    menu.ShowMainMenu(this, AfxGetInstanceHandle());
}

void CKivDlg::OnBnClickedStatus()
{
    CWndMenu menu;
    menu.ShowTaskBarMenu(this, AfxGetInstanceHandle());
}

// ---------------------------------------------------------------- feature plug-ins

namespace {

const char* const kQuillonFailure = "加载Quillon.dll失败,未能实现查看历史消息功能";
const char* const kPreforFailure = "加载Prefor.dll失败,未能实现系统设置功能";
const char* const kAdhorFailure = "加载Adhor.dll失败,未能实现创建群功能";
const char* const kBellwickFailure = "加载Bellwick.dll失败,未能实现通知短信功能";
const char* const kParletFailure = "加载Parlet.dll失败,未能实现通知短信功能";
const char* const kMievoFailure = "加载Mievo.dll失败,未能实现个人资料设置功能";
const char* const kSorvanUserFailure = "加载Sorvan.dll失败,未能实现添加好友功能";
const char* const kSorvanGroupFailure = "加载Sorvan.dll失败,未能实现查找群功能";
const char* const kConfabelFailure = "加载Confabel.dll失败,未能实现创建讨论组功能";
const char* const kSmsRefused = "此功能目前只对本网用户开放";

// Slot binding: the export of `file` loaded into the slot; null when the
// file could not be loaded (its box shown) or the export is missing.
template <class F>
F* SlotExport(CKivDlg* dlg, LPCSTR file, LPCSTR failure, const ModuleExport<F>& e)
{
    HMODULE module = dlg->LoadSlotPlugin(file, failure);
    return PluginExport(module, e);
}

}  // namespace

HMODULE CKivDlg::LoadSlotPlugin(LPCSTR file, LPCSTR failureText)
{
    FreeSlotPlugin();
    m_hPlugin = LoadPluginModule(file, failureText);
    return m_hPlugin;
}

void CKivDlg::FreeSlotPlugin()
{
    HMODULE module = m_hPlugin;
    m_hPlugin = nullptr;
    ReleasePluginModule(module, true);
}

HMODULE CKivDlg::GetQuillon()
{
    if (!m_hQuillon) m_hQuillon = LoadPluginModule("Quillon.dll", kQuillonFailure);
    return m_hQuillon;
}

void CKivDlg::ShowHistory(int id, CString name, int kind)
{
    if (auto show = PluginExport(GetQuillon(), QuillonExports::showHisMsg)) show(&m_dbMsg, &m_dbUser, id, name, kind);
}

bool CKivDlg::IsSmsRefused(const CString& account)
{
    return account.Find('@') > 0;
}

bool CKivDlg::ShowFastSmsNotify(int id, CString nameText, int type, bool failureBox)
{
    const CString account = OwnAccount();
    if (IsSmsRefused(account)) {
        AfxMessageBox(kSmsRefused, MB_OK);
        return false;
    }
    HMODULE module = LoadSlotPlugin("Bellwick.dll", failureBox ? kBellwickFailure : nullptr);
    if (!module) return false;
    if (auto show = PluginExport(module, BellwickExports::showFastSmsNotify))
        show(OwnId(), account, id, nameText, type, OwnVerifyCode());
    return true;
}

// Message manager (1011, 9069).
void CKivDlg::OnBnClickedHistory()
{
    if (auto show = PluginExport(GetQuillon(), QuillonExports::showQuillon)) show(&m_dbMsg, &m_dbUser, OwnId());
}

void CKivDlg::OnMenuMessageManager()
{
    OnBnClickedHistory();
}

// System settings (1010, 9075).
void CKivDlg::OnBnClickedSettings()
{
    if (auto show = SlotExport(this, "Prefor.dll", kPreforFailure, PreforExports::Show))
        show(OwnId(), &m_dbSys, m_hWnd);
}

void CKivDlg::OnMenuSettings()
{
    OnBnClickedSettings();
}

// The black list (9051, from the friend list's menu).
void CKivDlg::OnMenuBlackList()
{
    if (auto show = SlotExport(this, "Prefor.dll", kPreforFailure, PreforExports::ShowBlackList))
        show(OwnId(), &m_dbSys, m_hWnd);
}

// Create group (9067).
void CKivDlg::OnMenuCreateGroup()
{
    if (auto show = SlotExport(this, "Adhor.dll", kAdhorFailure, AdhorExports::Show))
        show(OwnAccount(), &m_dbUser, m_hWnd, OwnVerifyCode());
}

// SMS notice to chosen friends (1009, 9035).
void CKivDlg::OnBnClickedSms()
{
    const CString account = OwnAccount();
    if (IsSmsRefused(account)) {
        AfxMessageBox(kSmsRefused, MB_OK);
        return;
    }
    if (auto show = SlotExport(this, "Bellwick.dll", kBellwickFailure, BellwickExports::showStandardSmsNotify))
        show(OwnId(), account, &m_dbUser, OwnVerifyCode());
}

void CKivDlg::OnMenuSmsNotice()
{
    OnBnClickedSms();
}

// Message centre (1008).
void CKivDlg::OnBnClickedMessages()
{
    if (auto show = SlotExport(this, "Parlet.dll", kParletFailure, ParletExports::showMsgCenter))
        show(m_stackNewMsg.GetList(), m_hWnd);
}

// Own profile (9074).
void CKivDlg::OnMenuProfile()
{
    CKivApp* app = GetKivApp();
    if (auto show = SlotExport(this, "Mievo.dll", kMievoFailure, MievoExports::Show))
        show(&m_dbSys, app ? &app->m_userSelf : nullptr, m_hWnd, OwnVerifyCode());
}

// Add friend (9036).
void CKivDlg::OnMenuAddFriend()
{
    if (auto show = SlotExport(this, "Sorvan.dll", kSorvanUserFailure, SorvanExports::showUser))
        show("", OwnId(), OwnAccount(), m_hWnd, &m_dbUser, OwnVerifyCode());
}

// Find group (9026).
void CKivDlg::OnMenuFindGroup()
{
    if (auto show = SlotExport(this, "Sorvan.dll", kSorvanGroupFailure, SorvanExports::showGroup))
        show("", OwnId(), OwnAccount(), &m_dbUser, OwnVerifyCode());
}

// Create discussion group (9027). The discussion-group plug-in is not part
// of this client, so this ends in its failure box unless such a file is
// put beside the program.
void CKivDlg::OnMenuCreateDiscussion()
{
    if (auto create = SlotExport(this, "Confabel.dll", kConfabelFailure, ConfabelExports::createConfabel))
        create(&m_dbUser, OwnId(), m_listGroup.m_hWnd, OwnVerifyCode());
}

// The lists' and chat windows' plug-in commands that the main window
// carries out: history views, SMS notices, and the friend list's add-friend
// and black-list commands.
void CKivDlg::InstallPluginHooks()
{
    if (!CDlgChatMsgListBase::s_showHistory)
        CDlgChatMsgListBase::s_showHistory = [](int id, const CString& name, int kind) {
            if (CKivDlg* main = KivMainWindow()) main->ShowHistory(id, name, kind);
        };
    if (!CKivUsersListCtrl::s_pluginCommand)
        CKivUsersListCtrl::s_pluginCommand = [](CKivUsersListCtrl* list, UINT command, int id, const CString& text) {
            CKivDlg* main = KivMainWindow();
            if (!main) return;
            switch (command) {
            case IDM_VIEW_HISTORY:
                main->ShowHistory(id, text, list ? list->m_nListId : 1);
                break;
            case IDM_SMS_NOTICE:
                main->ShowFastSmsNotify(id, text + " ", 1);
                break;
            case IDM_ADD_FRIEND:
            case IDM_SHOW_BLACK_LIST:
                main->SendMessage(WM_COMMAND, command, 0);
                break;
            default:
                break;
            }
        };
    if (!CKivGroupListCtrl::s_pluginCommand)
        CKivGroupListCtrl::s_pluginCommand = [](CKivGroupListCtrl*, UINT command, int gid, const CString& text, int arg) {
            CKivDlg* main = KivMainWindow();
            if (!main) return false;
            switch (command) {
            case IDM_VIEW_GROUP_HISTORY:
                main->ShowHistory(gid, text, arg);
                return true;
            case IDM_SMS_NOTICE:
                main->ShowFastSmsNotify(gid, text + " ", 0);
                return true;
            default:
                return false;
            }
        };
    if (!CKivDlgChatUser::s_pluginCommand)
        CKivDlgChatUser::s_pluginCommand = [](CWnd*, UINT command, int id, const CString& text, int kind) {
            CKivDlg* main = KivMainWindow();
            // The chat window shows the failure text itself (false).
            if (main && command == 1016) return main->ShowFastSmsNotify(id, text, kind, false);
            return false;
        };
    // Cards, remarks and group cards: the lists' own Vistel.
    InstallVistelHooks();
    // Group information: the group list's own Clanor.
    InstallClanorHooks();
    // Adding as a friend and inviting into a group: the lists' and the chat
    // windows' own Sorvan.
    InstallSorvanHooks();
    // Adding group members: the member-import window.
    InstallMemberImportHooks();
}
// The skin chooser is a window of its own.
void CKivDlg::OnBnClickedSkin()
{
    ShowSkinChooser();
}

void CKivDlg::OnMenuSkin()
{
    ShowSkinChooser();
}

void CKivDlg::OnMenuHelp()
{
    CWndMenu menu;
    menu.OnGetHelp();
}

void CKivDlg::OnMenuChangePassword()
{
    ShellExecute(nullptr, "open", GetEndpointConfig().webBaseUrl + "/modify_pwd.jsp", nullptr, nullptr,
                 SW_SHOWMAXIMIZED);
}

void CKivDlg::OnMenuExit()
{
    PostMessage(WM_CLOSE, 0, 0);
}

void CKivDlg::OnMenuLogout()
{
    CKivApp* app = GetKivApp();
    // Logins still running belong to the session being left.
    m_pCurrentLogin = nullptr;
    if (m_nLoginsInFlight > 0 && m_dlgLogining.IsWindowVisible()) m_dlgLogining.ShowWindow(SW_HIDE);

    // 1. Offline.
    if (m_nStatus != 3) SwitchOffline();
    // 2. Transparent again.
    m_layered.AddLayeredStyle(m_hWnd);
    m_layered.SetTransparentPercentage(m_hWnd, 0);
    // 3. The login window over the panel (at its own size, so that none of
    // it is cut off).
    CRect panel, login;
    GetWindowRect(&panel);
    m_dlgLogin.GetWindowRect(&login);
    m_dlgLogin.MoveWindow(panel.left, panel.top, login.Width(), login.Height());
    m_dlgLogin.ShowWindow(SW_SHOW);
    // 4. Empty lists (a friend-list reply still being taken over ends).
    ++m_nFriendListJob;
    m_listFriend.DeleteAllUsers();
    m_listStranger.DeleteAllUsers();
    m_listGroup.DeleteAllGroups();
    for (CListCtrl* list : {static_cast<CListCtrl*>(&m_listGroup), static_cast<CListCtrl*>(&m_listFriend),
                            static_cast<CListCtrl*>(&m_listStranger)}) {
        CRect r;
        list->GetClientRect(&r);
        list->SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.Width(), r.Height()));
    }
    // 5. No own user.
    if (app) {
        app->SetOwnUserId(0);
        app->m_userSelf.m_bstrName = "";
        app->m_userSelf.m_bstrSign = "";
        delete app->m_userSelf.m_imgHead;
        app->m_userSelf.m_imgHead = nullptr;
        // 6. No session.
        app->SetSessionKey("");
    }
}

// ---------------------------------------------------------------- window

void CKivDlg::OnOK()
{
    // Enter in the search box is the search button (id 1), handled above.
}

void CKivDlg::OnCancel()
{
    // Escape does not close the panel.
}

void CKivDlg::OnClose()
{
    EndDialog(IDCANCEL);
}

void CKivDlg::OnBnClickedButtonDlgMin()
{
    // Hidden, the panel comes back from its tray icon. Where the desktop has
    // no tray it is minimised instead, with an entry in the task list, so
    // that the user can bring it back.
    if (!IsTrayAvailable()) {
        ModifyStyleEx(WS_EX_TOOLWINDOW, 0);
        ShowWindow(SW_MINIMIZE);
        return;
    }
    ShowWindow(SW_HIDE);
}

void CKivDlg::OnBnClickedButtonDlgClose()
{
    CKivApp* app = GetKivApp();
    if (app && app->m_nPanelClose == 1) {
        OnBnClickedButtonDlgMin();
        return;
    }
    AfxBeginThread(ThreadExit, nullptr);
    PostMessage(WM_CLOSE, 0, 0);
}

void CKivDlg::OnSize(UINT type, int cx, int cy)
{
    CDlgBase::OnSize(type, cx, cy);
    m_autoHide.setWindowSize(cx, cy);
}

void CKivDlg::OnGetMinMaxInfo(MINMAXINFO* info)
{
    if (!info) return;
    info->ptMinTrackSize.x = 238;
    info->ptMinTrackSize.y = 410;
}

HBRUSH CKivDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
{
    HBRUSH brush = CDlgBase::OnCtlColor(dc, wnd, ctlColor);
    if (ctlColor == CTLCOLOR_EDIT && dc) dc->SetTextColor(RGB(0x69, 0x69, 0x69));
    return brush;
}

HCURSOR CKivDlg::OnQueryDragIcon()
{
    return reinterpret_cast<HCURSOR>(m_hIcon);
}

// ---------------------------------------------------------------- timer, tray and hotkey

void CKivDlg::SetTrayIcon(HICON icon)
{
    m_nid.hIcon = icon;
    Shell_NotifyIcon(NIM_MODIFY, &m_nid);
}

HICON CKivDlg::StatusIcon() const
{
    return m_nStatus == 3 ? m_hIconOffline : m_hIcon;
}

bool CKivDlg::IsLiveRecord(const CData* rec)
{
    if (!rec) return false;
    CKivApp* app = GetKivApp();
    return (app && rec == &app->m_userSelf) || m_book.Holds(rec);
}

void CKivDlg::AnimateTray()
{
    // Every record on the unread stack belongs to a list, which takes it off
    // the stack before freeing it; a record no longer held is still never
    // read.
    CData* top = m_stackNewMsg.IsEmpty() ? nullptr : m_stackNewMsg.Top();
    if (top) m_nStaleSender = IsLiveRecord(top) ? 0 : 1;
    if (m_nStaleSender == 1) {
        if (m_nTrayPhase == 1) SetTrayIcon(StatusIcon());
        return;
    }
    if (m_nTrayPhase != 1) {
        SetTrayIcon(nullptr);
        m_nTrayPhase = 1;
        return;
    }
    if (!top) {
        SetTrayIcon(StatusIcon());
        return;
    }
    HICON icon = top->m_nIsGroup == 1 ? m_hIconGroup : m_hIconUser;
    if (top->m_imgHead) {
        HICON made = m_hIconScratch;
        if (CCommon::ConvertBitmapToHICON(top->m_imgHead, &made)) {
            if (made != m_hIconScratch) {
                // The tray shows the new picture before the old one goes.
                SetTrayIcon(made);
                DestroyIcon(m_hIconScratch);
                m_hIconScratch = made;
            }
            icon = m_hIconScratch;
        }
    }
    SetTrayIcon(icon);
    m_nTrayPhase = 0;
}

void CKivDlg::CheckIdle()
{
    CKivApp* app = GetKivApp();
    const int threshold = app ? app->m_nIdleTime : 0;
    if (threshold <= 0) return;
    LASTINPUTINFO info;
    if (!GetLastInputInfo(&info)) return;
    const DWORD idle = GetTickCount() - info.dwTime;
    // The setting is offered in minutes ("分钟"), and is read as minutes.
    const DWORD limit = static_cast<DWORD>(threshold) * 60000u;
    if (idle >= limit && m_nStatus == 1)
        GoAway();
    else if (idle < limit && m_nStatus == 2)
        GoOnline();
}

void CKivDlg::OnTimer(UINT_PTR id)
{
    if (id == kTimerMain) AnimateTray();
    if (++m_nTick > 17) {
        // The heartbeat keeps a session alive; without one (logged out, or
        // offline) there is nothing to keep.
        CKivApp* app = GetKivApp();
        if (m_nStatus != 3 && app && !app->GetSessionKey().empty()) AfxBeginThread(ThreadMaintainOnline, nullptr);
        m_nTick = 0;
        CheckIdle();
    }
    if (m_autoHide.isRunTimer()) {
        CPoint cursor;
        GetCursorPos(&cursor);
        CRect r;
        GetWindowRect(&r);
        if (!r.PtInRect(cursor)) m_autoHide.HideSide(m_hWnd, 1);
    }
    CDlgBase::OnTimer(id);
}

void CKivDlg::OpenNewestUnread()
{
    if (m_router.OpenNewestWaiting()) return;
    ShowWindow(SW_SHOWNORMAL);
    SetForegroundWindow();
}

LRESULT CKivDlg::OnTrayNotify(WPARAM, LPARAM lParam)
{
    if (lParam == WM_LBUTTONDOWN) {
        OpenNewestUnread();
    } else if (lParam == WM_RBUTTONUP) {
        CWndMenu menu;
        menu.ShowTaskBarMenu(this, AfxGetInstanceHandle());
        ShowWindow(SW_SHOWNORMAL);
        SetForegroundWindow();
    }
    return 0;
}

void CKivDlg::OnHotKey(UINT id, UINT modifiers, UINT vk)
{
    if (id == static_cast<UINT>(kHotKeyReadMsg)) OpenNewestUnread();
    CDlgBase::OnHotKey(id, modifiers, vk);
}

BOOL CKivDlg::PreTranslateMessage(MSG* msg)
{
    if (msg && m_tooltip.m_hWnd &&
        (msg->message == WM_MOUSEMOVE || msg->message == WM_LBUTTONDOWN || msg->message == WM_LBUTTONUP))
        m_tooltip.RelayEvent(msg);
    // The slot plug-in's windows, then the history plug-in's, see the
    // messages first.
    if (m_hPlugin && PluginPreTranslateMessage(m_hPlugin, msg)) return TRUE;
    if (m_hQuillon && PluginPreTranslateMessage(m_hQuillon, msg)) return TRUE;
    const BOOL result = CDlgBase::PreTranslateMessage(msg);
    // A click anywhere but in the skin chooser or the search drop-down puts
    // them away.
    if (msg && (msg->message == WM_LBUTTONDOWN || msg->message == WM_NCLBUTTONDOWN)) HidePopupsOutside(msg->hwnd);
    return result;
}

namespace {

// Whether `hwnd` is `popup` or lies inside it, up to `levels` parents up.
bool IsInside(HWND hwnd, const CWnd* popup, int levels)
{
    if (!popup || !popup->m_hWnd) return false;
    for (int i = 0; hwnd && i <= levels; ++i, hwnd = GetParent(hwnd))
        if (hwnd == popup->m_hWnd) return true;
    return false;
}

bool IsShown(const CWnd* popup)
{
    return popup && popup->m_hWnd && popup->IsWindowVisible();
}

}  // namespace

void CKivDlg::HidePopupsOutside(HWND target)
{
    const int anyDepth = 64;
    if (IsShown(m_pDlgSkin.get()) && !IsInside(target, m_pDlgSkin.get(), anyDepth)) m_pDlgSkin->ShowWindow(SW_HIDE);
    CDlgSearchListctrl* drop = FindSearchDropDown(this);
    if (IsShown(drop) && !IsInside(target, drop, anyDepth)) drop->ShowWindow(SW_HIDE);
}

LRESULT CKivDlg::OnSearchFocus(WPARAM wParam, LPARAM)
{
    CDlgSearchListctrl* drop = FindSearchDropDown(this);
    if (!drop || !drop->m_hWnd) return 0;
    // The focus went to the drop-down itself, one of its controls or a
    // part of one of them: it stays.
    if (!IsInside(reinterpret_cast<HWND>(wParam), drop, 2)) drop->ShowWindow(SW_HIDE);
    return 1;
}

LRESULT CKivDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MOUSEMOVE && m_hWnd) {
        CRect r;
        GetWindowRect(&r);
        if (r.left < 0 || r.top < 0 || r.right > m_autoHide.m_nScreenWidth) m_autoHide.HideSide(m_hWnd, 0);
    } else if (message == WM_MOVING && m_hWnd) {
        m_autoHide.WindowMoving(m_hWnd, reinterpret_cast<RECT*>(lParam));
    } else if (message == WM_MOVE && m_hWnd) {
        // Moving the panel leaves the chooser and the drop-down behind: they
        // go. (The window layer sends WM_MOVE, also for a request that moves
        // nothing, rather than posting it, so it is seen here and not in
        // PreTranslateMessage.)
        CRect r;
        GetWindowRect(&r);
        if (r.TopLeft() != m_ptPanel) HidePopupsOutside(m_hWnd);
        m_ptPanel = r.TopLeft();
    }
    return CDlgBase::WindowProc(message, wParam, lParam);
}

BOOL CKivDlg::DestroyWindow()
{
    // 1. Tell the service, and give the call time to finish.
    AfxBeginThread(ThreadExit, nullptr);
    Sleep(lumui::GetServices()->ExitWaitMs());
    // 2. Drawing objects.
    try {
        delete m_pHeadImage;
        m_pHeadImage = nullptr;
        delete m_pFont;
        m_pFont = nullptr;
        delete m_pFontBold;
        m_pFontBold = nullptr;
        delete m_pBrushWhite;
        m_pBrushWhite = nullptr;
    } catch (...) {
    }
    // 3. The slot plug-in ends; 4. the history plug-in is freed without
    // ExitInstance.
    try {
        FreeSlotPlugin();
        HMODULE quillon = m_hQuillon;
        m_hQuillon = nullptr;
        ReleasePluginModule(quillon, false);
    } catch (...) {
    }
    // 5. Timer and the chat font of the own user.
    try {
        if (m_hWnd) {
            Shell_NotifyIcon(NIM_DELETE, &m_nid);
            KillTimer(kTimerMain);
            UnregisterHotKey(m_hWnd, kHotKeyReadMsg);
            if (CKivApp* app = GetKivApp()) {
                const int id = app->GetOwnUserId();
                // The font as the chat panes last changed it.
                KeepChatFontSettings(app);
                CString number;
                m_dbSys.InsertSysSet(id, "Font_Family", app->m_strFontFamily);
                number.Format("%d", app->m_nFontSize);
                m_dbSys.InsertSysSet(id, "Font_Size", number);
                m_dbSys.InsertSysSet(id, "Font_Color", app->m_strFontColor);
                number.Format("%d", app->m_nFontBold);
                m_dbSys.InsertSysSet(id, "Font_Bold", number);
                number.Format("%d", app->m_nFontItalic);
                m_dbSys.InsertSysSet(id, "Font_Italic", number);
                number.Format("%d", app->m_nFontUnderline);
                m_dbSys.InsertSysSet(id, "Font_Underline", number);
            }
        }
    } catch (...) {
    }
    // The search drop-down goes with its window.
    ReleaseSearchDropDown(this);
    // 6. The window.
    return CDlgBase::DestroyWindow();
}

CKivDlg* KivMainWindow()
{
    CKivApp* app = GetKivApp();
    return app ? dynamic_cast<CKivDlg*>(app->m_pMainWnd) : nullptr;
}
