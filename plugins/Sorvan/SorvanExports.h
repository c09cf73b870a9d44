// The functions the search module exports (besides PluginExports).
// SorvanApp.cpp declares its definitions from these; callers look them up
// through them. See plugins/common/ModuleExport.h.
#pragma once

#include "platform/CString.h"
#include "plugins/common/ModuleExport.h"

class CDataUser;
class CFileDbUser;

namespace SorvanExports {

inline constexpr char kFile[] = "Sorvan.dll";
inline constexpr const char* kNames[] = {"showUser", "showGroup", "addToFriend", "inviteAddGrp"};

// The user search, searching `searchText` at once unless it is empty.
inline constexpr ModuleExport<void(CString searchText, int ownUserId, CString account, HWND notify,
                                   CFileDbUser* store, CString verifyCode)>
    showUser{"showUser", kNames};
// The group search, likewise.
inline constexpr ModuleExport<void(CString searchText, int ownUserId, CString account, CFileDbUser* store,
                                   CString verifyCode)>
    showGroup{"showGroup", kNames};
// Asks to add `target` as a friend.
inline constexpr ModuleExport<void(CDataUser* target, int ownUserId, CString account, HWND notify,
                                   CFileDbUser* store, CString verifyCode)>
    addToFriend{"addToFriend", kNames};
// Invites friend `friendId` into one of the groups the user owns.
inline constexpr ModuleExport<void(CFileDbUser* store, int friendId, int ownUserId, CString account,
                                   CString verifyCode)>
    inviteAddGrp{"inviteAddGrp", kNames};

}  // namespace SorvanExports
