// Docking of the main window to the top, left or right screen edge while it
// is dragged there, sliding out of sight (a 5-pixel strip stays) and back.
// The main window feeds it the WM_MOVING rectangles and, from its timer,
// asks whether to watch the pointer and calls HideSide.
#pragma once

#include "platform/window.h"

class WinAutoHide {
public:
    WinAutoHide();

    // Adjusts the WM_MOVING rectangle in place; may dock, undock and move the window.
    void WindowMoving(HWND hwnd, RECT* rect);
    // Slides the window out (hide 1) or back in (hide 0) at its docked edge.
    void HideSide(HWND hwnd, int hide);
    // Docked and not hidden: the owner then decides from the pointer when to hide.
    bool isRunTimer() const;
    // The size to restore when undocking (not taken from a full-height window).
    void setWindowSize(int width, int height);
    // The usable vertical span of the screen, from the desktop's panel.
    void SetBarHeight();

    int m_nDockState = 0;     // 0 none, 1 top, 2 left, 3 right
    int m_nEdge = 1;          // how far past the edge a window docks
    int m_nVisible = 5;       // pixels left on screen when hidden
    int m_nScreenWidth;
    int m_nScreenHeight;
    int m_nUsableTop = 0;
    int m_nUsableBottom = 0;
    int m_nLastCursorX = 0;
    int m_nLastCursorY = 0;
    int m_nHidden = 0;
    int m_nRestoreHeight = 0;
    int m_nRestoreWidth = 0;
};
