// The login window and the login-progress window.
//
// The login window takes the account and password, offers the accounts
// remembered on this computer, the status to log in with and the options to
// remember the password and to log in automatically, and asks the service to
// send a forgotten password by SMS. The progress window takes its place while
// the login worker runs, plays an animation, and then shows why the login
// failed or completes the login (stores, folders, lists, settings, skin) and
// makes the main window visible. Both are popup windows owned by the main
// window and live as long as it does; they are shown and hidden.
#pragma once

#include "Common/controls/CustomPngButton.h"
#include "Common/records/Data.h"
#include "Common/stores/FileDbSys.h"
#include "Common/controls/PictureEx.h"
#include "Lum/session/KivLoginerList.h"
#include "platform/controls.h"
#include "platform/dialog.h"

#include <list>

class CKivDlg;
class CKivDlgLogining;

class CKivDlgLogin : public CDialogEx {
    DECLARE_DYNAMIC(CKivDlgLogin)

public:
    explicit CKivDlgLogin(CWnd* parent = nullptr);
    ~CKivDlgLogin() override;

    BOOL OnInitDialog() override;
    BOOL DestroyWindow() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    // Puts a remembered account into the boxes (first account at start, or a
    // row clicked in the account list).
    void SelectAccount(CDataUser* user, CString account);
    // Logs in when the remembered account with this user id is the one in
    // the account box.
    void AutoLogin(int id);

    CCustomPngButton m_btnMin;
    CCustomPngButton m_btnClose;
    CCustomPngButton m_btnLogin;
    CCustomPngButton m_btnExpand;
    CEdit m_editAccount;
    CEdit m_editPassword;
    CFont* m_pEditFont = nullptr;
    CKivLoginerList m_listLoginer;
    CCustomPngButton m_btnStatus;
    CCustomPngButton m_btnRemember;
    CCustomPngButton m_btnAutoLogin;
    CCustomPngButton m_btnFindPwd;
    CCustomPngButton m_btnHelp;
    int m_nStatus = 1;      // 1 online, 2 away
    int m_nRemember = 0;    // remember the password
    int m_nAutoLogin = 0;   // log in automatically
    std::list<CDataUser*> m_listUsers;  // remembered accounts (owned)
    CDataUser* m_pSelected = nullptr;   // the account last put into the boxes
    CStatic m_picHead;                  // control 1003
    HBITMAP m_hHead = nullptr;          // what control 1003 shows (owned)

    // Set by the main window before the window is created.
    CFileDbSys* m_pSysDb = nullptr;
    CKivDlgLogining* m_pLogining = nullptr;

    void OnToggleRemember();
    void OnToggleAutoLogin();

protected:
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;
    void OnCancel() override;
    void OnLButtonDown(UINT flags, CPoint point) override;

    void OnBnClickedMin();
    void OnBnClickedClose();
    void OnBnClickedExpand();
    void OnBnClickedLogin();
    void OnBnClickedFindPwd();
    void OnBnClickedHelp();
    void OnBnClickedStatus();
    void OnStatusOnline();
    void OnStatusAway();

    DECLARE_MESSAGE_MAP()

private:
    void ShowAccountList(bool show);
    void SetHeadPicture(Gdiplus::Bitmap* head);
    void SetDefaultHead();
    void SetButtonImage(CCustomPngButton& button, UINT id);
};

class CKivDlgLogining : public CDialogEx {
    DECLARE_DYNAMIC(CKivDlgLogining)

public:
    explicit CKivDlgLogining(CWnd* parent = nullptr);
    ~CKivDlgLogining() override;

    BOOL OnInitDialog() override;

    // Starts the login worker with the account and password as typed.
    void StartLogin(CString account, CString password, int status);
    // Repeats the last login started here with a new status; nothing when
    // none was started.
    void ReLogin(int status);
    // UM_LOGIN_RESULT, posted by the main window: lParam the result code.
    LRESULT OnLoginResult(WPARAM wParam, LPARAM lParam);
    void AfterLogin();
    void FinishLogin();

    CString m_strAccount;
    CString m_strPassword;
    CPictureEx m_gifLogining;
    CCustomPngButton m_btnMin;
    CCustomPngButton m_btnClose;
    CCustomPngButton m_btnRelogin;
    CCustomPngButton m_btnCancel;
    int m_nStatus = 1;

    // Set by the main window before the window is created.
    CKivDlg* m_pMain = nullptr;
    CKivDlgLogin* m_pLogin = nullptr;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;
    void OnCancel() override;
    void OnBnClickedMin();
    void OnBnClickedClose();
    void OnBnClickedBack();

    DECLARE_MESSAGE_MAP()

private:
    void ShowFailure(const char* text);
};

// The verify code of the login: MD5, as 32 lower-case hex digits, of the
// password kept by the progress window followed by `text` (the culdate of
// the login reply's user). Kept in the application until the next login.
void MakeVerifyCode(CKivDlgLogining* dlg, CString text);
