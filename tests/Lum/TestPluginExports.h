// What the plug-in host's test module exports besides the functions of the
// modules it stands in for (Prefor, Quillon, Bellwick, Parlet and
// PluginExports, declared from their headers): what the tests read of it.
#pragma once

#include "plugins/common/ModuleExport.h"

namespace TestPluginExports {

inline constexpr const char* kNames[] = {"TestModuleHandle", "TestResourceHandleInside", "TestFrameWindow"};

// The module's own handle.
inline constexpr ModuleExport<HMODULE()> TestModuleHandle{"TestModuleHandle", kNames};
// The resource handle while one of the module's exports runs.
inline constexpr ModuleExport<HINSTANCE()> TestResourceHandleInside{"TestResourceHandleInside", kNames};
// The module's frame window; null when none is open.
inline constexpr ModuleExport<HWND()> TestFrameWindow{"TestFrameWindow", kNames};

}  // namespace TestPluginExports
