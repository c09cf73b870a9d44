#include "plugins/Mievo/MievoApp.h"
#include "plugins/Mievo/MievoExports.h"

#include "Common/records/Data.h"

PLUGIN_APP_OBJECTS(CMievoApp, MievoApp, MievoGlobals, Mievo)

int CMievoApp::ExitInstance()
{
    ClosePluginFrame(m_dlgHeadPhoto);
    ClosePluginFrame(m_dlgUserInfo);
    return 0;
}

// The exports as MievoExports.h gives them: a definition below whose type
// differs from its declaration here does not compile.
PLUGIN_EXPORT decltype(MievoExports::Show)::Function Show;

// The profile window of the logged-in user: the host's system store, its
// own record, the main window and the verify code.
PLUGIN_EXPORT int Show(CFileDbSys* store, CDataUser* ownRecord, HWND mainWnd, CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.store = store;
    globals.own = ownRecord;
    globals.mainWnd = mainWnd;
    theApp.TakeLogin(ownRecord ? ownRecord->m_strPhone : CString(), verifyCode);
    RegisterUserInfoTemplates();
    ReplacePluginFrame(theApp.m_dlgUserInfo, IDD_DIALOG_USERINFO);
    return 0;
}

PLUGIN_APP_EXPORTS(theApp)
