// The system-settings plug-in Prefor: the settings window of the logged-in
// user over the host's system store, with the black-list editor.
#pragma once

#include "plugins/Prefor/DialogSysSet.h"

class CFileDbSys;

// The plug-in's application object, which owns the one settings frame. It is
// not a CWinApp: the host's application object stays the process's one.
class CPreforApp {
public:
    CPreforApp() = default;
    ~CPreforApp();
    // Destroys the settings window when it is open.
    int ExitInstance();
    BOOL PreTranslateMessage(MSG* msg);

    CDialogSysSet m_dlgSysSet;
};

CPreforApp& PreforApp();

// Module globals set by the show functions and read by the page.
struct PreforGlobals {
    int userId = 0;
    CFileDbSys* store = nullptr;
    HWND mainWnd = nullptr;
    int blackList = 0;  // 1 when opened on the black list
};
PreforGlobals& Prefor();

// Message numbers of the main window.
const UINT kSettingsChangedMessage = 10027;
const UINT kBlackListRemovedMessage = 10034;
