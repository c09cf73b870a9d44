#include "plugins/Sorvan/SorvanApp.h"

#include "plugins/common/PluginUtil.h"
#include "Common/Data.h"
#include "platform/resources.h"

#define SORVAN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

CSorvanApp theApp;
SorvanGlobals globals;

// Closes a frame window, if open: minimised first, then destroyed.
void CloseFrame(CDlgBase& frame)
{
    if (!frame.m_hWnd) return;
    frame.CloseWindow();
    frame.DestroyWindow();
}

// An open window of the kind is replaced by a new one.
void ShowFrame(CDlgBase& frame, UINT templateId)
{
    if (frame.m_hWnd) frame.DestroyWindow();
    if (!frame.Create(templateId, nullptr)) return;
    frame.ShowWindow(SW_SHOW);
    frame.UpdateWindow();
}

}  // namespace

CSorvanApp& SorvanApp()
{
    return theApp;
}

SorvanGlobals& Sorvan()
{
    return globals;
}

CSorvanApp::~CSorvanApp()
{
    ExitInstance();
}

int CSorvanApp::ExitInstance()
{
    CloseFrame(m_dlgShowResult);
    CloseFrame(m_dlgShowGroupResult);
    CloseFrame(m_dlgAddToFriend);
    CloseFrame(m_dlgInviteAddGrp);
    return 0;
}

BOOL CSorvanApp::PreTranslateMessage(MSG* msg)
{
    return ModulePreTranslateMessage(msg);
}

// Results of a search for users; an empty text opens the window for the
// user to type one.
SORVAN_EXPORT void showUser(CString searchText, int ownUserId, CString account, HWND notify, CFileDbUser* store,
                            CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.m_strSearch = searchText;
    globals.ownId = ownUserId;
    theApp.m_strAccount = account;
    globals.notify = notify;
    globals.store = store;
    theApp.m_strVerifyCode = verifyCode;
    RegisterShowResultTemplates();
    ShowFrame(theApp.m_dlgShowResult, IDD_DLG_SHOW_RESULT);
}

// Results of a search for groups. The notify window stays as an earlier
// export set it.
SORVAN_EXPORT void showGroup(CString searchText, int ownUserId, CString account, CFileDbUser* store,
                             CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.m_strSearch = searchText;
    globals.ownId = ownUserId;
    theApp.m_strAccount = account;
    globals.store = store;
    theApp.m_strVerifyCode = verifyCode;
    RegisterShowResultTemplates();
    ShowFrame(theApp.m_dlgShowGroupResult, IDD_DLG_SHOW_GROUP_RESULT);
}

// Asks to add `target` (one of the caller's list records, which must stay
// valid while the window is open) as a friend.
SORVAN_EXPORT void addToFriend(CDataUser* target, int ownUserId, CString account, HWND notify, CFileDbUser* store,
                               CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.target = target;
    globals.targetId = target ? target->m_nId : 0;
    globals.ownId = ownUserId;
    theApp.m_strAccount = account;
    globals.notify = notify;
    globals.store = store;
    theApp.m_strVerifyCode = verifyCode;
    RegisterAddToFriendTemplates();
    ShowFrame(theApp.m_dlgAddToFriend, IDD_DLG_ADD_FRIEND);
}

// Invites friend `friendId` into one of the groups the user owns.
SORVAN_EXPORT void inviteAddGrp(CFileDbUser* store, int friendId, int ownUserId, CString account, CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.store = store;
    globals.targetId = friendId;
    globals.ownId = ownUserId;
    theApp.m_strAccount = account;
    theApp.m_strVerifyCode = verifyCode;
    RegisterAddToFriendTemplates();
    ShowFrame(theApp.m_dlgInviteAddGrp, IDD_DLG_INVITE);
}

SORVAN_EXPORT void ExitInstance()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.ExitInstance();
}

SORVAN_EXPORT BOOL DllPreTranslateMessage(MSG* msg)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return theApp.PreTranslateMessage(msg);
}
