// The desktop's panel (task bar): its state and position, for windows that
// dock to a screen edge. Taken from the part of the screen the desktop keeps
// for panels (the display's client area against its full area).
#pragma once

#include "platform/windef.h"

#define ABM_GETSTATE 0x00000004
#define ABM_GETTASKBARPOS 0x00000005
#define ABS_AUTOHIDE 0x0000001
#define ABS_ALWAYSONTOP 0x0000002
#define ABE_LEFT 0
#define ABE_TOP 1
#define ABE_RIGHT 2
#define ABE_BOTTOM 3

struct APPBARDATA {
    DWORD cbSize = sizeof(APPBARDATA);
    HWND hWnd = nullptr;
    UINT uCallbackMessage = 0;
    UINT uEdge = 0;
    RECT rc;
    LPARAM lParam = 0;
};

// ABM_GETSTATE: the panel's state bits (0 here: panels neither hide nor are
// reported on top). ABM_GETTASKBARPOS: fills uEdge and rc; TRUE when the
// desktop keeps a panel along an edge, FALSE otherwise.
UINT_PTR SHAppBarMessage(DWORD message, APPBARDATA* data);
