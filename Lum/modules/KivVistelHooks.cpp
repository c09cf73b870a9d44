#include "Lum/modules/KivVistelHooks.h"

#include "Lum/KivApp.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/contacts/KivUsersListCtrl.h"
#include "Lum/modules/PluginModule.h"
#include "base/MenuCommands.h"
#include "plugins/Vistel/VistelExports.h"

#include <functional>
#include <utility>

namespace {

const char* const kVistelFailure = "加载Vistel.dll失败,未能实现查看个人资料功能";

// A list's own module: the one it held goes (without ExitInstance) and
// Vistel is loaded anew; null after the failure box (when one is given).
HMODULE LoadVistel(HMODULE& slot, const char* failureText)
{
    HMODULE old = slot;
    slot = nullptr;
    ReleasePluginModule(old, false);
    slot = LoadPluginModule("Vistel.dll", failureText);
    return slot;
}

// The contact lists (friends, strangers, a group chat's members).
struct VistelUserListHook {
    std::function<void(CKivUsersListCtrl*, UINT, int, const CString&)> previous;

    void operator()(CKivUsersListCtrl* list, UINT command, int id, const CString& text) const
    {
        const bool vistel = command == IDM_VIEW_INFO || command == IDM_EDIT_REMARK || command == IDM_EDIT_GROUP_CARD;
        if (!vistel || !list) {
            if (previous) previous(list, command, id, text);
            return;
        }
        HMODULE module = LoadVistel(list->m_hPlugin, kVistelFailure);
        if (!module) return;
        if (command == IDM_VIEW_INFO) {
            if (auto show = PluginExport(module, VistelExports::Show))
                show(0, id, OwnId(), OwnAccount(), list->m_hWnd, OwnVerifyCode());
        } else if (command == IDM_EDIT_REMARK) {
            if (auto edit = PluginExport(module, VistelExports::EditFrdRemark))
                edit(id, OwnAccount(), list->m_hWnd, OwnVerifyCode());
        } else if (auto edit = PluginExport(module, VistelExports::EditGrpCard)) {
            // A member list's id is its group's.
            edit(list->m_nListId, id, list->m_hWnd, OwnVerifyCode());
        }
    }
};

// The group list: false tells it Vistel could not be loaded (it shows the
// failure text itself).
struct VistelGroupListHook {
    std::function<bool(CKivGroupListCtrl*, UINT, int, const CString&, int)> previous;

    bool operator()(CKivGroupListCtrl* list, UINT command, int gid, const CString& text, int arg) const
    {
        if ((command != IDM_EDIT_GROUP_CARD && command != IDM_VIEW_GROUP_INFO) || !list)
            return previous && previous(list, command, gid, text, arg);
        HMODULE module = LoadVistel(list->m_hPlugin, nullptr);
        if (!module) return false;
        if (command == IDM_EDIT_GROUP_CARD) {
            if (auto edit = PluginExport(module, VistelExports::EditGrpCard))
                edit(gid, OwnId(), list->m_hWnd, OwnVerifyCode());
        } else if (auto show = PluginExport(module, VistelExports::Show)) {
            show(1, gid, OwnId(), OwnAccount(), list->m_hWnd, OwnVerifyCode());
        }
        return true;
    }
};

}  // namespace

void InstallVistelHooks()
{
    if (!CKivUsersListCtrl::s_pluginCommand.target<VistelUserListHook>())
        CKivUsersListCtrl::s_pluginCommand = VistelUserListHook{std::move(CKivUsersListCtrl::s_pluginCommand)};
    if (!CKivGroupListCtrl::s_pluginCommand.target<VistelGroupListHook>())
        CKivGroupListCtrl::s_pluginCommand = VistelGroupListHook{std::move(CKivGroupListCtrl::s_pluginCommand)};
}
