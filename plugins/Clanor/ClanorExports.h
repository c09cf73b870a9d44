// The functions the group-information module exports (besides PluginExports).
// ClanorApp.cpp declares its definitions from these; callers look them up
// through them. See plugins/common/ModuleExport.h.
#pragma once

#include "platform/CString.h"
#include "plugins/common/ModuleExport.h"

class CFileDbUser;

namespace ClanorExports {

inline constexpr char kFile[] = "Clanor.dll";
inline constexpr const char* kNames[] = {"Show"};

// The information editor of group `gid` (`isMaster` 1 for its owner);
// reports go to `notify`.
inline constexpr ModuleExport<int(int ownId, CString account, int gid, int isMaster, CFileDbUser* userStore,
                                  HWND notify, CString verifyCode)>
    Show{"Show", kNames};

}  // namespace ClanorExports
