// The functions the own-profile module exports (besides PluginExports).
// MievoApp.cpp declares its definitions from these; callers look them up
// through them. See plugins/common/ModuleExport.h.
#pragma once

#include "platform/CString.h"
#include "plugins/common/ModuleExport.h"

class CDataUser;
class CFileDbSys;

namespace MievoExports {

inline constexpr char kFile[] = "Mievo.dll";
inline constexpr const char* kNames[] = {"Show"};

// The profile window of the logged-in user over the host's system store
// and own record.
inline constexpr ModuleExport<int(CFileDbSys* store, CDataUser* ownRecord, HWND mainWnd, CString verifyCode)> Show{
    "Show", kNames};

}  // namespace MievoExports
