// The group-creation plug-in Adhor: creates a group on the web server and
// reports it to the main window (Show), and lets the owner of a group search
// users, look at their cards and invite them (ShowAddMember).
#pragma once

#include "plugins/Adhor/GroupAdd.h"
#include "plugins/common/PluginApp.h"

// The plug-in's application object: its frames and the module state. Its
// start-up also starts GDI+.
class CAdhorApp : public CPluginLoginApp {
public:
    CAdhorApp() = default;
    ~CAdhorApp();
    BOOL InitInstance();
    // Minimises and destroys every frame window that is open.
    int ExitInstance();

    CDialogGroupAdd m_dlgGroupAdd;  // one group frame per module
    CDialogInvite m_dlgInvite;

    CString m_strOwnId;       // "%d"
    CString m_strGroupId;     // "%d": the group to add members to, or the one just created
    CString m_strSelectedIds; // ids each followed by ";"
    HWND m_hMainWnd = nullptr;
    int m_nAddMember = 0;     // 1 after ShowAddMember

    // Destroys an open group frame and creates it again, in the create step
    // or (add-member flag 1) in the member step; shown.
    void OpenGroupFrame();
    // Opens the invitation frame, replacing an open one.
    void OpenInvite();

private:
    ULONG_PTR m_gdiplusToken = 0;
    bool m_bStarted = false;
};

CAdhorApp& AdhorApp();
