// The message-centre plug-in Parlet: lists the contacts and groups whose
// messages wait unread in the main program and asks the main window to open
// their chats.
#pragma once

#include "plugins/Parlet/MsgCenter.h"

#include <list>

class CData;

// The plug-in's application object. It is not a CWinApp: the host's
// application object stays the process's one (AfxGetApp).
class CParletApp {
public:
    CParletApp() = default;
    ~CParletApp();
    BOOL InitInstance() { return TRUE; }
    // Minimises and destroys the frame window when it is open.
    int ExitInstance();
    BOOL PreTranslateMessage(MSG* msg);

    CDlgShowParlet m_dlgParlet;
};

CParletApp& ParletApp();

// Module globals set by showMsgCenter.
struct ParletGlobals {
    std::list<CData*>* unread = nullptr;  // the host's list of unread senders
    HWND notify = nullptr;                // the main window
};
ParletGlobals& Parlet();
