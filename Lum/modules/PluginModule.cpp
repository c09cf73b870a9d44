#include "Lum/modules/PluginModule.h"

#include "platform/window.h"
#include "plugins/common/PluginExports.h"

HMODULE LoadPluginModule(LPCSTR file, LPCSTR failureText)
{
    HMODULE module = LoadLibrary(file);
    if (!module && failureText) AfxMessageBox(failureText, MB_OK);
    return module;
}

void ReleasePluginModule(HMODULE module, bool callExitInstance)
{
    if (!module) return;
    if (callExitInstance) {
        if (auto exitInstance = PluginExport(module, PluginExports::ExitInstance)) {
            try {
                exitInstance();
            } catch (...) {
                // The plug-in goes all the same; FreeLibrary closes what it left open.
            }
        }
    }
    FreeLibrary(module);
}

bool PluginPreTranslateMessage(HMODULE module, MSG* msg)
{
    auto preTranslate = PluginExport(module, PluginExports::DllPreTranslateMessage);
    if (!preTranslate) return false;
    try {
        return preTranslate(msg) == 1;
    } catch (...) {
        return false;
    }
}

CPluginBinding::~CPluginBinding()
{
    Free();
}

HMODULE CPluginBinding::Load(LPCSTR file, LPCSTR failureText)
{
    Free();
    m_hModule = LoadPluginModule(file, failureText);
    return m_hModule;
}

void CPluginBinding::Free()
{
    if (!m_hModule) return;
    HMODULE module = m_hModule;
    m_hModule = nullptr;
    ReleasePluginModule(module, false);
}
