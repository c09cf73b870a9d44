#include "Lum/modules/KivSorvanHooks.h"

#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/contacts/KivUsersListCtrl.h"
#include "Lum/modules/PluginModule.h"
#include "base/MenuCommands.h"
#include "plugins/Sorvan/SorvanExports.h"

#include <functional>
#include <utility>

namespace {

const char* const kAddFriendFailure = "加载Sorvan.dll失败,未能实现添加好友功能";
const char* const kInviteFailure = "加载Sorvan.dll失败,未能实现邀请功能";

// The chat window buttons of the two commands.
const UINT kChatAddFriend = 1022;
const UINT kChatInvite = 1023;

struct Session {
    int ownId = 0;
    CString account;
    CString verifyCode;
    HWND main = nullptr;
    CFileDbUser* store = nullptr;  // the main window's user store
};

Session CurrentSession()
{
    Session s;
    s.ownId = OwnId();
    s.account = OwnAccount();
    s.verifyCode = OwnVerifyCode();
    if (CKivDlg* main = KivMainWindow()) {
        s.main = main->m_hWnd;
        s.store = &main->m_dbUser;
    }
    return s;
}

// An owner's own module: the one it held goes (without ExitInstance) and
// Sorvan is loaded anew; null after the failure box (when one is given).
HMODULE LoadSorvan(HMODULE& slot, const char* failureText)
{
    HMODULE old = slot;
    slot = nullptr;
    ReleasePluginModule(old, false);
    slot = LoadPluginModule("Sorvan.dll", failureText);
    return slot;
}

// Add as friend: the record stays the owner's and must stay valid while
// the window is open (it is the list's copy or the chat window's record).
void AddToFriend(HMODULE module, CDataUser* rec, const Session& s)
{
    if (auto add = PluginExport(module, SorvanExports::addToFriend))
        add(rec, s.ownId, s.account, s.main, s.store, s.verifyCode);
}

void InviteAddGrp(HMODULE module, int id, const Session& s)
{
    if (auto invite = PluginExport(module, SorvanExports::inviteAddGrp))
        invite(s.store, id, s.ownId, s.account, s.verifyCode);
}

// The contact lists (friends, strangers, a group chat's members).
struct SorvanUserListHook {
    std::function<void(CKivUsersListCtrl*, UINT, int, const CString&)> previous;

    void operator()(CKivUsersListCtrl* list, UINT command, int id, const CString& text) const
    {
        if ((command != IDM_ADD_AS_FRIEND && command != IDM_INVITE_TO_GROUP) || !list) {
            if (previous) previous(list, command, id, text);
            return;
        }
        const Session s = CurrentSession();
        if (command == IDM_ADD_AS_FRIEND) {
            auto* rec = static_cast<CDataUser*>(list->GetUser(id));
            if (!rec) return;
            if (HMODULE module = LoadSorvan(list->m_hPlugin, kAddFriendFailure)) AddToFriend(module, rec, s);
        } else if (HMODULE module = LoadSorvan(list->m_hPlugin, kInviteFailure)) {
            InviteAddGrp(module, id, s);
        }
    }
};

// The one-to-one chat windows: false tells the window Sorvan could not be
// loaded (it shows the failure text itself).
struct SorvanChatHook {
    std::function<bool(CWnd*, UINT, int, const CString&, int)> previous;

    bool operator()(CWnd* wnd, UINT command, int id, const CString& text, int kind) const
    {
        auto* chat = dynamic_cast<CKivDlgChatUser*>(wnd);
        if ((command != kChatAddFriend && command != kChatInvite) || !chat)
            return previous && previous(wnd, command, id, text, kind);
        HMODULE module = LoadSorvan(chat->m_hPlugin, nullptr);
        if (!module) return false;
        const Session s = CurrentSession();
        if (command == kChatAddFriend) {
            if (chat->m_pUser) AddToFriend(module, chat->m_pUser, s);
        } else {
            InviteAddGrp(module, id, s);
        }
        return true;
    }
};

}  // namespace

void InstallSorvanHooks()
{
    if (!CKivUsersListCtrl::s_pluginCommand.target<SorvanUserListHook>())
        CKivUsersListCtrl::s_pluginCommand = SorvanUserListHook{std::move(CKivUsersListCtrl::s_pluginCommand)};
    if (!CKivDlgChatUser::s_pluginCommand.target<SorvanChatHook>())
        CKivDlgChatUser::s_pluginCommand = SorvanChatHook{std::move(CKivDlgChatUser::s_pluginCommand)};
}
