#include "plugins/Mievo/MievoApp.h"

#include "Common/Data.h"
#include "plugins/common/PluginUtil.h"
#include "platform/resources.h"

#define MIEVO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

CMievoApp theApp;
MievoGlobals globals;

void CloseFrame(CDlgBase& frame)
{
    if (!frame.m_hWnd) return;
    frame.CloseWindow();
    frame.DestroyWindow();
}

}  // namespace

CMievoApp& MievoApp()
{
    return theApp;
}

MievoGlobals& Mievo()
{
    return globals;
}

void ShowMievoFrame(CDlgBase& frame, UINT templateId)
{
    if (frame.m_hWnd) frame.DestroyWindow();
    if (!frame.Create(templateId, nullptr)) return;
    frame.ShowWindow(SW_SHOW);
    frame.UpdateWindow();
}

CMievoApp::~CMievoApp()
{
    ExitInstance();
}

int CMievoApp::ExitInstance()
{
    CloseFrame(m_dlgHeadPhoto);
    CloseFrame(m_dlgUserInfo);
    return 0;
}

BOOL CMievoApp::PreTranslateMessage(MSG* msg)
{
    return ModulePreTranslateMessage(msg);
}

// The profile window of the logged-in user: the host's system store, its
// own record, the main window and the verify code.
MIEVO_EXPORT int Show(void* store, CDataUser* ownRecord, HWND mainWnd, CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.store = store;
    globals.own = ownRecord;
    globals.mainWnd = mainWnd;
    theApp.m_strVerifyCode = verifyCode;
    theApp.m_strAccount.Format("%s", ownRecord ? ownRecord->m_strPhone.GetString() : "");
    RegisterUserInfoTemplates();
    ShowMievoFrame(theApp.m_dlgUserInfo, IDD_DIALOG_USERINFO);
    return 0;
}

MIEVO_EXPORT void ExitInstance()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.ExitInstance();
}

MIEVO_EXPORT BOOL DllPreTranslateMessage(MSG* msg)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return theApp.PreTranslateMessage(msg);
}
