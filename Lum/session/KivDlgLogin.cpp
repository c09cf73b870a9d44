#include "Lum/session/KivDlgLogin.h"

#include "base/MenuCommands.h"
#include "Common/MD5Crypt.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/KivDlgSettings.h"
#include "Lum/KivMessages.h"
#include "Lum/LumResource.h"
#include "Lum/session/Workers.h"
#include "base/WndMenu.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/threads.h"

#include <cstdlib>
#include <set>
#include <vector>

namespace {

// Status menu commands.

// Makes the dialog's rounded 6 x 6 region and gives buttons 1001 and 1002
// the background picture as what lies under them.
void PrepareFrame(CDialogEx& dlg, UINT background, CCustomPngButton& min, CCustomPngButton& close)
{
    CRect r;
    dlg.GetClientRect(&r);
    CRgn region;
    region.CreateRoundRectRgn(0, 0, r.Width() + 1, r.Height() + 1, 6, 6);
    dlg.SetWindowRgn(region, TRUE);
    dlg.SetBackgroundImage(background, BACKGR_TOPLEFT);

    min.SetButtonImage(IDB_PNG_MIN);
    close.SetButtonImage(IDB_PNG_CLOSE);
    CGdiPlusBitmapResource back(background, RT_BITMAP, AfxGetInstanceHandle());
    if (!back.m_pBitmap) return;
    for (CCustomPngButton* button : {&min, &close}) {
        CRect place;
        button->GetWindowRect(&place);
        dlg.ScreenToClient(&place);
        button->SetButtonBackImage(back.m_pBitmap, place.left, place.top);
    }
}

void MinimiseMainWindow()
{
    if (CWnd* main = AfxGetMainWnd()) main->ShowWindow(SW_MINIMIZE);
}

}  // namespace

// ================================================================ login window

IMPLEMENT_DYNAMIC(CKivDlgLogin, CDialogEx)

BEGIN_MESSAGE_MAP(CKivDlgLogin, CDialogEx)
    ON_WM_LBUTTONDOWN()
    ON_BN_CLICKED(IDC_BTN_MIN, OnBnClickedMin)
    ON_BN_CLICKED(IDC_BTN_CLOSE, OnBnClickedClose)
    ON_BN_CLICKED(IDC_BTN_EXPAND, OnBnClickedExpand)
    ON_BN_CLICKED(IDC_BTN_LOGIN, OnBnClickedLogin)
    ON_BN_CLICKED(IDC_BTN_REMEMBER, OnToggleRemember)
    ON_BN_CLICKED(IDC_BTN_AUTOLOGIN, OnToggleAutoLogin)
    ON_BN_CLICKED(IDC_BTN_FINDPWD, OnBnClickedFindPwd)
    ON_BN_CLICKED(IDC_BTN_HELP, OnBnClickedHelp)
    ON_BN_CLICKED(IDC_BTN_LOGIN_STATUS, OnBnClickedStatus)
    ON_COMMAND(IDM_ONLINE, OnStatusOnline)
    ON_COMMAND(IDM_AWAY, OnStatusAway)
END_MESSAGE_MAP()

CKivDlgLogin::CKivDlgLogin(CWnd* parent) : CDialogEx(IDD_DLG_LOGIN, parent)
{
    RegisterLumDialogTemplates();
}

CKivDlgLogin::~CKivDlgLogin()
{
    if (m_hWnd) DestroyWindow();
    for (CDataUser* user : m_listUsers) delete user;
    m_listUsers.clear();
    delete m_pEditFont;
    m_pEditFont = nullptr;
    if (m_hHead) DeleteObject(m_hHead);
}

void CKivDlgLogin::DoDataExchange(CDataExchange* dx)
{
    CDialogEx::DoDataExchange(dx);
    DDX_Control(dx, IDC_BTN_MIN, m_btnMin);
    DDX_Control(dx, IDC_BTN_CLOSE, m_btnClose);
    DDX_Control(dx, IDC_BTN_LOGIN, m_btnLogin);
    DDX_Control(dx, IDC_BTN_EXPAND, m_btnExpand);
    DDX_Control(dx, IDC_EDIT_ACCOUNT, m_editAccount);
    DDX_Control(dx, IDC_EDIT_PASSWORD, m_editPassword);
    DDX_Control(dx, IDC_LIST_LOGINER, m_listLoginer);
    DDX_Control(dx, IDC_BTN_LOGIN_STATUS, m_btnStatus);
    DDX_Control(dx, IDC_BTN_REMEMBER, m_btnRemember);
    DDX_Control(dx, IDC_BTN_AUTOLOGIN, m_btnAutoLogin);
    DDX_Control(dx, IDC_BTN_FINDPWD, m_btnFindPwd);
    DDX_Control(dx, IDC_BTN_HELP, m_btnHelp);
    DDX_Control(dx, IDC_PIC_HEAD, m_picHead);
}

