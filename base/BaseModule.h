// The base library as a module.
#pragma once

#include "platform/resources.h"

// base's own module handle: its resources (the frame's button strips, the
// menu template and icons) are looked up through it.
HINSTANCE GetBaseModuleHandle();
