// The system-settings plug-in Prefor: the settings window of the logged-in
// user over the host's system store, with the black-list editor.
#pragma once

#include "plugins/Prefor/DialogSysSet.h"
#include "plugins/common/PluginApp.h"

class CFileDbSys;

// The plug-in's application object, which owns the one settings frame.
class CPreforApp : public CPluginApp {
public:
    CPreforApp() = default;
    ~CPreforApp();
    // Destroys the settings window when it is open.
    int ExitInstance();

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
