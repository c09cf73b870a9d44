#include "plugins/Bellwick/BellwickApp.h"

#include "plugins/common/PluginUtil.h"
#include "platform/resources.h"

#define BELLWICK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

CBellwickApp theApp;
BellwickGlobals globals;

void CloseFrame(CDlgBase& frame)
{
    if (!frame.m_hWnd) return;
    frame.CloseWindow();
    frame.DestroyWindow();
}

// The show-function pattern: an open window is replaced by a new one.
void ShowFrame(CDlgBase& frame, UINT templateId)
{
    if (frame.m_hWnd) frame.DestroyWindow();
    if (!frame.Create(templateId, nullptr)) return;
    frame.ShowWindow(SW_SHOW);
    frame.UpdateWindow();
}

}  // namespace

CBellwickApp& BellwickApp()
{
    return theApp;
}

BellwickGlobals& Bellwick()
{
    return globals;
}

CBellwickApp::~CBellwickApp()
{
    ExitInstance();
}

int CBellwickApp::ExitInstance()
{
    CloseFrame(m_dlgFast);
    CloseFrame(m_dlgStandard);
    return 0;
}

BOOL CBellwickApp::PreTranslateMessage(MSG* msg)
{
    return ModulePreTranslateMessage(msg);
}

// A notice to one recipient: a friend, or a group when `type` is 0.
BELLWICK_EXPORT void showFastSmsNotify(int ownId, CString account, int recId, CString recName, int type,
                                       CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.ownId = ownId;
    globals.recId = recId;
    globals.recType = type;
    theApp.m_strAccount = account;
    theApp.m_strRecName = recName;
    theApp.m_strVerifyCode = verifyCode;
    RegisterFastSmsTemplates();
    ShowFrame(theApp.m_dlgFast, IDD_DLG_FAST_SMS);
}

// A notice to the friends and group members ticked in a tree of the
// contact store's friends and groups.
BELLWICK_EXPORT void showStandardSmsNotify(int ownId, CString account, CFileDbUser* users, CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.ownId = ownId;
    globals.users = users;
    theApp.m_strAccount = account;
    theApp.m_strVerifyCode = verifyCode;
    RegisterStandardSmsTemplates();
    ShowFrame(theApp.m_dlgStandard, IDD_DLG_STANDARD_SMS);
}

BELLWICK_EXPORT void ExitInstance()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.ExitInstance();
}

BELLWICK_EXPORT BOOL DllPreTranslateMessage(MSG* msg)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return theApp.PreTranslateMessage(msg);
}
