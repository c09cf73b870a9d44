// The functions the history module exports (besides PluginExports).
// QuillonApp.cpp declares its definitions from these; callers look them up
// through them. See plugins/common/ModuleExport.h.
#pragma once

#include "platform/CString.h"
#include "plugins/common/ModuleExport.h"

class CFileDbMsg;
class CFileDbUser;

namespace QuillonExports {

inline constexpr char kFile[] = "Quillon.dll";
inline constexpr const char* kNames[] = {"showQuillon", "showHisMsg"};

// The message manager over the host's stores, for user `ownId`.
inline constexpr ModuleExport<void(CFileDbMsg* msgStore, CFileDbUser* userStore, int ownId)> showQuillon{
    "showQuillon", kNames};
// The history of one conversation: `id` and `name` of a friend (kind 1),
// stranger (2), group (3) or discussion group (4).
inline constexpr ModuleExport<void(CFileDbMsg* msgStore, CFileDbUser* userStore, int id, CString name, int kind)>
    showHisMsg{"showHisMsg", kNames};

}  // namespace QuillonExports
