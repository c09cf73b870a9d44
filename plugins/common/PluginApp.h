// What every feature plug-in's application file shares: the base of its
// application object (and of those that keep the user's login), the closing
// and replacing of its frame windows, the definition of its application
// object, and the two exports the host calls in every module.
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

// The base of the application objects of the modules that call the web API
// for the logged-in user: the account and verify code the show functions
// are given.
class CPluginLoginApp : public CPluginApp {
public:
    // Keeps the login a show function was given.
    void TakeLogin(const CString& account, const CString& verifyCode)
    {
        m_strAccount = account;
        m_strVerifyCode = verifyCode;
    }

    CString m_strAccount;
    CString m_strVerifyCode;
};

// Closes a frame window, if open: minimised first, then destroyed.
void ClosePluginFrame(CDlgBase& frame);

// The show functions' way with a frame: an open window is replaced by a new
// one from `templateId`, shown and painted; nothing is shown when the window
// cannot be created.
void ReplacePluginFrame(CDlgBase& frame, UINT templateId);

// Defines a module's application object `theApp` (of class `App`) in an
// anonymous namespace and the accessor `AppAccessor()` its header declares.
// Used once, at namespace scope, in the module's application file, before
// the code that uses theApp.
#define PLUGIN_APP_OBJECT(App, AppAccessor) \
    namespace {                             \
    App theApp;                             \
    }                                       \
    App& AppAccessor() { return theApp; }

// PLUGIN_APP_OBJECT, then the module's globals `globals` (of struct
// `Globals`) with the accessor `GlobalsAccessor()` its header declares, and
// App's destructor, which runs ExitInstance so that what the module still
// has open is closed when the module is unloaded. Used in place of
// PLUGIN_APP_OBJECT.
#define PLUGIN_APP_OBJECTS(App, AppAccessor, Globals, GlobalsAccessor) \
    PLUGIN_APP_OBJECT(App, AppAccessor)                                 \
    namespace {                                                         \
    Globals globals;                                                    \
    }                                                                   \
    Globals& GlobalsAccessor() { return globals; }                      \
    App::~App() { ExitInstance(); }

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
