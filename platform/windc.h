// Device contexts of windows: the paint DC of a WM_PAINT handler and DCs
// for drawing on a window outside painting. Both draw on the window's back
// buffer; what is drawn outside painting is shown when the DC is released.
#pragma once

#include "platform/gdi.h"
#include "platform/window.h"

struct PAINTSTRUCT {
    HDC hdc = nullptr;
    BOOL fErase = FALSE;
    RECT rcPaint;
};

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
// A DC on the window's client area; null window: a DC for measuring text.
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);

class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
};

class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

private:
    HWND m_hWnd;
};
