// The function the client calls in the discussion-group module. That module
// is not part of this client (the menu command ends in its failure box
// unless such a file is put beside the program), so no source here defines
// it and the exports test has no built module to resolve it in.
#pragma once

#include "platform/CString.h"
#include "plugins/common/ModuleExport.h"

class CFileDbUser;

namespace ConfabelExports {

inline constexpr char kFile[] = "Confabel.dll";
inline constexpr const char* kNames[] = {"createConfabel"};

// Creates a discussion group among the user's contacts; reports go to `notify`.
inline constexpr ModuleExport<int(CFileDbUser* userStore, int ownId, HWND notify, CString verifyCode)> createConfabel{
    "createConfabel", kNames};

}  // namespace ConfabelExports
