#include "plugins/Prefor/PreforApp.h"
#include "plugins/Prefor/PreforExports.h"

namespace {

CPreforApp theApp;
PreforGlobals globals;

// Both show functions: keep the arguments and open the settings window.
int ShowSysSet(int userId, CFileDbSys* store, HWND mainWnd, int blackList)
{
    globals.userId = userId;
    globals.store = store;
    globals.mainWnd = mainWnd;
    globals.blackList = blackList;
    RegisterSysSetTemplates();
    CDialogSysSet& frame = theApp.m_dlgSysSet;
    if (frame.m_hWnd) {
        // The window of this load is still open: bring it forward instead
        // of creating a second window over the same object.
        frame.ShowWindow(SW_SHOW);
        if (blackList == 1) frame.m_html.InvokeScriptMethod("showBlackListDiv");
        return 0;
    }
    if (!frame.Create(IDD_DLG_SYS_SET, nullptr)) return 0;
    frame.ShowWindow(SW_SHOW);
    frame.UpdateWindow();
    return 0;
}

}  // namespace

CPreforApp& PreforApp()
{
    return theApp;
}

PreforGlobals& Prefor()
{
    return globals;
}

CPreforApp::~CPreforApp()
{
    ExitInstance();
}

int CPreforApp::ExitInstance()
{
    if (m_dlgSysSet.m_hWnd) m_dlgSysSet.DestroyWindow();
    return 0;
}

// The exports as PreforExports.h gives them: a definition below whose type
// differs from its declaration here does not compile.
PLUGIN_EXPORT decltype(PreforExports::Show)::Function Show;
PLUGIN_EXPORT decltype(PreforExports::ShowBlackList)::Function ShowBlackList;

// The settings window of the logged-in user, on its basic page.
PLUGIN_EXPORT int Show(int userId, CFileDbSys* store, HWND mainWnd)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return ShowSysSet(userId, store, mainWnd, 0);
}

// The settings window on its block page (the black list).
PLUGIN_EXPORT int ShowBlackList(int userId, CFileDbSys* store, HWND mainWnd)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return ShowSysSet(userId, store, mainWnd, 1);
}

PLUGIN_APP_EXPORTS(theApp)
