// The history plug-in Quillon: the message manager (showQuillon) and the
// one-contact history viewer (showHisMsg), over the host's contact and
// history stores.
#pragma once

#include "plugins/Quillon/ShowQuillon.h"
#include "plugins/Quillon/ViewHisMsg.h"
#include "plugins/common/PluginApp.h"

class CFileDbMsg;
class CFileDbUser;

// The plug-in's application object: its two frames and the viewer's name.
class CQuillonApp : public CPluginApp {
public:
    CQuillonApp() = default;
    ~CQuillonApp();
    // Minimises and destroys every frame window that is open.
    int ExitInstance();

    CDlgShowQuillon m_dlgQuillon;
    CDlgViewHisMsg m_dlgViewHisMsg;
    CString m_strViewName;
};

CQuillonApp& QuillonApp();

// Module globals set by the show functions.
struct QuillonGlobals {
    CFileDbMsg* dbMsg = nullptr;
    CFileDbUser* dbUser = nullptr;
    int ownId = 0;
    // The viewer's contact.
    CFileDbMsg* viewDbMsg = nullptr;
    CFileDbUser* viewDbUser = nullptr;
    int viewId = 0;
    int viewKind = 0;
};
QuillonGlobals& Quillon();
