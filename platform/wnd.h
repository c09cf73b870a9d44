// The window object, as far as code outside the window layer needs it: a
// record that holds an open window destroys that window when it dies.
#pragma once

#include "platform/CString.h"

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    // Destroys the window (the object stays). TRUE when a window was destroyed.
    virtual BOOL DestroyWindow();

    HWND m_hWnd = nullptr;
};

// Shows a message to the user. Returns the button chosen (IDOK).
#define IDOK 1
#define MB_OK 0x0
int AfxMessageBox(LPCTSTR text, UINT type = MB_OK, UINT helpId = 0);
