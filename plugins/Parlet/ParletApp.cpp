#include "plugins/Parlet/ParletApp.h"
#include "plugins/Parlet/ParletExports.h"

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
    ClosePluginFrame(m_dlgParlet);
    return 0;
}

// The exports as ParletExports.h gives them: a definition below whose type
// differs from its declaration here does not compile.
PLUGIN_EXPORT decltype(ParletExports::showMsgCenter)::Function showMsgCenter;

// The message centre over the host's list of unread senders; chats are
// asked of `notify`. An open centre is replaced by a fresh one.
PLUGIN_EXPORT void showMsgCenter(std::list<CData*>* unread, HWND notify)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.unread = unread;
    globals.notify = notify;
    RegisterParletTemplates();
    ReplacePluginFrame(theApp.m_dlgParlet, IDD_DLG_SHOW_PARLET);
}

PLUGIN_APP_EXPORTS(theApp)
