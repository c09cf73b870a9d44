#include "plugins/Vistel/VistelApp.h"
#include "plugins/Vistel/VistelExports.h"

PLUGIN_APP_OBJECT(CVistelApp, VistelApp)

namespace {

// Runs an editor modally; a window left over from an earlier run goes first.
void RunEditor(CDialog& editor)
{
    if (editor.m_hWnd) editor.DestroyWindow();
    editor.DoModal();
}

}  // namespace

CVistelApp::~CVistelApp()
{
    ExitInstance();
}

int CVistelApp::ExitInstance()
{
    ClosePluginFrame(m_dlgVistel);
    // The editors are modal: ending them lets their DoModal return.
    if (m_dlgRemark.m_hWnd) m_dlgRemark.EndDialog(IDCANCEL);
    if (m_dlgGrpCard.m_hWnd) m_dlgGrpCard.EndDialog(IDCANCEL);
    return 0;
}

// The exports as VistelExports.h gives them: a definition below whose type
// differs from its declaration here does not compile.
PLUGIN_EXPORT decltype(VistelExports::Show)::Function Show;
PLUGIN_EXPORT decltype(VistelExports::EditFrdRemark)::Function EditFrdRemark;
PLUGIN_EXPORT decltype(VistelExports::EditGrpCard)::Function EditGrpCard;

// The card of a friend (kind 0), group (1) or stranger (2); replaces an open
// card. `ownUserId` is not needed: the account names the viewer.
PLUGIN_EXPORT int Show(int kind, int id, int ownUserId, CString account, HWND notify, CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    (void)ownUserId;
    theApp.m_strKind = IdText(kind);
    theApp.m_strId = IdText(id);
    theApp.TakeLogin(account, verifyCode);
    theApp.m_hNotify = notify;
    RegisterVistelTemplates();
    ReplacePluginFrame(theApp.m_dlgVistel, IDD_DLG_VISTEL);
    return 0;
}

// Edits the remark of a friend; returns when the editor closes.
PLUGIN_EXPORT int EditFrdRemark(int friendId, CString account, HWND notify, CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.m_strId = IdText(friendId);
    theApp.m_strKind = "0";
    theApp.TakeLogin(account, verifyCode);
    theApp.m_hNotify = notify;
    RegisterVistelTemplates();
    RunEditor(theApp.m_dlgRemark);
    return 0;
}

// Edits the card of user `userId` in group `groupId`; returns when the
// editor closes.
PLUGIN_EXPORT int EditGrpCard(int groupId, int userId, HWND notify, CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.m_strId = IdText(groupId);
    theApp.m_strKind = "1";
    // The group card's web call takes the user id in place of the account.
    theApp.TakeLogin(IdText(userId), verifyCode);
    theApp.m_hNotify = notify;
    RegisterVistelTemplates();
    RunEditor(theApp.m_dlgGrpCard);
    return 0;
}

PLUGIN_APP_EXPORTS(theApp)
