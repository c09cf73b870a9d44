#include "Lum/modules/KivClanorHooks.h"

#include "Lum/KivApp.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/modules/PluginModule.h"
#include "base/MenuCommands.h"
#include "plugins/Clanor/ClanorExports.h"

#include <functional>
#include <utility>

namespace {

// The group list: false tells it Clanor could not be loaded (it shows the
// failure text itself).
struct ClanorHook {
    std::function<bool(CKivGroupListCtrl*, UINT, int, const CString&, int)> previous;

    bool operator()(CKivGroupListCtrl* list, UINT command, int gid, const CString& text, int arg) const
    {
        if (command != IDM_EDIT_GROUP_INFO || !list) return previous && previous(list, command, gid, text, arg);
        // The list's own module: the one it held goes (without ExitInstance).
        HMODULE old = list->m_hPlugin;
        list->m_hPlugin = nullptr;
        ReleasePluginModule(old, false);
        list->m_hPlugin = LoadPluginModule("Clanor.dll", nullptr);
        if (!list->m_hPlugin) return false;
        if (auto show = PluginExport(list->m_hPlugin, ClanorExports::Show))
            show(OwnId(), OwnAccount(), gid, arg, static_cast<CFileDbUser*>(list->m_pUserStore), list->m_hWnd,
                 OwnVerifyCode());
        return true;
    }
};

}  // namespace

void InstallClanorHooks()
{
    if (!CKivGroupListCtrl::s_pluginCommand.target<ClanorHook>())
        CKivGroupListCtrl::s_pluginCommand = ClanorHook{std::move(CKivGroupListCtrl::s_pluginCommand)};
}