void CKivDlgLogin::SetButtonImage(CCustomPngButton& button, UINT id)
{
    CResourceScope scope(AfxGetInstanceHandle());
    button.SetButtonImage(id);
    button.Invalidate();
}

BOOL CKivDlgLogin::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    CResourceScope scope(AfxGetInstanceHandle());

    // Top right of the screen.
    CRect r;
    GetWindowRect(&r);
    SetWindowPos(nullptr, GetSystemMetrics(SM_CXSCREEN) - r.Width() - 20, 10, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PrepareFrame(*this, IDB_BMP_LOGIN_BG, m_btnMin, m_btnClose);
    m_btnLogin.SetButtonImage(IDB_PNG_LOGIN);
    m_btnExpand.SetButtonImage(IDB_PNG_EXPAND);
    m_btnExpand.SetButtonBackColor(RGB(255, 255, 255));
    m_btnStatus.SetButtonImage(IDB_PNG_STATUS_ONLINE);
    m_btnRemember.SetButtonImage(IDB_PNG_REMEMBER_OFF);
    m_btnAutoLogin.SetButtonImage(IDB_PNG_AUTOLOGIN_OFF);
    m_btnFindPwd.SetButtonImage(IDB_PNG_FINDPWD);
    m_btnHelp.SetButtonImage(IDB_PNG_HELP);

    SetDefaultHead();

    m_pEditFont = new CFont;
    m_pEditFont->CreatePointFont(120, "Arial");
    m_editAccount.SetFont(m_pEditFont);
    m_editPassword.SetFont(m_pEditFont);
    m_listLoginer.InitList();
    m_listLoginer.m_pOwner = this;
    m_listLoginer.m_pSysStore = m_pSysDb;

    if (m_pSysDb) m_pSysDb->GetLoginerList(&m_listUsers);
    if (!m_listUsers.empty()) SelectAccount(m_listUsers.front(), m_listUsers.front()->m_strPhone);
    for (CDataUser* user : m_listUsers) m_listLoginer.AddAccount(user);

    m_editAccount.LimitText(50);
    return TRUE;
}

BOOL CKivDlgLogin::DestroyWindow()
{
    try {
        for (CDataUser* user : m_listUsers) delete user;
    } catch (...) {
    }
    m_listUsers.clear();
    m_pSelected = nullptr;
    delete m_pEditFont;
    m_pEditFont = nullptr;
    return CDialogEx::DestroyWindow();
}

void CKivDlgLogin::SetHeadPicture(Gdiplus::Bitmap* head)
{
    HBITMAP old = m_hHead;
    m_hHead = nullptr;
    if (head) {
        Gdiplus::Bitmap small(22, 22, Gdiplus::PixelFormat32bppARGB);
        Gdiplus::Graphics g(&small);
        g.DrawImage(head, 0, 0, 22, 22);
        small.GetHBITMAP(Gdiplus::Color(0xFFFFFFFF), &m_hHead);
    }
    m_picHead.SetBitmap(m_hHead);
    if (old) DeleteObject(old);
}

