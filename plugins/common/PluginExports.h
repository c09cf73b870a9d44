// The functions every feature module exports: the host ends a module through
// ExitInstance and offers it messages through DllPreTranslateMessage.
// PLUGIN_APP_EXPORTS (PluginApp.h) defines both.
#pragma once

#include "platform/msgdef.h"
#include "plugins/common/ModuleExport.h"

namespace PluginExports {

inline constexpr const char* kNames[] = {"ExitInstance", "DllPreTranslateMessage"};

// Closes the module's windows; called before the host frees the module.
inline constexpr ModuleExport<void()> ExitInstance{"ExitInstance", kNames};
// Offers a message from the host's loop to the module's windows; 1 when one
// of them consumed it.
inline constexpr ModuleExport<BOOL(MSG* msg)> DllPreTranslateMessage{"DllPreTranslateMessage", kNames};

}  // namespace PluginExports
