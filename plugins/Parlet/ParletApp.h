// The message-centre plug-in Parlet: lists the contacts and groups whose
// messages wait unread in the main program and asks the main window to open
// their chats.
#pragma once

#include "plugins/Parlet/MsgCenter.h"
#include "plugins/common/PluginApp.h"

#include <list>

class CData;

// The plug-in's application object: the message centre's frame.
class CParletApp : public CPluginApp {
public:
    CParletApp() = default;
    ~CParletApp();
    // Minimises and destroys the frame window when it is open.
    int ExitInstance();

    CDlgShowParlet m_dlgParlet;
};

CParletApp& ParletApp();

// Module globals set by showMsgCenter.
struct ParletGlobals {
    std::list<CData*>* unread = nullptr;  // the host's list of unread senders
    HWND notify = nullptr;                // the main window
};
ParletGlobals& Parlet();
