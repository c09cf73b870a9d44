// The functions the settings module exports (besides PluginExports).
// PreforApp.cpp declares its definitions from these; callers look them up
// through them. See plugins/common/ModuleExport.h.
#pragma once

#include "platform/types.h"
#include "plugins/common/ModuleExport.h"

class CFileDbSys;

namespace PreforExports {

inline constexpr char kFile[] = "Prefor.dll";
inline constexpr const char* kNames[] = {"Show", "ShowBlackList"};

// The settings window of user `userId`, on its basic page.
inline constexpr ModuleExport<int(int userId, CFileDbSys* store, HWND mainWnd)> Show{"Show", kNames};
// The settings window on its block page (the black list).
inline constexpr ModuleExport<int(int userId, CFileDbSys* store, HWND mainWnd)> ShowBlackList{"ShowBlackList",
                                                                                              kNames};

}  // namespace PreforExports
