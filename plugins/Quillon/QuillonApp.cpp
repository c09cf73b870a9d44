#include "plugins/Quillon/QuillonApp.h"
#include "plugins/Quillon/QuillonExports.h"

namespace {

CQuillonApp theApp;
QuillonGlobals globals;

}  // namespace

CQuillonApp& QuillonApp()
{
    return theApp;
}

QuillonGlobals& Quillon()
{
    return globals;
}

CQuillonApp::~CQuillonApp()
{
    ExitInstance();
}

int CQuillonApp::ExitInstance()
{
    ClosePluginFrame(m_dlgQuillon);
    ClosePluginFrame(m_dlgViewHisMsg);
    return 0;
}

// The exports as QuillonExports.h gives them: a definition below whose type
// differs from its declaration here does not compile.
PLUGIN_EXPORT decltype(QuillonExports::showQuillon)::Function showQuillon;
PLUGIN_EXPORT decltype(QuillonExports::showHisMsg)::Function showHisMsg;

// The message manager over the host's stores, for the logged-in user.
PLUGIN_EXPORT void showQuillon(CFileDbMsg* msgStore, CFileDbUser* userStore, int ownId)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.dbMsg = msgStore;
    globals.dbUser = userStore;
    globals.ownId = ownId;
    RegisterQuillonTemplates();
    ReplacePluginFrame(theApp.m_dlgQuillon, IDD_DLG_SHOW_QUILLON);
}

// The history of one contact or group: its id, name and kind (1 friend,
// 2 stranger, 3 group, 4 discussion group).
PLUGIN_EXPORT void showHisMsg(CFileDbMsg* msgStore, CFileDbUser* userStore, int id, CString name, int kind)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.viewDbMsg = msgStore;
    globals.viewDbUser = userStore;
    globals.viewId = id;
    globals.viewKind = kind;
    theApp.m_strViewName = name;
    RegisterViewHisMsgTemplates();
    ReplacePluginFrame(theApp.m_dlgViewHisMsg, IDD_DLG_VIEW_HIS_MSG);
}

PLUGIN_APP_EXPORTS(theApp)
