#include "plugins/Sorvan/SorvanApp.h"
#include "plugins/Sorvan/SorvanExports.h"

#include "Common/records/Data.h"

PLUGIN_APP_OBJECTS(CSorvanApp, SorvanApp, SorvanGlobals, Sorvan)

int CSorvanApp::ExitInstance()
{
    ClosePluginFrame(m_dlgShowResult);
    ClosePluginFrame(m_dlgShowGroupResult);
    ClosePluginFrame(m_dlgAddToFriend);
    ClosePluginFrame(m_dlgInviteAddGrp);
    return 0;
}

// The exports as SorvanExports.h gives them: a definition below whose type
// differs from its declaration here does not compile.
PLUGIN_EXPORT decltype(SorvanExports::showUser)::Function showUser;
PLUGIN_EXPORT decltype(SorvanExports::showGroup)::Function showGroup;
PLUGIN_EXPORT decltype(SorvanExports::addToFriend)::Function addToFriend;
PLUGIN_EXPORT decltype(SorvanExports::inviteAddGrp)::Function inviteAddGrp;

// Results of a search for users; an empty text opens the window for the
// user to type one.
PLUGIN_EXPORT void showUser(CString searchText, int ownUserId, CString account, HWND notify, CFileDbUser* store,
                            CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.m_strSearch = searchText;
    globals.ownId = ownUserId;
    theApp.TakeLogin(account, verifyCode);
    globals.notify = notify;
    globals.store = store;
    RegisterShowResultTemplates();
    ReplacePluginFrame(theApp.m_dlgShowResult, IDD_DLG_SHOW_RESULT);
}

// Results of a search for groups. The notify window stays as an earlier
// export set it.
PLUGIN_EXPORT void showGroup(CString searchText, int ownUserId, CString account, CFileDbUser* store,
                             CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    theApp.m_strSearch = searchText;
    globals.ownId = ownUserId;
    theApp.TakeLogin(account, verifyCode);
    globals.store = store;
    RegisterShowResultTemplates();
    ReplacePluginFrame(theApp.m_dlgShowGroupResult, IDD_DLG_SHOW_GROUP_RESULT);
}

// Asks to add `target` (one of the caller's list records, which must stay
// valid while the window is open) as a friend.
PLUGIN_EXPORT void addToFriend(CDataUser* target, int ownUserId, CString account, HWND notify, CFileDbUser* store,
                               CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.target = target;
    globals.targetId = target ? target->m_nId : 0;
    globals.ownId = ownUserId;
    theApp.TakeLogin(account, verifyCode);
    globals.notify = notify;
    globals.store = store;
    RegisterAddToFriendTemplates();
    ReplacePluginFrame(theApp.m_dlgAddToFriend, IDD_DLG_ADD_FRIEND);
}

// Invites friend `friendId` into one of the groups the user owns.
PLUGIN_EXPORT void inviteAddGrp(CFileDbUser* store, int friendId, int ownUserId, CString account, CString verifyCode)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    globals.store = store;
    globals.targetId = friendId;
    globals.ownId = ownUserId;
    theApp.TakeLogin(account, verifyCode);
    RegisterAddToFriendTemplates();
    ReplacePluginFrame(theApp.m_dlgInviteAddGrp, IDD_DLG_INVITE);
}

PLUGIN_APP_EXPORTS(theApp)
