#include "plugins/Parlet/ParletApp.h"

#include "plugins/common/PluginUtil.h"
#include "platform/resources.h"

#define PARLET_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

CParletApp theApp;
ParletGlobals globals;

}  // namespace

CParletApp& ParletApp()
{
    return theApp;
}

ParletGlobals& Parlet()
{
    return globals;
}

CParletApp::~CParletApp()
{
    ExitInstance();
}

int CParletApp::ExitInstance()
{
    if (m_dlgParlet.m_hWnd) {
        m_dlgParlet.CloseWindow();
        m_dlgParlet.DestroyWindow();
    }
    return 0;
}

BOOL CParletApp::PreTranslateMessage(MSG* msg)
{
    return ModulePreTranslateMessage(msg);
}

// The message centre over the host's list of unread senders; chats are
// asked of `notify`. An open centre is replaced by a fresh one.
PARLET_EXPORT void showMsgCenter(std::list<CData*>* unread, HWND notify)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.unread = unread;
    globals.notify = notify;
    RegisterParletTemplates();
    CDlgShowParlet& frame = theApp.m_dlgParlet;
    if (frame.m_hWnd) frame.DestroyWindow();
    if (!frame.Create(IDD_DLG_SHOW_PARLET, nullptr)) return;
    frame.ShowWindow(SW_SHOW);
    frame.UpdateWindow();
}

PARLET_EXPORT void ExitInstance()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.ExitInstance();
}

PARLET_EXPORT BOOL DllPreTranslateMessage(MSG* msg)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return theApp.PreTranslateMessage(msg);
}
