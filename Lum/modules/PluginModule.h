// Feature plug-ins seen from the client: loading a plug-in file by name with
// its feature's failure box, looking up its exports, offering messages to
// it, ending it, and the binding of a plug-in to an object (a list, a chat
// pane) that keeps a module of its own.
//
// Every plug-in exports, with C linkage, `ExitInstance()` (closes the
// plug-in's windows) and `DllPreTranslateMessage(MSG*)` (1: consumed), and
// its feature's show functions, each stated once in the plug-in's header of
// exports (plugins/<Module>/<Module>Exports.h) and looked up through it with
// PluginExport. Text arguments are CString values: the caller makes the
// copy, the plug-in destroys it.
#pragma once

#include "platform/CString.h"
#include "platform/module.h"
#include "platform/msgdef.h"
#include "plugins/common/ModuleExport.h"

// Loads a plug-in file ("Prefor.dll"). When it cannot be loaded, shows
// `failureText` in a message box (OK only; none when null) and returns null.
HMODULE LoadPluginModule(LPCSTR file, LPCSTR failureText);

// Frees a plug-in; with `callExitInstance` its ExitInstance runs first when
// it has one. Windows of the plug-in that are still open are closed before
// its code goes (see platform/module.h).
void ReleasePluginModule(HMODULE module, bool callExitInstance);

// Offers a message to the plug-in's DllPreTranslateMessage: true when it
// answered 1 (consumed). A plug-in without the export, or one that throws,
// does not consume the message.
bool PluginPreTranslateMessage(HMODULE module, MSG* msg);

// A plug-in bound to an object: the object keeps its own module, a new load
// first frees the old module (without ExitInstance), and the module is
// freed when the binding is destroyed.
class CPluginBinding {
public:
    CPluginBinding() = default;
    ~CPluginBinding();
    CPluginBinding(const CPluginBinding&) = delete;
    CPluginBinding& operator=(const CPluginBinding&) = delete;

    // Frees the module held, then loads `file`; null (after showing
    // `failureText`) when it cannot be loaded.
    HMODULE Load(LPCSTR file, LPCSTR failureText);
    // An export of the module held (null when none is held or it is missing).
    template <class F>
    F* Export(const ModuleExport<F>& e) const
    {
        return PluginExport(m_hModule, e);
    }
    void Free();
    HMODULE GetModule() const { return m_hModule; }

private:
    HMODULE m_hModule = nullptr;
};
