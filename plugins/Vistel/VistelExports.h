// The functions the cards module exports (besides PluginExports).
// VistelApp.cpp declares its definitions from these; the client, the search
// and group-creation modules and the tests look them up through them. See
// plugins/common/ModuleExport.h.
#pragma once

#include "platform/CString.h"
#include "plugins/common/ModuleExport.h"

namespace VistelExports {

inline constexpr char kFile[] = "Vistel.dll";
inline constexpr const char* kNames[] = {"Show", "EditFrdRemark", "EditGrpCard"};

// The card of a friend (kind 0), group (1) or stranger (2) `id`.
inline constexpr ModuleExport<int(int kind, int id, int ownUserId, CString account, HWND notify, CString verifyCode)>
    Show{"Show", kNames};
// The remark editor of friend `friendId`; returns when it closes.
inline constexpr ModuleExport<int(int friendId, CString account, HWND notify, CString verifyCode)> EditFrdRemark{
    "EditFrdRemark", kNames};
// The card editor of user `userId` in group `groupId`; returns when it closes.
inline constexpr ModuleExport<int(int groupId, int userId, HWND notify, CString verifyCode)> EditGrpCard{
    "EditGrpCard", kNames};

}  // namespace VistelExports
