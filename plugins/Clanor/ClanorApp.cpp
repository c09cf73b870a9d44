#include "plugins/Clanor/ClanorApp.h"
#include "plugins/Clanor/ClanorExports.h"

PLUGIN_APP_OBJECT(CClanorApp, ClanorApp)

CClanorApp::~CClanorApp()
{
    if (m_dlgGrpInfo.m_hWnd) m_dlgGrpInfo.DestroyWindow();
}

// The exports as ClanorExports.h gives them: a definition below whose type
// differs from its declaration here does not compile.
PLUGIN_EXPORT decltype(ClanorExports::Show)::Function Show;

// The information page of group `gid` for the user `ownId` logged in as
// `account`; `isMaster` 1 when the user owns the group; results go to
// `notify` (the group list).
PLUGIN_EXPORT int Show(int ownId, CString account, int gid, int isMaster, CFileDbUser* userStore, HWND notify,
                       CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.TakeLogin(account, verifyCode);
    theApp.m_strGroupId = IdText(gid);
    theApp.m_strUserId = IdText(ownId);
    theApp.m_nIsMaster = isMaster;
    theApp.m_pUserStore = userStore;
    theApp.m_hNotify = notify;
    RegisterGrpInfoTemplates();
    ReplacePluginFrame(theApp.m_dlgGrpInfo, IDD_DIALOG_GRPINFO);
    return 0;
}

PLUGIN_APP_EXPORTS(theApp)
