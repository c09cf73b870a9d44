// Windows, as far as code outside the window layer needs them.
#pragma once

#include "platform/window.h"
