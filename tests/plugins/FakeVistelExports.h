// What the stand-in for the cards module exports besides the cards
// module's own Show (VistelExports::Show): how the tests read its calls.
#pragma once

#include "plugins/common/ModuleExport.h"

namespace FakeVistelExports {

inline constexpr const char* kNames[] = {"ShowCalls"};

// How often Show ran; `*last` (when given) its last arguments as
// "kind|id|own|account|notify|key".
inline constexpr ModuleExport<int(const char** last)> ShowCalls{"ShowCalls", kNames};

}  // namespace FakeVistelExports
