#include "plugins/Quillon/QuillonApp.h"

#include "plugins/common/PluginUtil.h"
#include "platform/resources.h"

#define QUILLON_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

CQuillonApp theApp;
QuillonGlobals globals;

// Closes a frame window, if open: minimised first, then destroyed.
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
    CloseFrame(m_dlgQuillon);
    CloseFrame(m_dlgViewHisMsg);
    return 0;
}

BOOL CQuillonApp::PreTranslateMessage(MSG* msg)
{
    return ModulePreTranslateMessage(msg);
}

// The message manager over the host's stores, for the logged-in user.
QUILLON_EXPORT void showQuillon(CFileDbMsg* msgStore, CFileDbUser* userStore, int ownId)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.dbMsg = msgStore;
    globals.dbUser = userStore;
    globals.ownId = ownId;
    RegisterQuillonTemplates();
    ShowFrame(theApp.m_dlgQuillon, IDD_DLG_SHOW_QUILLON);
}

// The history of one contact or group: its id, name and kind (1 friend,
// 2 stranger, 3 group, 4 discussion group).
QUILLON_EXPORT void showHisMsg(CFileDbMsg* msgStore, CFileDbUser* userStore, int id, CString name, int kind)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.viewDbMsg = msgStore;
    globals.viewDbUser = userStore;
    globals.viewId = id;
    globals.viewKind = kind;
    theApp.m_strViewName = name;
    RegisterViewHisMsgTemplates();
    ShowFrame(theApp.m_dlgViewHisMsg, IDD_DLG_VIEW_HIS_MSG);
}

QUILLON_EXPORT void ExitInstance()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.ExitInstance();
}

QUILLON_EXPORT BOOL DllPreTranslateMessage(MSG* msg)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return theApp.PreTranslateMessage(msg);
}
