// Translucent (layered) top-level windows: the layered style and the
// window's opacity.
#pragma once

#include "platform/gdi.h"
#include "platform/window.h"

struct BLENDFUNCTION {
    BYTE BlendOp = 0;
    BYTE BlendFlags = 0;
    BYTE SourceConstantAlpha = 255;
    BYTE AlphaFormat = 0;
};

class CLayeredWindowHelperST {
public:
    CLayeredWindowHelperST();
    virtual ~CLayeredWindowHelperST();
    CLayeredWindowHelperST(const CLayeredWindowHelperST&) = delete;
    CLayeredWindowHelperST& operator=(const CLayeredWindowHelperST&) = delete;

    // Set or clear WS_EX_LAYERED; each returns what setting the style returns
    // (the previous extended style).
    LONG AddLayeredStyle(HWND hwnd);
    LONG RemoveLayeredStyle(HWND hwnd);
    BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags);
    // Per-pixel layered updates are not offered by the window system here: 0.
    BOOL UpdateLayeredWindow(HWND hwnd, HDC dst, POINT* dstPoint, SIZE* size, HDC src, POINT* srcPoint, COLORREF key,
                             BLENDFUNCTION* blend, DWORD flags);
    // Opacity in percent (above 100 counts as 100).
    BOOL SetTransparentPercentage(HWND hwnd, BYTE percent);

    static short GetVersionI() { return 11; }
    static LPCTSTR GetVersionC() { return "1.1"; }

private:
    // The module that provides the layered-window functions: the window
    // layer, which is always loaded.
    HMODULE m_hDll = nullptr;
};
