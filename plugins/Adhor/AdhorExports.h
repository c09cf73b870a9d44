// The functions the group-creation module exports (besides PluginExports).
// AdhorApp.cpp declares its definitions from these; callers look them up
// through them. See plugins/common/ModuleExport.h.
#pragma once

#include "platform/CString.h"
#include "plugins/common/ModuleExport.h"

class CFileDbUser;

namespace AdhorExports {

inline constexpr char kFile[] = "Adhor.dll";
inline constexpr const char* kNames[] = {"Show", "ShowAddMember"};

// The group frame in its create step; `store` (the host's user store) is not used.
inline constexpr ModuleExport<int(CString account, CFileDbUser* store, HWND mainWnd, CString verifyCode)> Show{
    "Show", kNames};
// The group frame in its member step, adding members to group `groupId`
// owned by `ownUserId`.
inline constexpr ModuleExport<int(CString account, int ownUserId, int groupId, CString verifyCode)> ShowAddMember{
    "ShowAddMember", kNames};

}  // namespace AdhorExports
