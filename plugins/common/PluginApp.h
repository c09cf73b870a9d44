// What every feature plug-in's application file shares: the base of its
// application object, the closing and replacing of its frame windows, and
// the two exports the host calls in every module.
#pragma once

#include "base/DlgBase.h"
#include "platform/resources.h"
#include "plugins/common/PluginExports.h"
#include "plugins/common/PluginUtil.h"

// A function the host looks up by name in the module: C linkage, visible
// outside the shared library.
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

// The base of a plug-in's application object. It is not a CWinApp: the
// host's application object stays the process's one (AfxGetApp), as each
// module keeps its own state. A module that starts something on first use
// gives its own InitInstance.
class CPluginApp {
public:
    BOOL InitInstance() { return TRUE; }
    // Offers a message to the plug-in's windows (target up through parents).
    BOOL PreTranslateMessage(MSG* msg) { return ModulePreTranslateMessage(msg); }
};

// Closes a frame window, if open: minimised first, then destroyed.
void ClosePluginFrame(CDlgBase& frame);

// The show functions' way with a frame: an open window is replaced by a new
// one from `templateId`, shown and painted; nothing is shown when the window
// cannot be created.
void ReplacePluginFrame(CDlgBase& frame, UINT templateId);

// Defines the exports every plug-in module has (PluginExports.h), over its
// application object `app`, each run in the module's own state:
//   void ExitInstance()                    app.ExitInstance(), before the host frees the module
//   BOOL DllPreTranslateMessage(MSG* msg)  app.PreTranslateMessage(msg), from the host's message loop
// Used once, at namespace scope, in the module's application file.
#define PLUGIN_APP_EXPORTS(app)                                                                      \
    PLUGIN_EXPORT decltype(PluginExports::ExitInstance)::Function ExitInstance;                      \
    PLUGIN_EXPORT decltype(PluginExports::DllPreTranslateMessage)::Function DllPreTranslateMessage;  \
    PLUGIN_EXPORT void ExitInstance()                                                                \
    {                                                                                                \
        AFX_MANAGE_STATE(AfxGetStaticModuleState());                                                 \
        (app).ExitInstance();                                                                        \
    }                                                                                                \
    PLUGIN_EXPORT BOOL DllPreTranslateMessage(MSG* msg)                                              \
    {                                                                                                \
        AFX_MANAGE_STATE(AfxGetStaticModuleState());                                                 \
        return (app).PreTranslateMessage(msg);                                                       \
    }
