// The own-profile plug-in Mievo: the profile window (Show), edited on the
// web server and announced to the main window, and the head-photo window in
// which the web server's own page uploads a new head.
#pragma once

#include "plugins/Mievo/HeadPhoto.h"
#include "plugins/Mievo/UserInfo.h"
#include "plugins/common/PluginApp.h"

class CDataUser;

// Messages to the main window (the host's numbers).
const UINT kMsgOwnHeadChanged = 10035;  // wParam 0; lParam 1: the own record's head was reloaded
const UINT kMsgOwnInfoChanged = 10036;  // wParam the own record, lParam 0

// The plug-in's application object: its two frames, the account and the
// verify code.
class CMievoApp : public CPluginLoginApp {
public:
    CMievoApp() = default;
    ~CMievoApp();
    // Minimises and destroys every frame window that is open.
    int ExitInstance();

    CDialogUserInfo m_dlgUserInfo;
    CDialogHeadPhoto m_dlgHeadPhoto;
};

CMievoApp& MievoApp();

// Module globals set by Show.
struct MievoGlobals {
    void* store = nullptr;           // the host's system store
    CDataUser* own = nullptr;        // the host's own record
    HWND mainWnd = nullptr;
};
MievoGlobals& Mievo();