void CKivDlgLogin::SetDefaultHead()
{
    CGdiPlusBitmapResource head(IDB_PNG_HEAD_40, "PNG", AfxGetInstanceHandle());
    Gdiplus::Bitmap white(22, 22, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics g(&white);
    Gdiplus::SolidBrush brush(Gdiplus::Color(0xFFFFFFFF));
    g.FillRectangle(&brush, 0, 0, 22, 22);
    if (head.m_pBitmap) g.DrawImage(head.m_pBitmap, 0, 0, 22, 22);
    SetHeadPicture(&white);
}

void CKivDlgLogin::ShowAccountList(bool show)
{
    m_listLoginer.ShowWindow(show ? SW_SHOW : SW_HIDE);
    const int others = show ? SW_HIDE : SW_SHOW;
    m_editPassword.ShowWindow(others);
    m_btnRemember.ShowWindow(others);
    m_btnAutoLogin.ShowWindow(others);
    m_btnStatus.ShowWindow(others);
}

void CKivDlgLogin::SelectAccount(CDataUser* user, CString account)
{
    m_pSelected = user;
    m_editAccount.SetWindowText(account);
    if (user && !user->m_strPwd.IsEmpty()) {
        m_editPassword.SetWindowText(user->m_strPwd);
        m_nRemember = 0;
    } else {
        m_editPassword.SetWindowText("");
        m_nRemember = 1;
    }
    // Ends ticked with a stored password, unticked (with automatic login)
    // without.
    OnToggleRemember();
    ShowAccountList(false);
    if (user && user->m_imgHead) SetHeadPicture(user->m_imgHead);
    else SetDefaultHead();
}

void CKivDlgLogin::OnToggleRemember()
{
    if (m_nRemember) {
        m_nRemember = 0;
        SetButtonImage(m_btnRemember, IDB_PNG_REMEMBER_OFF);
        if (m_nAutoLogin) {
            m_nAutoLogin = 0;
            SetButtonImage(m_btnAutoLogin, IDB_PNG_AUTOLOGIN_OFF);
        }
    } else {
        m_nRemember = 1;
        SetButtonImage(m_btnRemember, IDB_PNG_REMEMBER_ON);
    }
}

void CKivDlgLogin::OnToggleAutoLogin()
{
    if (m_nAutoLogin) {
        m_nAutoLogin = 0;
        SetButtonImage(m_btnAutoLogin, IDB_PNG_AUTOLOGIN_OFF);
    } else {
        m_nAutoLogin = 1;
        SetButtonImage(m_btnAutoLogin, IDB_PNG_AUTOLOGIN_ON);
        if (!m_nRemember) {
            m_nRemember = 1;
            SetButtonImage(m_btnRemember, IDB_PNG_REMEMBER_ON);
        }
    }
}

void CKivDlgLogin::AutoLogin(int id)
{
    for (CDataUser* user : m_listUsers) {
        if (user->m_nId != id) continue;
        CString typed;
        m_editAccount.GetWindowText(typed);
        if (user->m_strPhone == typed) OnBnClickedLogin();
        return;
    }
}

void CKivDlgLogin::OnBnClickedLogin()
{
    CString account, password;
    m_editAccount.GetWindowText(account);
    m_editPassword.GetWindowText(password);
    account.Trim();
    password.Trim();
    if (account.IsEmpty()) {
        AfxMessageBox("请输入您的登录手机号或ID号或邮箱地址!");
        return;
    }
    if (password.IsEmpty()) {
        AfxMessageBox("请输入您的登录密码!");
        return;
    }
    CDialogEx::OnOK();  // hidden, not destroyed
    if (!m_pLogining || !m_pLogining->m_hWnd) return;
    CRect r;
    GetWindowRect(&r);
    m_pLogining->MoveWindow(&r);
    m_pLogining->ShowWindow(SW_SHOW);
    m_pLogining->StartLogin(account, password, m_nStatus);
}

void CKivDlgLogin::OnOK()
{
    // Enter presses the login button (the default button, id 1).
    OnBnClickedLogin();
}

void CKivDlgLogin::OnCancel()
{
    // Escape is the expand button (id 2), handled above; never closes.
}

void CKivDlgLogin::OnBnClickedMin()
{
    MinimiseMainWindow();
}

void CKivDlgLogin::OnBnClickedClose()
{
    PostQuitMessage(0);
}

void CKivDlgLogin::OnBnClickedExpand()
{
    ShowAccountList(!m_listLoginer.IsWindowVisible());
}

void CKivDlgLogin::OnBnClickedFindPwd()
{
    CString account;
    m_editAccount.GetWindowText(account);
    account.Trim();
    if (account.IsEmpty()) {
        AfxMessageBox("请输入您的登录账号!");
        return;
    }
    AfxBeginThread(ThreadGetPwd, new CString(account));
    AfxMessageBox("请稍后，您的密码将以短信发送到您的手机上");
}

void CKivDlgLogin::OnBnClickedHelp()
{
    ShellExecute(nullptr, "open", GetEndpointConfig().webBaseUrl, nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void CKivDlgLogin::OnBnClickedStatus()
{
    CWndMenu menu;
    menu.ShowLoginMenu(this, AfxGetInstanceHandle());
}

void CKivDlgLogin::OnStatusOnline()
{
    m_nStatus = 1;
    SetButtonImage(m_btnStatus, IDB_PNG_STATUS_ONLINE);
}

void CKivDlgLogin::OnStatusAway()
{
    m_nStatus = 2;
    SetButtonImage(m_btnStatus, IDB_PNG_STATUS_AWAY);
}

void CKivDlgLogin::OnLButtonDown(UINT flags, CPoint point)
{
    CPoint screen = point;
    ClientToScreen(&screen);
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
    if (m_listLoginer.IsWindowVisible()) ShowAccountList(false);
    CDialogEx::OnLButtonDown(flags, point);
}

BOOL CKivDlgLogin::PreTranslateMessage(MSG* msg)
{
    if (msg && msg->message == WM_KEYDOWN && m_listLoginer.m_hWnd && m_listLoginer.IsWindowVisible())
        ShowAccountList(false);
    return CDialogEx::PreTranslateMessage(msg);
}

// ================================================================ progress window

IMPLEMENT_DYNAMIC(CKivDlgLogining, CDialogEx)

BEGIN_MESSAGE_MAP(CKivDlgLogining, CDialogEx)
    ON_MESSAGE(UM_LOGIN_RESULT, OnLoginResult)
    ON_BN_CLICKED(IDC_BTN_MIN, OnBnClickedMin)
    ON_BN_CLICKED(IDC_BTN_CLOSE, OnBnClickedClose)
    ON_BN_CLICKED(IDC_BTN_LOGIN, OnBnClickedBack)
    ON_BN_CLICKED(IDC_BTN_EXPAND, OnBnClickedBack)
END_MESSAGE_MAP()

CKivDlgLogining::CKivDlgLogining(CWnd* parent) : CDialogEx(IDD_DLG_LOGINING, parent)
{
    RegisterLumDialogTemplates();
}

CKivDlgLogining::~CKivDlgLogining()
{
    if (m_hWnd) DestroyWindow();
}

void CKivDlgLogining::DoDataExchange(CDataExchange* dx)
{
    CDialogEx::DoDataExchange(dx);
    DDX_Control(dx, IDC_GIF_LOGINING, m_gifLogining);
    DDX_Control(dx, IDC_BTN_MIN, m_btnMin);
    DDX_Control(dx, IDC_BTN_CLOSE, m_btnClose);
    DDX_Control(dx, IDC_BTN_LOGIN, m_btnRelogin);
    DDX_Control(dx, IDC_BTN_EXPAND, m_btnCancel);
}

BOOL CKivDlgLogining::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    CResourceScope scope(AfxGetInstanceHandle());
    PrepareFrame(*this, IDB_BMP_LOGINING_BG, m_btnMin, m_btnClose);
    if (m_gifLogining.Load(MAKEINTRESOURCE(IDR_GIF_LOGINING), "gif")) m_gifLogining.Draw();
    m_btnRelogin.SetButtonImage(IDB_PNG_RELOGIN);
    m_btnCancel.SetButtonImage(IDB_PNG_CANCEL);
    m_btnRelogin.ShowWindow(SW_HIDE);
    return TRUE;
}

void CKivDlgLogining::OnOK()
{
    CDialogEx::OnOK();
}

void CKivDlgLogining::OnCancel()
{
    // Escape is the cancel button (id 2), handled above.
}

void CKivDlgLogining::OnBnClickedMin()
{
    MinimiseMainWindow();
}

void CKivDlgLogining::OnBnClickedClose()
{
    PostQuitMessage(0);
}

void CKivDlgLogining::OnBnClickedBack()
{
    // A login worker still running is not stopped: its result is handled
    // when it arrives.
    ShowWindow(SW_HIDE);
    m_btnCancel.ShowWindow(SW_SHOW);
    m_btnRelogin.ShowWindow(SW_HIDE);
    if (m_pLogin && m_pLogin->m_hWnd) m_pLogin->ShowWindow(SW_SHOW);
}

void CKivDlgLogining::StartLogin(CString account, CString password, int status)
{
    m_btnRelogin.ShowWindow(SW_HIDE);
    m_btnCancel.ShowWindow(SW_SHOW);
    SetDlgItemText(IDC_STATIC_FAILURE, "");

    auto* login = new lum_thrift::StructLogin;
    login->name = account.str();
    login->pwd = password.str();
    login->type = 2;
    login->version = 6;
    if (m_pMain) {
        ++m_pMain->m_nLoginsInFlight;
        m_pMain->m_pCurrentLogin = login;
    }
    if (!AfxBeginThread(ThreadLogin, login)) {
        delete login;
        if (m_pMain) {
            --m_pMain->m_nLoginsInFlight;
            m_pMain->m_pCurrentLogin = nullptr;
        }
        PostMessage(UM_LOGIN_RESULT, 0, lum_thrift::ResultCode::TRANSPORT_EXCEPTION);
    }
    m_strAccount = account;
    m_strPassword = password;
    m_nStatus = status;
}

void CKivDlgLogining::ReLogin(int status)
{
    if (!m_strAccount.IsEmpty() && !m_strPassword.IsEmpty()) StartLogin(m_strAccount, m_strPassword, status);
}

void CKivDlgLogining::ShowFailure(const char* text)
{
    SetDlgItemText(IDC_STATIC_FAILURE, text);
    m_btnRelogin.ShowWindow(SW_SHOW);
    m_btnCancel.ShowWindow(SW_HIDE);
}

LRESULT CKivDlgLogining::OnLoginResult(WPARAM, LPARAM lParam)
{
    switch (static_cast<int>(lParam)) {
    case lum_thrift::ResultCode::SUCCESS:
        AfterLogin();
        FinishLogin();
        break;
    case lum_thrift::ResultCode::VERSION_LOWER: ShowFailure("版本过低,请下载最新版本"); break;
    case lum_thrift::ResultCode::LOGIN_NO_REGISTER: ShowFailure("帐号没有注册！"); break;
    case lum_thrift::ResultCode::LOGIN_PWD_ERR: ShowFailure("密码错误！"); break;
    case lum_thrift::ResultCode::LOGIN_CANCEL: ShowFailure("你已经注销了Orvane业务"); break;
    case lum_thrift::ResultCode::LOGIN_IN_OTHER: ShowFailure("你已正在其它地方登录中"); break;
    default: ShowFailure("服务器连接失败，请稍后再试！"); break;
    }
    return 0;
}

void CKivDlgLogining::AfterLogin()
{
    CKivApp* app = GetKivApp();
    CKivDlg* main = m_pMain;
    if (!app || !main) return;
    const int ownId = app->GetOwnUserId();

    // 1. The remembered entry of the typed account, the login account and
    // the password to remember (or none).
    // The system store keeps names and notes with one trailing blank of its
    // own; the record holds them without it, so that each write of the
    // remembered entry adds that one blank and no more.
    if (main->m_dbSys.GetLoginer(m_strAccount, &app->m_userSelf)) {
        for (_bstr_t* text : {&app->m_userSelf.m_bstrName, &app->m_userSelf.m_bstrSign}) {
            const CString value = static_cast<const char*>(*text);
            if (!value.IsEmpty() && value.Right(1) == " ") *text = value.Left(value.GetLength() - 1);
        }
    }
    app->SetOwnUserId(ownId);
    app->m_userSelf.m_strPhone = m_strAccount;
    const bool remember = m_pLogin && m_pLogin->m_nRemember == 1;
    app->m_userSelf.m_strPwd = remember ? m_strPassword : CString();

    // 2. The panel's own head in colour.
    {
        CGdiPlusBitmapResource head(IDB_PNG_HEAD_DEFAULT, "PNG", AfxGetInstanceHandle());
        delete main->m_pHeadImage;
        main->m_pHeadImage = nullptr;
        if (head.m_pBitmap) {
            main->m_pHeadImage = new Gdiplus::Bitmap(static_cast<Gdiplus::INT>(head.m_pBitmap->GetWidth()),
                                                     static_cast<Gdiplus::INT>(head.m_pBitmap->GetHeight()));
            Gdiplus::Graphics g(main->m_pHeadImage);
            g.DrawImage(head.m_pBitmap, 0, 0);
        }
    }

    // 3. Automatic login next time: this account when ticked, none when not
    // (an unticked box turns off what an earlier login turned on).
    if (m_pLogin) {
        main->m_dbSys.InsertSysSet(0, "Basic_AutoLogin", m_pLogin->m_nAutoLogin == 1 ? IdText(ownId) : CString("0"));
    }

    // 4. The user's stores. Stores still open for an earlier user (a log-out
    // leaves them open) are closed first, so that one user's contacts and
    // history never land in another's files.
    main->ConnectUserStores(ownId);

    // 5. Folders.
    CString userFolder;
    userFolder.Format("%s%d/", app->m_strAppPath.GetString(), ownId);
    app->SetUserPath(userFolder);
    app->m_strImagePath.Format("%stmpimage/", app->m_strUserPath.GetString());
    CreateDirectory(app->m_strImagePath, nullptr);
    app->m_strImagePath.Replace("\\", "/");

    // 6. The own head and the remembered entry. The head comes in the
    // background, as the UI thread never waits for the web server; until it
    // has come the own record keeps the head remembered with the account, and
    // the record is written again with the new head when it comes.
    StartOwnHeadDownload(ownId);
    app->m_userSelf.Update(&main->m_dbSys);

    // 7. The lists from the local store until the server answers.
    {
        std::set<CDataGroup*> groups;
        main->m_dbUser.GetGroupList(&groups, 0);
        for (CDataGroup* group : groups) {
            main->m_listGroup.AddGroup(group, 0);
            delete group;
        }
        for (int list = 1; list <= 2; ++list) {
            std::set<CDataUser*> users;
            main->m_dbUser.GetGroupUserList(list, &users);
            CKivUsersListCtrl& target = list == 1 ? main->m_listFriend : main->m_listStranger;
            target.AddUsers(users);
            for (CDataUser* user : users) delete user;
        }
    }

    // 8. Own information and settings.
    main->SendMessage(UM_OWN_INFO_CHANGED, 0, 1);
    main->SendMessage(UM_SETTINGS_CHANGED, 0, 0);

    // 9. The chat font.
    app->m_strFontFamily = main->m_dbSys.GetSysSet(ownId, "Font_Family");
    app->m_nFontSize = atoi(main->m_dbSys.GetSysSet(ownId, "Font_Size"));
    app->m_strFontColor = main->m_dbSys.GetSysSet(ownId, "Font_Color");
    app->m_nFontBold = atoi(main->m_dbSys.GetSysSet(ownId, "Font_Bold"));
    app->m_nFontItalic = atoi(main->m_dbSys.GetSysSet(ownId, "Font_Italic"));
    app->m_nFontUnderline = atoi(main->m_dbSys.GetSysSet(ownId, "Font_Underline"));
    ApplyChatFontSettings(app);

    // 10. The skin: an image name, or red, green and blue.
    CString skin = main->m_dbSys.GetSysSet(ownId, "skin");
    skin.Trim();
    if (!skin.IsEmpty()) {
        std::vector<CString> parts;
        int start = 0;
        for (;;) {
            const int comma = skin.Find(',', start);
            parts.push_back(comma < 0 ? skin.Mid(start) : skin.Mid(start, comma - start));
            if (comma < 0) break;
            start = comma + 1;
        }
        if (parts.size() == 1) {
            CString name = parts[0];
            main->SendMessage(UM_SKIN_CHANGE, reinterpret_cast<WPARAM>(&name), 1);
        } else if (parts.size() >= 3) {
            const COLORREF color = RGB(atoi(parts[0]) & 0xFF, atoi(parts[1]) & 0xFF, atoi(parts[2]) & 0xFF);
            main->SendMessage(UM_SKIN_CHANGE, color, 0);
        }
    }

    // 11. The lists, the black list and their replies.
    AfxBeginThread(ThreadGetGroupList, nullptr);
    AfxBeginThread(ThreadGetFriendList, nullptr);
    AfxBeginThread(ThreadGetBlackList, nullptr);
}

void CKivDlgLogining::FinishLogin()
{
    m_btnRelogin.ShowWindow(SW_HIDE);
    m_btnCancel.ShowWindow(SW_SHOW);
    CKivDlg* main = m_pMain;
    if (!main || !main->m_hWnd) return;

    CRect mine, panel;
    GetWindowRect(&mine);
    main->GetWindowRect(&panel);
    main->MoveWindow(mine.left, mine.top, panel.Width(), panel.Height());
    main->SetTrayIcon(main->m_hIcon);

    main->m_nStatus = m_nStatus;
    main->SetStatusImage(m_nStatus);

    // The panel, transparent while logged out, becomes visible.
    main->m_layered.RemoveLayeredStyle(main->m_hWnd);
    CDialogEx::OnOK();
}

void MakeVerifyCode(CKivDlgLogining* dlg, CString text)
{
    CKivApp* app = GetKivApp();
    if (!app || !dlg) return;
    app->m_strVerifyCode = "";
    CString source;
    source.Format("%s%s", dlg->m_strPassword.GetString(), text.GetString());
    CMD5Crypt md5;
    md5.GetMd5String(app->m_strVerifyCode, source);
}
