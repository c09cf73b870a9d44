// The search plug-in Sorvan: results of a service-wide search for users
// (showUser) or groups (showGroup), four to a page, with adding a friend and
// asking to join a group; and the add-friend (addToFriend) and
// invite-into-my-group (inviteAddGrp) windows of the contact lists.
#pragma once

#include "plugins/Sorvan/AddToFriend.h"
#include "plugins/Sorvan/ShowResult.h"
#include "plugins/common/PluginApp.h"

class CDataUser;
class CFileDbUser;

// The plug-in's application object: its four frames and the texts the
// exports keep.
class CSorvanApp : public CPluginLoginApp {
public:
    CSorvanApp() = default;
    ~CSorvanApp();
    // Minimises and destroys every frame window that is open.
    int ExitInstance();

    CDlgShowResult m_dlgShowResult;
    CDlgShowGroupResult m_dlgShowGroupResult;
    CDlgAddToFriend m_dlgAddToFriend;
    CDlgInviteAddGrp m_dlgInviteAddGrp;

    CString m_strSearch;      // the search text of the last show
};

CSorvanApp& SorvanApp();

// Module globals set by the exports.
struct SorvanGlobals {
    int ownId = 0;
    HWND notify = nullptr;          // the main window; showGroup leaves it as it was
    CFileDbUser* store = nullptr;   // the host's contact store
    int targetId = 0;               // the user to add or to invite
    CDataUser* target = nullptr;    // the record to add (the caller's)
};
SorvanGlobals& Sorvan();
