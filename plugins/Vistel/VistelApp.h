// The cards plug-in Vistel: the card of a friend, stranger or group (Show),
// the friend-remark editor (EditFrdRemark) and the group-card editor
// (EditGrpCard).
#pragma once

#include "plugins/Vistel/VistelDialogs.h"

// The plug-in's application object: its three frames and the values the
// exports keep. Not a CWinApp: the host's application object stays the
// process's one (AfxGetApp), as each module keeps its own state.
class CVistelApp {
public:
    CVistelApp() = default;
    ~CVistelApp();
    BOOL InitInstance() { return TRUE; }
    // Minimises and destroys the card; ends an editor still running.
    int ExitInstance();
    BOOL PreTranslateMessage(MSG* msg);

    CDialogVistel m_dlgVistel;
    CDialogRemark m_dlgRemark;
    CDialogGrpCard m_dlgGrpCard;

    CString m_strId;       // "%d" of the friend, stranger or group
    CString m_strKind;     // "%d" of the card kind: 0 friend, 1 group, 2 stranger
    CString m_strAccount;  // login account, or the own user id (group card)
    CString m_strVerifyCode;
    HWND m_hNotify = nullptr;  // receiver of 10025 and 10026
};

CVistelApp& VistelApp();
