// The SMS notices plug-in Bellwick.
#pragma once

#include "plugins/Bellwick/SmsNotify.h"

class CFileDbUser;

// The plug-in's application object: its two frames and the texts the show
// functions keep. It is not a CWinApp: the host's application object stays
// the process's one (AfxGetApp).
class CBellwickApp {
public:
    CBellwickApp() = default;
    ~CBellwickApp();
    BOOL InitInstance() { return TRUE; }
    // Minimises and destroys every frame window that is open.
    int ExitInstance();
    BOOL PreTranslateMessage(MSG* msg);

    CDlgFastSMSNotify m_dlgFast;
    CDlgStandardSMSNotify m_dlgStandard;
    CString m_strAccount;
    CString m_strVerifyCode;
    CString m_strRecName;
};

CBellwickApp& BellwickApp();

// Module globals set by the show functions.
struct BellwickGlobals {
    int ownId = 0;
    int recId = 0;
    int recType = 0;  // 0 a group, anything else a friend
    CFileDbUser* users = nullptr;
};
BellwickGlobals& Bellwick();
