// The functions the SMS notices module exports (besides PluginExports).
// BellwickApp.cpp declares its definitions from these; callers look them up
// through them. See plugins/common/ModuleExport.h.
#pragma once

#include "platform/CString.h"
#include "plugins/common/ModuleExport.h"

class CFileDbUser;

namespace BellwickExports {

inline constexpr char kFile[] = "Bellwick.dll";
inline constexpr const char* kNames[] = {"showFastSmsNotify", "showStandardSmsNotify"};

// A notice to one recipient: friend `recId`, or a group when `type` is 0.
inline constexpr ModuleExport<void(int ownId, CString account, int recId, CString recName, int type,
                                   CString verifyCode)>
    showFastSmsNotify{"showFastSmsNotify", kNames};
// A notice to recipients chosen among the friends and groups of `users`.
inline constexpr ModuleExport<void(int ownId, CString account, CFileDbUser* users, CString verifyCode)>
    showStandardSmsNotify{"showStandardSmsNotify", kNames};

}  // namespace BellwickExports
