#include "plugins/Clanor/ClanorApp.h"

#include "plugins/common/PluginUtil.h"
#include "platform/resources.h"

#define CLANOR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

CClanorApp theApp;

}  // namespace

CClanorApp& ClanorApp()
{
    return theApp;
}

CClanorApp::~CClanorApp()
{
    if (m_dlgGrpInfo.m_hWnd) m_dlgGrpInfo.DestroyWindow();
}

BOOL CClanorApp::PreTranslateMessage(MSG* msg)
{
    return ModulePreTranslateMessage(msg);
}

// The information page of group `gid` for the user `ownId` logged in as
// `account`; `isMaster` 1 when the user owns the group; results go to
// `notify` (the group list).
CLANOR_EXPORT int Show(int ownId, CString account, int gid, int isMaster, CFileDbUser* userStore, HWND notify,
                       CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.m_strAccount = account;
    theApp.m_strGroupId.Format("%d", gid);
    theApp.m_strUserId.Format("%d", ownId);
    theApp.m_strVerifyCode = verifyCode;
    theApp.m_nIsMaster = isMaster;
    theApp.m_pUserStore = userStore;
    theApp.m_hNotify = notify;
    RegisterGrpInfoTemplates();
    CDialogGrpInfo& frame = theApp.m_dlgGrpInfo;
    if (frame.m_hWnd) frame.DestroyWindow();
    if (frame.Create(IDD_DIALOG_GRPINFO, nullptr)) {
        frame.ShowWindow(SW_SHOW);
        frame.UpdateWindow();
    }
    return 0;
}

CLANOR_EXPORT void ExitInstance()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.ExitInstance();
}

CLANOR_EXPORT BOOL DllPreTranslateMessage(MSG* msg)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return theApp.PreTranslateMessage(msg);
}
