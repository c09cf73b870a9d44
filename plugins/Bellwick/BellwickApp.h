// The SMS notices plug-in Bellwick.
#pragma once

#include "plugins/Bellwick/SmsNotify.h"
#include "plugins/common/PluginApp.h"

class CFileDbUser;

// The plug-in's application object: its two frames and the texts the show
// functions keep.
class CBellwickApp : public CPluginLoginApp {
public:
    CBellwickApp() = default;
    ~CBellwickApp();
    // Minimises and destroys every frame window that is open.
    int ExitInstance();

    CDlgFastSMSNotify m_dlgFast;
    CDlgStandardSMSNotify m_dlgStandard;
    CString m_strRecName;
};

CBellwickApp& BellwickApp();

// Module globals set by the show functions.
struct BellwickGlobals {
    int ownId = 0;
    int recId = 0;
    int recType = 0;  // 0 a group, anything else a friend
    CFileDbUser* users = nullptr;
};
BellwickGlobals& Bellwick();
