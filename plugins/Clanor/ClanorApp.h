// The group information editor Clanor: a group's information page, opened
// from the group list, whose results go back to the list.
#pragma once

#include "plugins/Clanor/GrpInfo.h"
#include "plugins/common/PluginApp.h"

class CFileDbUser;

// Messages to the window to notify (the host's numbers).
const UINT kMsgGroupCardChanged = 10026;  // wParam CDataUser*: id and m_nGroupId the group, remark the card
const UINT kMsgGroupHeadChanged = 10028;  // wParam the group id
const UINT kMsgGroupInfoChanged = 10225;  // wParam CDataGroup*: id, name, style, note

// The plug-in's application object: the frame and what the last Show call
// gave.
class CClanorApp : public CPluginLoginApp {
public:
    CClanorApp() = default;
    ~CClanorApp();
    // Does not close the frame: the window stays until the user closes it
    // or the module is freed.
    int ExitInstance() { return 0; }

    CDialogGrpInfo m_dlgGrpInfo;
    CString m_strGroupId;   // decimal
    CString m_strUserId;    // decimal
    int m_nIsMaster = 0;
    CFileDbUser* m_pUserStore = nullptr;
    HWND m_hNotify = nullptr;
};

CClanorApp& ClanorApp();
