#include "plugins/Adhor/AdhorApp.h"
#include "plugins/Adhor/AdhorExports.h"

#include "platform/gdiplus.h"

PLUGIN_APP_OBJECT(CAdhorApp, AdhorApp)

CAdhorApp::~CAdhorApp()
{
    ExitInstance();
    if (m_bStarted) Gdiplus::GdiplusShutdown(m_gdiplusToken);
}

BOOL CAdhorApp::InitInstance()
{
    if (!m_bStarted) {
        Gdiplus::GdiplusStartupInput input;
        m_bStarted = Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) == Gdiplus::Ok;
    }
    return TRUE;
}

int CAdhorApp::ExitInstance()
{
    FreeVistel(m_dlgGroupAdd);
    ClosePluginFrame(m_dlgGroupAdd);
    ClosePluginFrame(m_dlgInvite);
    return 0;
}

void CAdhorApp::OpenGroupFrame()
{
    InitInstance();
    RegisterAdhorTemplates();
    if (m_dlgGroupAdd.m_hWnd) {
        FreeVistel(m_dlgGroupAdd);
        m_dlgGroupAdd.DestroyWindow();
    }
    if (!m_dlgGroupAdd.Create(IDD_DLG_GROUP_ADD, nullptr)) return;
    if (m_nAddMember == 1) m_dlgGroupAdd.ShowMemberStep();
    m_dlgGroupAdd.ShowWindow(SW_SHOW);
    m_dlgGroupAdd.UpdateWindow();
}

void CAdhorApp::OpenInvite()
{
    RegisterAdhorTemplates();
    ReplacePluginFrame(m_dlgInvite, IDD_DLG_INVITE);
}

// The exports as AdhorExports.h gives them: a definition below whose type
// differs from its declaration here does not compile.
PLUGIN_EXPORT decltype(AdhorExports::Show)::Function Show;
PLUGIN_EXPORT decltype(AdhorExports::ShowAddMember)::Function ShowAddMember;

// Group creation: the create step. The store argument is not used.
PLUGIN_EXPORT int Show(CString account, CFileDbUser* store, HWND mainWnd, CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    (void)store;
    theApp.TakeLogin(account, verifyCode);
    theApp.m_hMainWnd = mainWnd;
    theApp.m_nAddMember = 0;
    theApp.OpenGroupFrame();
    return 0;
}

// Adding members to group `groupId`: the member step.
PLUGIN_EXPORT int ShowAddMember(CString account, int ownUserId, int groupId, CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.TakeLogin(account, verifyCode);
    theApp.m_strOwnId = IdText(ownUserId);
    theApp.m_strGroupId = IdText(groupId);
    theApp.m_nAddMember = 1;
    theApp.OpenGroupFrame();
    return 0;
}

PLUGIN_APP_EXPORTS(theApp)
