#include "base/BaseModule.h"

HINSTANCE GetBaseModuleHandle()
{
    return AfxGetInstanceHandle();
}
