// The application object of the client program and the process-wide login
// state that the rest of the client reads.
//
// InitInstance prepares the process, makes sure the updater beside the
// program is current (starting it, or downloading a fresh one in the
// background) and then runs the main window; the process ends when the main
// window has ended.
#pragma once

#include "Common/Common.h"
#include "Common/records/Data.h"
#include "Lum/session/SessionState.h"
#include "platform/afx.h"
#include "platform/gdiplus.h"
#include "platform/uiapp.h"

#include <mutex>
#include <string>

// String table entry shown when sockets cannot be prepared.
#define IDP_SOCKETS_INIT_FAILED 103

// The version of the updater this client expects beside itself.
#define LUM_UPDATER_VERSION "1.0.0.3"

// Keeps the path of the folder "Log" beside the program and makes the folder
// on request. Nothing is ever written into it.
class Log {
public:
    Log();
    virtual ~Log();

    // Creates the folder when it does not exist yet; the result is ignored.
    void CreateLogFolder();

    CString m_strPath;  // "<drive><directory of the program>Log"
};

class CKivApp : public CWinApp {
public:
    CKivApp();
    ~CKivApp() override;

    // Runs the whole client; returns FALSE so that the process ends when the
    // main window has ended.
    BOOL InitInstance() override;

    // The product version of a file in the program folder ("Updater.exe"
    // names the updater program beside the client); an empty text when the
    // file is missing or carries no version.
    CString GetFileProductVersion(CString name);

    // The update check: starts the updater when its version is the expected
    // one (letter case aside), otherwise starts a background download of a
    // fresh one. Returns at once either way.
    void CheckUpdater();

    // The session as workers see it: take it once with Now() and keep it
    // for the whole work. The UI thread changes it through the setters below.
    const SessionState& GetSession() const { return m_session; }
    // The session key (sent as `_key` with every service call), replaced at
    // login and emptied when going offline.
    std::string GetSessionKey() const;
    void SetSessionKey(const std::string& key);
    // The own user id (also the id of m_userSelf, 0 when logged out): write
    // it through SetOwnUserId.
    int GetOwnUserId() const;
    void SetOwnUserId(int id);
    // The user's folder, m_strUserPath: write it through SetUserPath.
    void SetUserPath(const CString& folder);

    ULONG_PTR m_gdiplusToken = 0;        // GDI+ stays started for the whole process
    Gdiplus::Color m_clrButton;          // background colour of four buttons of the main window
    CString m_strAppPath;                // program folder, ends with '/'
    CString m_strUserPath;               // the program folder; "<program folder><own id>/" after login (UI thread; workers read the session's)
    CString m_strImagePath;              // "<user folder>tmpimage/" after login, for chat images
    CDataUser m_userSelf;                // the logged-in user; its id is the own user id
    CString m_strVerifyCode;             // 32 lower-case hex digits made after login
    CCommon m_common;

    // Settings values of the own user, applied by the main window.
    int m_nSendMsgKey = 0;               // Hotkey_SendMsg: 1 = Ctrl+Enter sends
    int m_nIdleTime = 0;                 // Status_IdleTime: 0 = no automatic away
    int m_nReplyIndex = 0;               // Status_ReplyIndex
    CString m_strReplyText;              // the chosen automatic reply; empty = none
    int m_nAlwaysTop = 0;                // Basic_AlwaysTop
    int m_nPanelClose = 0;               // Basic_PanelClose: 1 = close hides the main window
    int m_nSoundOff = 0;                 // Sound_MsgRemind: 0 = play message sounds
    CString m_strFriendSound;            // Sound_FMsgAddress
    CString m_strGroupSound;             // Sound_GMsgAddress

    // Chat font of the own user (Font_Family ... Font_Underline).
    CString m_strFontFamily;
    int m_nFontSize = 0;
    CString m_strFontColor;
    int m_nFontBold = 0;
    int m_nFontItalic = 0;
    int m_nFontUnderline = 0;

    Log m_log;

protected:
    // The main window step of InitInstance: constructs the main window, sets
    // m_pMainWnd to it, runs it as a modal dialog and returns when it has
    // ended. m_pMainWnd must be cleared (on the UI thread) before the window
    // object goes out of scope: workers reach the main window through it.
    virtual void RunMainWindow();

private:
    SessionState m_session;
};

// The application object, or null when there is none.
CKivApp* GetKivApp();
// The own user id of the application object (0 when there is none or when
// logged out).
int OwnId();
// The account the user logged in with and the verify code the service gave
// that login, as the modules take them ("" when there is no application
// object).
CString OwnAccount();
CString OwnVerifyCode();

// Worker procedure of the updater download (no parameter): 1 when a fresh
// updater was installed and started, 0 when the download failed.
UINT ThreadDownloadUpdater(LPVOID param);
