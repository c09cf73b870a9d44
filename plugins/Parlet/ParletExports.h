// The functions the message-centre module exports (besides PluginExports).
// ParletApp.cpp declares its definitions from these; callers look them up
// through them. See plugins/common/ModuleExport.h.
#pragma once

#include "platform/types.h"
#include "plugins/common/ModuleExport.h"

#include <list>

class CData;

namespace ParletExports {

inline constexpr char kFile[] = "Parlet.dll";
inline constexpr const char* kNames[] = {"showMsgCenter"};

// The message centre over the host's unread records; chats are asked of `notify`.
inline constexpr ModuleExport<void(std::list<CData*>* unread, HWND notify)> showMsgCenter{"showMsgCenter", kNames};

}  // namespace ParletExports
