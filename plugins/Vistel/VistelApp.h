// The cards plug-in Vistel: the card of a friend, stranger or group (Show),
// the friend-remark editor (EditFrdRemark) and the group-card editor
// (EditGrpCard).
#pragma once

#include "plugins/Vistel/VistelDialogs.h"
#include "plugins/common/PluginApp.h"

// The plug-in's application object: its three frames and the values the
// exports keep.
class CVistelApp : public CPluginLoginApp {
public:
    CVistelApp() = default;
    ~CVistelApp();
    // Minimises and destroys the card; ends an editor still running.
    int ExitInstance();

    CDialogVistel m_dlgVistel;
    CDialogRemark m_dlgRemark;
    CDialogGrpCard m_dlgGrpCard;

    CString m_strId;       // "%d" of the friend, stranger or group
    CString m_strKind;     // "%d" of the card kind: 0 friend, 1 group, 2 stranger
    HWND m_hNotify = nullptr;  // receiver of 10025 and 10026
};

CVistelApp& VistelApp();
