#include "Lum/KivApp.h"

#include "Lum/KivDlg.h"

#include "platform/files.h"
#include "platform/net.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "platform/version.h"

#include <ctime>
#include <vector>

// ---------------------------------------------------------------- Log

Log::Log()
{
    char path[MAX_PATH] = "";
    char drive[MAX_PATH] = "";
    char dir[MAX_PATH] = "";
    if (GetModuleFileName(nullptr, path, sizeof path)) _splitpath(path, drive, dir, nullptr, nullptr);
    // The directory ends with its separator.
    m_strPath.Format("%s%sLog", drive, dir);
}

Log::~Log() = default;

void Log::CreateLogFolder()
{
    struct _stat info;
    if (_stat(m_strPath, &info) != 0) _mkdir(m_strPath);
}

// ---------------------------------------------------------------- CKivApp

CKivApp::CKivApp() : m_clrButton(0xFF, 0, 0, 0)
{
    m_strAppPath = m_common.GetAppPath();
    SetUserPath(m_strAppPath);
}

CKivApp::~CKivApp() = default;

CKivApp* GetKivApp()
{
    return dynamic_cast<CKivApp*>(AfxGetApp());
}

int OwnId()
{
    CKivApp* app = GetKivApp();
    return app ? app->GetOwnUserId() : 0;
}

CString OwnAccount()
{
    CKivApp* app = GetKivApp();
    return app ? app->m_userSelf.m_strPhone : CString();
}

CString OwnVerifyCode()
{
    CKivApp* app = GetKivApp();
    return app ? app->m_strVerifyCode : CString();
}

BOOL CKivApp::InitInstance()
{
    // Size 8 and every class of common control.
    struct {
        DWORD dwSize;
        DWORD dwICC;
    } controls = {8, 0xFF};
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();

    Gdiplus::GdiplusStartupInput gdiplusInput;
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &gdiplusInput, nullptr);

    m_strAppPath = m_common.GetAppPath();
    SetUserPath(m_strAppPath);

    m_clrButton = Gdiplus::Color(0xFF, 0xFF, 0xB0, 0x4B);
    m_userSelf.m_bstrName = "";
    m_userSelf.m_bstrSign = "";
    m_nSendMsgKey = 0;
    m_nIdleTime = 0;
    m_nReplyIndex = 0;
    m_strReplyText = "";
    m_nAlwaysTop = 0;
    m_nPanelClose = 0;
    m_nSoundOff = 0;
    m_strFriendSound = "";
    m_strGroupSound = "";
    m_strFontFamily = "";
    m_nFontSize = 0;
    m_strFontColor = "";
    m_nFontBold = 0;
    m_nFontItalic = 0;
    m_nFontUnderline = 0;

    CheckUpdater();

    if (!AfxSocketInit()) {
        AfxMessageBox(IDP_SOCKETS_INIT_FAILED);
        return FALSE;
    }
    AfxEnableControlContainer();
    SetRegistryKey("应用程序向导生成的本地应用程序");

    RunMainWindow();
    return FALSE;
}

void CKivApp::RunMainWindow()
{
    CKivDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    // InitInstance runs on the UI thread, where workers read this pointer.
    m_pMainWnd = nullptr;
}

void CKivApp::CheckUpdater()
{
    // A missing updater reads as an empty version and so is replaced.
    CString version = GetFileProductVersion("Updater.exe");
    if (version.CompareNoCase(LUM_UPDATER_VERSION) != 0) {
        AfxBeginThread(ThreadDownloadUpdater, nullptr, THREAD_PRIORITY_NORMAL, 0, 0, nullptr);
    } else {
        // The updater checks the server itself and restarts the client when
        // files change.
        WinExec(m_strAppPath + "Updater.exe", SW_SHOWNORMAL);
    }
}

CString CKivApp::GetFileProductVersion(CString name)
{
    return ReadFileProductVersion(m_strAppPath + name);
}

std::string CKivApp::GetSessionKey() const
{
    return m_session.Now()->key;
}

void CKivApp::SetSessionKey(const std::string& key)
{
    m_session.Change([&](SessionSnapshot& s) { s.key = key; });
}

int CKivApp::GetOwnUserId() const
{
    return m_session.Now()->ownId;
}

void CKivApp::SetOwnUserId(int id)
{
    m_userSelf.m_nId = id;
    m_session.Change([&](SessionSnapshot& s) { s.ownId = id; });
}

void CKivApp::SetUserPath(const CString& folder)
{
    m_strUserPath = folder;
    m_session.Change([&](SessionSnapshot& s) { s.userFolder = folder.GetString(); });
}

// ---------------------------------------------------------------- update download

UINT ThreadDownloadUpdater(LPVOID)
{
    CKivApp* app = GetKivApp();
    const CString folder = app ? app->m_strAppPath : GetProgramFolder();

    // The time only defeats caches on the way.
    char stamp[64] = "";
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    strftime(stamp, sizeof stamp, "%Y-%m-%d_%H:%M:%S", &local);

    CString url = GetEndpointConfig().webBaseUrl + "/download/Updater.exe?t=" + stamp;
    CString target = folder + "tmpUpdater.exe";
    DeleteFile(target);
    // The new updater replaces the old one only when it is whole (the server
    // marked its end) and is the version this client asks for; otherwise the
    // old one stays as it was and nothing is started.
    if (URLDownloadToFile(nullptr, url, target, 0, nullptr) != S_OK ||
        ReadFileProductVersion(target).CompareNoCase(LUM_UPDATER_VERSION) != 0) {
        DeleteFile(target);
        return 0;
    }
    // The checked file takes the updater's place in one step ("Updater.exe"
    // is the program file "Updater" here).
    MarkProgramExecutable(target);
    if (!MoveFileEx(target, MapProgramName(folder + "Updater.exe"), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFile(target);
        return 0;
    }
    WinExec(folder + "Updater.exe", SW_SHOWNORMAL);
    return 1;
}
