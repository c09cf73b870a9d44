#include "plugins/Bellwick/BellwickApp.h"
#include "plugins/Bellwick/BellwickExports.h"

PLUGIN_APP_OBJECTS(CBellwickApp, BellwickApp, BellwickGlobals, Bellwick)

int CBellwickApp::ExitInstance()
{
    ClosePluginFrame(m_dlgFast);
    ClosePluginFrame(m_dlgStandard);
    return 0;
}

// The exports as BellwickExports.h gives them: a definition below whose type
// differs from its declaration here does not compile.
PLUGIN_EXPORT decltype(BellwickExports::showFastSmsNotify)::Function showFastSmsNotify;
PLUGIN_EXPORT decltype(BellwickExports::showStandardSmsNotify)::Function showStandardSmsNotify;

// A notice to one recipient: a friend, or a group when `type` is 0.
PLUGIN_EXPORT void showFastSmsNotify(int ownId, CString account, int recId, CString recName, int type,
                                     CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.ownId = ownId;
    globals.recId = recId;
    globals.recType = type;
    theApp.TakeLogin(account, verifyCode);
    theApp.m_strRecName = recName;
    RegisterFastSmsTemplates();
    ReplacePluginFrame(theApp.m_dlgFast, IDD_DLG_FAST_SMS);
}

// A notice to the friends and group members ticked in a tree of the
// contact store's friends and groups.
PLUGIN_EXPORT void showStandardSmsNotify(int ownId, CString account, CFileDbUser* users, CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.ownId = ownId;
    globals.users = users;
    theApp.TakeLogin(account, verifyCode);
    RegisterStandardSmsTemplates();
    ReplacePluginFrame(theApp.m_dlgStandard, IDD_DLG_STANDARD_SMS);
}

PLUGIN_APP_EXPORTS(theApp)
